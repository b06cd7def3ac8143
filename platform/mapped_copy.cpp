// Copies out of a shared file mapping; a SIGBUS during the copy fails it.
//
// The handler is put in place once, on the first copy, for the whole
// process, and keeps what was there before: a fault that is not one of
// these copies is handed on to it. Going back out of the handler is a
// siglongjmp that does not restore the signal mask (that would cost a
// system call per copy), so the handler runs with SIGBUS not blocked.
#include "platform/mapped_copy.h"

#include <unistd.h>

#include <atomic>
#include <csetjmp>
#include <csignal>
#include <cstdint>
#include <cstring>

namespace krv::platform {

namespace {

// The copy under way on this thread: the pages it reads, and where to go
// back to when one of them fails.
struct Guard {
  sigjmp_buf back;
  uintptr_t lo, hi;
};
thread_local Guard* t_guard = nullptr;

struct sigaction g_before;  // SIGBUS's handling before this one's

void OnBus(int sig, siginfo_t* info, void* context) {
  const Guard* g = t_guard;
  const uintptr_t at = reinterpret_cast<uintptr_t>(info->si_addr);
  // si_code > 0: the kernel raised it for an access, nobody sent it.
  if (g && info->si_code > 0 && at >= g->lo && at < g->hi) siglongjmp(const_cast<Guard*>(g)->back, 1);
  if (g_before.sa_flags & SA_SIGINFO) {
    if (g_before.sa_sigaction) {
      g_before.sa_sigaction(sig, info, context);
      return;
    }
  } else if (g_before.sa_handler != SIG_DFL && g_before.sa_handler != SIG_IGN) {
    g_before.sa_handler(sig);
    return;
  }
  if (info->si_code <= 0 && g_before.sa_handler == SIG_IGN) return;  // sent, and ignored before
  // The default: the fault, met again on return, ends the program as it
  // would have without this handler; a sent signal is raised again.
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  sigaction(SIGBUS, &dfl, nullptr);
  if (info->si_code <= 0) raise(SIGBUS);
}

bool Install() {
  struct sigaction sa {};
  sa.sa_sigaction = OnBus;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_SIGINFO | SA_NODEFER | SA_ONSTACK;
  return sigaction(SIGBUS, &sa, &g_before) == 0;
}

}  // namespace

bool CopyFromMapping(void* to, const void* from, size_t n) {
  static const bool installed = Install();
  static const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
  if (!installed) return false;
  Guard g;
  // Whole pages: a copy may touch its source in wider pieces.
  g.lo = reinterpret_cast<uintptr_t>(from) & ~(page - 1);
  g.hi = (reinterpret_cast<uintptr_t>(from) + n + page - 1) & ~(page - 1);
  if (sigsetjmp(g.back, 0) != 0) {
    t_guard = nullptr;
    return false;
  }
  t_guard = &g;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  std::memcpy(to, from, n);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  t_guard = nullptr;
  return true;
}

}  // namespace krv::platform
