// The thread's native asynchronous I/O context and the collection of its
// completions.
#include "platform/aio_context.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace krv::platform {

namespace {

// The completion ring as the kernel maps it into the process (io_setup
// returns its address as the context).
struct CompletionRing {
  unsigned id, nr, head, tail, magic, compatFeatures, incompatFeatures, headerLength;
  io_event events[];
};
constexpr unsigned kRingMagic = 0xa10a10a1;

// Counts the forks of this process, so that a thread can tell its context
// was made in the parent.
std::atomic<unsigned> g_forks{0};

}  // namespace

AioContext::AioContext() {
  static const bool counted = ::pthread_atfork(nullptr, nullptr, [] { ++g_forks; }) == 0;
  (void)counted;
  Make();
}

AioContext& AioContext::ForThread() {
  thread_local AioContext context;
  return context;
}

void AioContext::Make() {
  generation_ = g_forks.load(std::memory_order_relaxed);
  ctx_ = 0;
  ok_ = ::syscall(SYS_io_setup, kDepth, &ctx_) == 0;
}

bool AioContext::Usable() {
  if (generation_ != g_forks.load(std::memory_order_relaxed)) Make();
  return ok_;
}

void AioContext::Describe(iocb& cb, uint16_t opcode, int fd, const void* buf, uint64_t bytes, int64_t offset,
                          uint64_t tag) {
  std::memset(&cb, 0, sizeof cb);
  cb.aio_data = tag;
  cb.aio_lio_opcode = opcode;
  cb.aio_fildes = uint32_t(fd);
  cb.aio_buf = uint64_t(reinterpret_cast<uintptr_t>(buf));
  cb.aio_nbytes = bytes;
  cb.aio_offset = offset;
}

long AioContext::Submit(long n, iocb** ops) {
  long k;
  do k = ::syscall(SYS_io_submit, ctx_, n, ops);
  while (k < 0 && errno == EINTR);
  return k;
}

bool AioContext::Collect(long want, io_event* out) {
  long got = 0;
  auto* ring = reinterpret_cast<CompletionRing*>(ctx_);
  if (ring->magic == kRingMagic && ring->incompatFeatures == 0) {
    unsigned head = ring->head;
    unsigned tail = __atomic_load_n(&ring->tail, __ATOMIC_ACQUIRE);
    while (got < want && head != tail) {
      out[got++] = ring->events[head];
      head = (head + 1) % ring->nr;
    }
    __atomic_store_n(&ring->head, head, __ATOMIC_RELEASE);
  }
  while (got < want) {
    long k = ::syscall(SYS_io_getevents, ctx_, want - got, want - got, out + got, nullptr);
    if (k < 0 && errno == EINTR) continue;
    if (k < 0) return false;
    got += k;
  }
  return true;
}

}  // namespace krv::platform
