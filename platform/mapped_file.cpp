// Scattered small reads of a file through a read-only mapping of it.
#include "platform/mapped_file.h"

#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace krv::platform {

namespace {

// During a guarded run the thread names the mapped bytes here; a SIGBUS
// on them jumps back out of the run, which then fails. Any other SIGBUS
// goes on to whoever handled it before, or ends the process as usual.
struct Guard {
  sigjmp_buf back;
  const uint8_t* lo;
  const uint8_t* hi;
};

thread_local Guard* tGuard = nullptr;
struct sigaction gPrevious;

void OnBusError(int sig, siginfo_t* info, void* context) {
  Guard* guard = tGuard;
  const auto* at = static_cast<const uint8_t*>(info->si_addr);
  if (guard && at >= guard->lo && at < guard->hi) siglongjmp(guard->back, 1);
  if (gPrevious.sa_flags & SA_SIGINFO) {
    gPrevious.sa_sigaction(sig, info, context);
  } else if (gPrevious.sa_handler == SIG_IGN && info->si_code <= 0) {
    // Sent by a program, and ignored before.
  } else if (gPrevious.sa_handler == SIG_DFL || gPrevious.sa_handler == SIG_IGN) {
    // A fault cannot be ignored: the process ends as it would have.
    ::signal(sig, SIG_DFL);
    ::raise(sig);
  } else {
    gPrevious.sa_handler(sig);
  }
}

bool GuardInstalled() {
  static const bool installed = [] {
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_sigaction = OnBusError;
    sigemptyset(&sa.sa_mask);
    // SIGBUS stays unblocked in the handler, so that jumping out of it
    // leaves the signal mask as it was and the jump need not restore it
    // (which would cost a system call on every guarded run).
    sa.sa_flags = SA_SIGINFO | SA_NODEFER | SA_ONSTACK;
    return ::sigaction(SIGBUS, &sa, &gPrevious) == 0;
  }();
  return installed;
}

struct GatherJob {
  const uint8_t* base;
  const uint64_t* at;
  size_t n;
  const uint32_t* fields;
  size_t m;
  uint8_t* out;
};

void Gather(void* context) {
  const GatherJob& job = *static_cast<const GatherJob*>(context);
  const size_t n = job.n, m = job.m;
  const uint8_t* const base = job.base;
  for (size_t k = 0; k < n; ++k) {
    const uint8_t* record = base + job.at[k];
    uint8_t* out = job.out + 4 * k;
    for (size_t j = 0; j < m; ++j, out += 4 * n) std::memcpy(out, record + job.fields[j], 4);
  }
}

}  // namespace

__attribute__((noinline)) bool RunGuardedAgainstBusError(const uint8_t* lo, size_t length,
                                                         void (*body)(void*), void* context) {
  if (!GuardInstalled()) return false;
  Guard guard;
  guard.lo = lo;
  guard.hi = lo + length;
  if (sigsetjmp(guard.back, 0) != 0) {
    tGuard = nullptr;
    return false;
  }
  tGuard = &guard;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  body(context);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  tGuard = nullptr;
  return true;
}

bool MappedFile::GatherWords(const BlockFile& file, const uint64_t* at, size_t n, const uint32_t* fields,
                             size_t m, uint8_t* out) const {
  if (n == 0 || m == 0) return true;
  // Where the block holding the last word ends: a word is there only
  // when its whole block is, as for a read of blocks.
  const uint64_t block = file.BlockSize();
  uint64_t end = *std::max_element(at, at + n);
  if (__builtin_add_overflow(end, uint64_t(*std::max_element(fields, fields + m)) + 4 + (block - 1), &end))
    return false;
  end -= end % block;
  std::lock_guard<std::mutex> lock(mutex_);
  // The file as it is now: one cut short since the last reading must fail
  // as a read would, not show the zeros a mapping holds past its end.
  BlockFile::Stamp now;
  if (!file.GetStamp(now) || now.size < 0 || uint64_t(now.size) < end) return false;
  if (!base_ || now.dev != dev_ || now.ino != ino_ || end > length_) {
    if (!Map(file, now)) return false;
  }
  GatherJob job{base_, at, n, fields, m, out};
  if (RunGuardedAgainstBusError(base_, length_, Gather, &job)) return true;
  // Cut short during the reading: mapped afresh at its new size next time.
  UnmapLocked();
  return false;
}

bool MappedFile::Map(const BlockFile& file, const BlockFile::Stamp& now) const {
  const size_t length = size_t(now.size);
  if (base_ && now.dev == dev_ && now.ino == ino_) {
    // Grown: the pages mapped so far stay mapped.
    void* p = ::mremap(const_cast<uint8_t*>(base_), length_, length, MREMAP_MAYMOVE);
    if (p != MAP_FAILED) {
      base_ = static_cast<const uint8_t*>(p);
      length_ = length;
      return true;
    }
  }
  UnmapLocked();
  if (now == refused_) return false;
  // The path is opened again only to map it; what is mapped must be the
  // very file `file` reads.
  int fd = ::open(file.Path().c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  void* p = MAP_FAILED;
  if (fd >= 0 && ::fstat(fd, &st) == 0 && uint64_t(st.st_dev) == now.dev && uint64_t(st.st_ino) == now.ino)
    p = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, 0);
  if (fd >= 0) ::close(fd);
  if (p == MAP_FAILED) {
    refused_ = now;
    return false;
  }
  base_ = static_cast<const uint8_t*>(p);
  length_ = length;
  dev_ = now.dev;
  ino_ = now.ino;
  return true;
}

void MappedFile::UnmapLocked() const {
  if (base_) ::munmap(const_cast<uint8_t*>(base_), length_);
  base_ = nullptr;
  length_ = 0;
}

void MappedFile::Unmap() {
  std::lock_guard<std::mutex> lock(mutex_);
  UnmapLocked();
  refused_ = BlockFile::Stamp();
}

}  // namespace krv::platform
