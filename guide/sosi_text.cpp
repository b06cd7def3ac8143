// The problem's SOSI file as the SOSI window shows it: loading (or creating
// it from the sample), saving, and positions between file and memo.
#include "guide/sosi_text.h"

#include "guide/file_copy.h"
#include "guide/file_probe.h"
#include "platform/byte_io.h"
#include "platform/file_resolver.h"
#include "platform/user_prompts.h"

namespace krv::guide {

namespace pf = krv::platform;

std::string MemoTextFromFile(const std::string& bytes) {
  std::string memo;
  memo.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    memo += bytes[i];
  }
  if (!memo.empty() && memo.back() == '\n') memo.pop_back();
  return memo;
}

std::string FileFromMemoText(const std::string& memo) {
  if (memo.empty()) return {};
  std::string bytes;
  bytes.reserve(memo.size() + memo.size() / 16 + 2);
  for (char c : memo) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  return bytes + "\r\n";
}

size_t MemoPosition(const std::string& bytes, size_t offset) {
  if (offset > bytes.size()) offset = bytes.size();
  size_t pos = offset;
  for (size_t i = 0; i + 1 < offset; ++i)
    if (bytes[i] == '\r' && bytes[i + 1] == '\n') --pos;
  const size_t length = MemoTextFromFile(bytes).size();
  return pos < length ? pos : length;
}

std::optional<std::string> LoadSosiFile(const std::string& problemName,
                                        const std::string& programDir) {
  const std::string so = problemName + ".SO";
  uint32_t stamp = 0;
  if (!GetFileDate(so, stamp)) {
    if (!pf::Prompts().ConfirmOk("Create a new SOSI file for this problem??")) return std::nullopt;
    if (!CopyFileKeepDate(pf::JoinPath(programDir, "DSAMPLE.SO"), so)) {
      pf::Prompts().ShowMessage("File problem");
      return std::nullopt;
    }
  }
  std::string bytes;
  if (!pf::ReadFileBytes(so, bytes)) {
    pf::Prompts().ShowMessage("The SOSI file " + so + " cannot be read.");
    return std::nullopt;
  }
  return bytes;
}

bool SaveSosiFile(const std::string& problemName, const std::string& memo) {
  const std::string so = problemName + ".SO";
  if (pf::WriteFileAtomic(so, FileFromMemoText(memo))) return true;
  pf::Prompts().ShowMessage("The SOSI file " + pf::ResolvePath(so) + " could not be saved.");
  return false;
}

}  // namespace krv::guide
