// An editor memo's text and the file it shows: bytes in, lines out.
#include "guide/memo_text.h"

#include <cerrno>
#include <cstring>

#include "platform/byte_io.h"

namespace pf = krv::platform;

namespace krv::guide {

std::string MemoTextFromFile(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    char c = bytes[i];
    if (c == '\r') {
      if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
      c = '\n';
    }
    text += c;
  }
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

std::string FileBytesFromMemo(std::string_view text) {
  if (text.empty()) return {};
  std::string bytes;
  bytes.reserve(text.size() + text.size() / 16 + 2);
  for (char c : text) {
    if (c == '\n')
      bytes += "\r\n";
    else
      bytes += c;
  }
  bytes += "\r\n";
  return bytes;
}

static std::string Reason(int err) { return err ? std::string(" (") + std::strerror(err) + ")" : ""; }

std::optional<std::string> LoadMemoFile(const std::string& path, std::string* error) {
  std::string bytes;
  errno = 0;
  if (pf::ReadFileBytes(path, bytes)) return MemoTextFromFile(bytes);
  if (error) *error = "Cannot read " + path + Reason(errno) + "; nothing was changed.";
  return std::nullopt;
}

std::optional<std::string> SaveMemoFile(const std::string& path, std::string_view text) {
  errno = 0;
  if (pf::WriteFileAtomic(path, FileBytesFromMemo(text))) return std::nullopt;
  return "Cannot write " + path + Reason(errno) + "; the text stays in the editor, not saved.";
}

}  // namespace krv::guide
