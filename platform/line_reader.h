// Line-by-line reading of byte text: CR LF or a bare LF ends a line.
#pragma once

#include <string>
#include <string_view>

namespace krv::platform {

class LineReader {
 public:
  // With `stopAtEof26`, a byte 26 ends the text where it stands.
  explicit LineReader(std::string_view text, bool stopAtEof26 = false);

  // The next line without its ending; false at the end of the text. A last
  // line without an ending still counts as a line.
  bool Next(std::string& line);
  bool AtEnd() const { return pos_ >= text_.size(); }
  // Byte offset of the next unread line.
  size_t Offset() const { return pos_; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

// Each line followed by CR LF, as the generated and data files are written.
std::string JoinCrLf(const std::string* lines, size_t count);

}  // namespace krv::platform
