// Many scattered reads of a block file in few system calls.
//
// A read of one small block costs mostly its system call. Linux's native
// asynchronous interface takes a whole array of reads in one io_submit and,
// for a file read through the page cache, does them right there, so a batch
// of hundreds of reads costs about one call plus the copying. Where that
// interface is missing or refuses (a kernel without it, a sandbox, the
// system's limit on contexts reached), the runs are read one by one.
#include <linux/aio_abi.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/aio_context.h"
#include "platform/block_file.h"

namespace krv::platform {

namespace {

constexpr int64_t kBatchedBytes = 1 << 20;  // longer runs are read on their own
constexpr long kDepth = AioContext::kDepth;  // reads handed over per call

}  // namespace

bool BlockFile::ReadRuns(const Run* runs, size_t n) const {
  if (fd_ < 0) return false;
  const int64_t size = int64_t(blockSize_);
  std::vector<size_t> batched;  // indexes of the runs read through the context
  batched.reserve(n);
  AioContext& context = AioContext::ForThread();
  const bool batch = context.Usable();
  for (size_t i = 0; i < n; ++i) {
    const Run& r = runs[i];
    if (r.first < 0 || r.count < 0 || r.first > (INT64_MAX / size) - r.count) return false;
    if (r.count == 0) continue;
    if (batch && r.count <= kBatchedBytes / size) {
      batched.push_back(i);
    } else if (!ReadBlocks(r.first, r.count, r.out)) {
      return false;
    }
  }

  std::vector<iocb> cbs(size_t(std::min<size_t>(batched.size(), kDepth)));
  std::vector<iocb*> ptrs(cbs.size());
  std::vector<io_event> events(cbs.size());
  for (size_t start = 0; start < batched.size(); start += size_t(kDepth)) {
    const size_t m = std::min(batched.size() - start, size_t(kDepth));
    for (size_t j = 0; j < m; ++j) {
      const Run& r = runs[batched[start + j]];
      AioContext::Describe(cbs[j], IOCB_CMD_PREAD, fd_, r.out, uint64_t(r.count * size), r.first * size, j);
      ptrs[j] = &cbs[j];
    }
    // Hand the reads over; whatever the kernel does not take is read here.
    size_t submitted = 0;
    while (submitted < m) {
      long k = context.Submit(long(m - submitted), ptrs.data() + submitted);
      if (k <= 0) break;
      submitted += size_t(k);
    }
    bool ok = true;
    for (size_t j = submitted; j < m && ok; ++j) {
      const Run& r = runs[batched[start + j]];
      ok = ReadBlocks(r.first, r.count, r.out);
    }
    // Collect every submitted read, even after a failure, so that no
    // read is left pending into a buffer the caller may free.
    if (!context.Collect(long(submitted), events.data())) {
      Fail();
      context.Abandon();
      return false;
    }
    for (size_t e = 0; e < submitted; ++e) {
      const iocb& cb = cbs[size_t(events[e].data)];
      if (events[e].res < 0) {
        error_ = std::strerror(int(-events[e].res));
        ok = false;
      } else if (uint64_t(events[e].res) != cb.aio_nbytes && ok) {
        // A short read: the rest is read the ordinary way, which also
        // names the reason (the end of the file, mostly).
        const Run& r = runs[batched[start + size_t(events[e].data)]];
        ok = ReadBlocks(r.first, r.count, r.out);
      }
    }
    if (!ok) return false;
  }
  return true;
}

}  // namespace krv::platform
