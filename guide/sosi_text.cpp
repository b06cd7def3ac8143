// The problem's SOSI file as the SOSI window shows it: loading (or creating
// it from the sample), saving, and positions between file and memo.
#include "guide/sosi_text.h"

#include "guide/file_copy.h"
#include "guide/file_probe.h"
#include "guide/memo_text.h"
#include "platform/file_resolver.h"
#include "platform/user_prompts.h"

namespace krv::guide {

namespace pf = krv::platform;

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
  std::string error;
  std::optional<std::string> text = LoadMemoFile(so, &error);
  if (!text) pf::Prompts().ShowMessage(error);
  return text;
}

bool SaveSosiFile(const std::string& problemName, const std::string& memo) {
  if (auto error = SaveMemoFile(problemName + ".SO", memo)) {
    pf::Prompts().ShowMessage(*error);
    return false;
  }
  return true;
}

}  // namespace krv::guide
