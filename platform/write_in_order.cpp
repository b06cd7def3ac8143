// Several writes of one file in one system call.
//
// A change to a file of records ends with a few writes at different
// places, each costing a system call of its own. Linux's native
// asynchronous interface takes them as one array in one io_submit and,
// for a file written through the page cache, writes them right there,
// one after another in the array's order; their outcomes are then
// already in the completion ring the kernel shares with this process,
// and are taken from there without a further call.

#include <cerrno>
#include <cstdint>

#include "platform/aio_context.h"
#include "platform/system_calls.h"

namespace krv::platform {

namespace {

constexpr long kDepth = 8;  // pieces handed over per call

}  // namespace

long SystemCalls::WriteInOrder(int fd, const WritePiece* pieces, size_t n, ssize_t* done) {
  AioContext& context = AioContext::ForThread();
  if (!context.Usable()) {
    errno = ENOSYS;
    return -1;
  }
  long m = n < size_t(kDepth) ? long(n) : kDepth;
  iocb cbs[kDepth];
  iocb* ptrs[kDepth];
  for (long i = 0; i < m; ++i) {
    AioContext::Describe(cbs[i], IOCB_CMD_PWRITE, fd, pieces[i].data, uint64_t(pieces[i].size),
                         int64_t(pieces[i].offset), uint64_t(i));
    ptrs[i] = &cbs[i];
  }
  long handed = context.Submit(m, ptrs);
  if (handed <= 0) {
    if (handed == 0) errno = EAGAIN;
    return -1;
  }
  io_event events[kDepth];
  if (!context.Collect(handed, events)) {
    int e = errno;
    context.Abandon();
    for (long i = 0; i < handed; ++i) done[i] = -e;
    return handed;
  }
  for (long e = 0; e < handed; ++e) done[events[e].data] = ssize_t(events[e].res);
  return handed;
}

}  // namespace krv::platform
