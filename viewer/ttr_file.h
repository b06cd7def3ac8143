// The attached trajectory file: opened read-only and kept open while it is
// shown; records are read by block number.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/block_file.h"
#include "viewer/ttr_format.h"

namespace krv::view {

class TTRFile {
 public:
  // Opens `path` exactly as given; false when it cannot be opened.
  bool Open(const std::string& path) {
    return file_.Open(path, platform::BlockFile::Mode::ReadOnly);
  }
  void Close() { file_.Close(); }
  // Opens the path again; a file written anew under it is read from now on.
  bool Reopen() { return file_.Reopen(); }
  const std::string& LastError() const { return file_.LastError(); }
  bool IsOpen() const { return file_.IsOpen(); }
  const std::string& Path() const { return file_.Path(); }
  // The file's length in bytes now, partial blocks counted; -1 when it
  // cannot be examined.
  int64_t ByteSize() const {
    platform::BlockFile::Stamp stamp;
    return file_.GetStamp(stamp) ? stamp.size : -1;
  }

  // Whole 64-byte blocks the file holds now (it may grow while attached).
  int64_t BlockCount() const { return file_.BlockCount(); }
  // Reads `count` blocks from block `first`; false on a short read or error.
  bool ReadBlocks(int64_t first, int64_t count, uint8_t* out) const {
    return file_.ReadBlocks(first, count, out);
  }
  // Many runs of blocks at once, in few system calls.
  using Run = platform::BlockFile::Run;
  bool ReadRuns(const std::vector<Run>& runs) const { return file_.ReadRuns(runs.data(), runs.size()); }
  bool ReadHeader(TTRHeader& out) const { return ReadBlocks(0, 1, out.bytes.data()); }

 private:
  platform::BlockFile file_{kBlockSize};
};

// Reads record `jt`. A stored record number other than `jt` is reported
// ("TTR JT ERROR!" stored, blank, wanted) and the record is used anyway.
// False, after an input/output error report, when the blocks are not there.
bool ReadTTRRecord(const TTRFile& file, const TTRLayout& layout, int64_t jt, TTRRecord& out);
void ReportJTError(int64_t stored, int64_t wanted);

// Reads only the time of record `jt` from its first block.
bool ReadTTRTime(const TTRFile& file, const TTRLayout& layout, int64_t jt, double& t);

// The message for a failed read or write of `path`.
void ReportFileError(const std::string& what, const std::string& path);
// The message for a failed read of blocks up to (not including) `endBlock`:
// the file's path and why: where the file ends when it is too short for
// them, else the system's reason.
void ReportReadError(const TTRFile& file, const TTRLayout& layout, int64_t endBlock);

}  // namespace krv::view
