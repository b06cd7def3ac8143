// The attached trajectory file.
#include "viewer/ttr_file.h"

#include <vector>

#include "platform/little_endian.h"
#include "platform/text.h"
#include "platform/user_prompts.h"

namespace krv::view {

using platform::GetF64;

void ReportFileError(const std::string& what, const std::string& path) {
  platform::Prompts().ShowMessage("I/O error " + what + " " + path);
}

// Where a file too short for the blocks wanted ends, in its records' terms:
// a file cut while it was attached (or still being written) ends partway.
static std::string WhereTheFileEnds(int64_t size, const TTRLayout& layout) {
  if (size == 0) return "the file is empty";
  if (size < int64_t(kBlockSize)) return "the file ends inside its header";
  const int64_t recordBytes = int64_t(layout.RecordBytes());
  const int64_t whole = (size - int64_t(kBlockSize)) / recordBytes;
  if ((size - int64_t(kBlockSize)) % recordBytes != 0)
    return "the file ends inside record " + platform::IntToString(whole);
  if (whole == 0) return "the file ends after its header";
  return "the file ends after record " + platform::IntToString(whole - 1);
}

void ReportReadError(const TTRFile& file, const TTRLayout& layout, int64_t endBlock) {
  // The length decides, not the read's own text: a record number past
  // any offset the system takes fails before a read is made.
  const int64_t size = file.ByteSize();
  std::string reason = size >= 0 && size / int64_t(kBlockSize) < endBlock ? WhereTheFileEnds(size, layout)
                                                                          : file.LastError();
  if (reason.empty()) reason = "the file cannot be read";
  ReportFileError("reading", file.Path() + ": " + reason);
}

bool ReadTTRRecord(const TTRFile& file, const TTRLayout& layout, int64_t jt, TTRRecord& out) {
  std::vector<uint8_t> buf(layout.RecordBytes());
  if (!file.ReadBlocks(layout.FirstBlock(jt), layout.r, buf.data())) {
    ReportReadError(file, layout, layout.FirstBlock(jt) + layout.r);
    return false;
  }
  DecodeRecord(buf.data(), layout, out);
  if (out.jt != jt) ReportJTError(out.jt, jt);
  return true;
}

void ReportJTError(int64_t stored, int64_t wanted) {
  platform::Prompts().ShowMessage("TTR JT ERROR!" + platform::IntToString(stored) + " " +
                                  platform::IntToString(wanted));
}

bool ReadTTRTime(const TTRFile& file, const TTRLayout& layout, int64_t jt, double& t) {
  uint8_t block[kBlockSize];
  if (!file.ReadBlocks(layout.FirstBlock(jt), 1, block)) {
    ReportReadError(file, layout, layout.FirstBlock(jt) + 1);
    return false;
  }
  t = GetF64(block, 4);
  return true;
}

}  // namespace krv::view
