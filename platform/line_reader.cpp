// Line-by-line reading of byte text: CR LF or a bare LF ends a line.
#include "platform/line_reader.h"

namespace krv::platform {

LineReader::LineReader(std::string_view text, bool stopAtEof26) : text_(text) {
  if (stopAtEof26) {
    size_t p = text_.find('\x1a');
    if (p != std::string_view::npos) text_ = text_.substr(0, p);
  }
}

bool LineReader::Next(std::string& line) {
  if (pos_ >= text_.size()) return false;
  size_t lf = text_.find('\n', pos_);
  size_t end = lf == std::string_view::npos ? text_.size() : lf;
  size_t stop = end;
  if (stop > pos_ && text_[stop - 1] == '\r') --stop;
  line.assign(text_.substr(pos_, stop - pos_));
  pos_ = lf == std::string_view::npos ? text_.size() : lf + 1;
  return true;
}

std::string JoinCrLf(const std::string* lines, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    out += lines[i];
    out += "\r\n";
  }
  return out;
}

}  // namespace krv::platform
