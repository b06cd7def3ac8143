// The attached trajectory file.
#include "viewer/ttr_file.h"

#include <vector>

#include "platform/text.h"
#include "platform/user_prompts.h"

namespace krv::view {

void ReportFileError(const std::string& what, const std::string& path) {
  platform::Prompts().ShowMessage("I/O error " + what + " " + path);
}

bool ReadTTRRecord(const TTRFile& file, const TTRLayout& layout, int64_t jt, TTRRecord& out) {
  std::vector<uint8_t> buf(layout.RecordBytes());
  if (!file.ReadBlocks(layout.FirstBlock(jt), layout.r, buf.data())) {
    ReportFileError("reading", file.Path());
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
    ReportFileError("reading", file.Path());
    return false;
  }
  t = GetDouble(block + 4);
  return true;
}

}  // namespace krv::view
