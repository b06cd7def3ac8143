// Several writes of one file in one system call.
//
// A change to a file of records ends with a few writes at different
// places, each costing a system call of its own. Linux's native
// asynchronous interface takes them as one array in one io_submit and,
// for a file written through the page cache, writes them right there,
// one after another in the array's order; their outcomes are then
// already in the completion ring the kernel shares with this process,
// and are taken from there without a further call.
#include <linux/aio_abi.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/system_calls.h"

namespace krv::platform {

namespace {

constexpr long kDepth = 8;  // pieces handed over per call

// The completion ring as the kernel maps it into the process (io_setup
// returns its address as the context).
struct CompletionRing {
  unsigned id, nr, head, tail, magic, compatFeatures, incompatFeatures, headerLength;
  io_event events[];
};
constexpr unsigned kRingMagic = 0xa10a10a1;

// Counts the forks of this process: a child has none of its parent's
// contexts, so a thread there makes its own.
std::atomic<unsigned> g_forks{0};

// One context per thread, made on first use and kept to the end of the
// process: tearing one down waits for the kernel for tens of milliseconds.
class WriteContext {
 public:
  WriteContext() {
    static const bool counted = ::pthread_atfork(nullptr, nullptr, [] { ++g_forks; }) == 0;
    (void)counted;
    Make();
  }
  bool Usable() {
    if (generation_ != g_forks.load(std::memory_order_relaxed)) Make();
    return ok_;
  }
  aio_context_t Get() const { return ctx_; }
  // Writes whose outcome could not be collected would be taken for later
  // ones: the thread writes one by one from then on.
  void Abandon() { ok_ = false; }

 private:
  void Make() {
    generation_ = g_forks.load(std::memory_order_relaxed);
    ctx_ = 0;
    ok_ = ::syscall(SYS_io_setup, kDepth, &ctx_) == 0;
  }
  aio_context_t ctx_ = 0;
  bool ok_ = false;
  unsigned generation_ = 0;
};

WriteContext& ThreadWriteContext() {
  thread_local WriteContext context;
  return context;
}

// Collects `want` completions: from the shared ring where the kernel has
// already put them, otherwise by waiting for them.
bool Collect(aio_context_t ctx, long want, io_event* out) {
  long got = 0;
  auto* ring = reinterpret_cast<CompletionRing*>(ctx);
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
    long k = ::syscall(SYS_io_getevents, ctx, want - got, want - got, out + got, nullptr);
    if (k < 0 && errno == EINTR) continue;
    if (k < 0) return false;
    got += k;
  }
  return true;
}

}  // namespace

long SystemCalls::WriteInOrder(int fd, const WritePiece* pieces, size_t n, ssize_t* done) {
  WriteContext& context = ThreadWriteContext();
  if (!context.Usable()) {
    errno = ENOSYS;
    return -1;
  }
  long m = n < size_t(kDepth) ? long(n) : kDepth;
  iocb cbs[kDepth];
  iocb* ptrs[kDepth];
  for (long i = 0; i < m; ++i) {
    iocb& cb = cbs[i];
    std::memset(&cb, 0, sizeof cb);
    cb.aio_data = uint64_t(i);
    cb.aio_lio_opcode = IOCB_CMD_PWRITE;
    cb.aio_fildes = uint32_t(fd);
    cb.aio_buf = uint64_t(reinterpret_cast<uintptr_t>(pieces[i].data));
    cb.aio_nbytes = uint64_t(pieces[i].size);
    cb.aio_offset = int64_t(pieces[i].offset);
    ptrs[i] = &cb;
  }
  long handed;
  do handed = ::syscall(SYS_io_submit, context.Get(), m, ptrs);
  while (handed < 0 && errno == EINTR);
  if (handed <= 0) {
    if (handed == 0) errno = EAGAIN;
    return -1;
  }
  io_event events[kDepth];
  if (!Collect(context.Get(), handed, events)) {
    int e = errno;
    context.Abandon();
    for (long i = 0; i < handed; ++i) done[i] = -e;
    return handed;
  }
  for (long e = 0; e < handed; ++e) done[events[e].data] = ssize_t(events[e].res);
  return handed;
}

}  // namespace krv::platform
