// The thread's context of Linux's native asynchronous I/O, shared by the
// batched reads and the ordered writes of block files.
#pragma once

#include <linux/aio_abi.h>

#include <cstdint>

namespace krv::platform {

// Made on first use in each thread and kept to the end of the process:
// tearing one down waits for the kernel for tens of milliseconds. A forked
// child has none of its parent's contexts, so a thread there makes its own.
class AioContext {
 public:
  // The largest number of operations one submission may hand over.
  static constexpr long kDepth = 128;

  static AioContext& ForThread();

  // False where the interface is missing or refused (a kernel without it,
  // a sandbox, the system's limit on contexts reached).
  bool Usable();
  aio_context_t Get() const { return ctx_; }

  // Fills `cb` for one read or write (IOCB_CMD_PREAD or IOCB_CMD_PWRITE)
  // of `bytes` at `offset` of `fd`; its completion carries `tag`.
  static void Describe(iocb& cb, uint16_t opcode, int fd, const void* buf, uint64_t bytes, int64_t offset,
                       uint64_t tag);
  // Hands `n` operations to the kernel in one io_submit, made again when a
  // signal interrupts it: how many it took, or -1 with errno.
  long Submit(long n, iocb** ops);

  // Collects `want` completions into `out`: from the ring the kernel shares
  // with the process where it has already put them (buffered I/O completes
  // inside io_submit), otherwise by waiting for them. False, with errno,
  // when they cannot be collected; the caller then abandons the context.
  bool Collect(long want, io_event* out);

  // Operations whose completions could not be collected would be taken for
  // later ones: the thread does its I/O one call at a time from then on.
  void Abandon() { ok_ = false; }

 private:
  AioContext();
  void Make();

  aio_context_t ctx_ = 0;
  bool ok_ = false;
  unsigned generation_ = 0;
};

}  // namespace krv::platform
