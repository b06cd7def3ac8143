// The run log of Foreparse and Sequist.
#include "preprocessor/log_writer.h"

#include <cassert>

namespace krv::pp {

// The oldest line goes once the last new line's index passes this.
static constexpr int kDropAfterIndex = 320;

LogWriter::LogWriter() : lines_{"LogMemo"} {}

void LogWriter::LogWrite(const std::string& text) {
  if (newLineMode_) {
    if (lastLineIndex_ > kDropAfterIndex) {
      lines_.erase(lines_.begin());
      if (view_) view_->FirstLineRemoved();
    }
    lines_.push_back(text);
    lastLineIndex_ = int16_t(lines_.size() - 1);
    if (view_) view_->LineAdded(text);
  } else {
    assert(size_t(lastLineIndex_) < lines_.size());
    lines_[size_t(lastLineIndex_)] += text;
    if (view_) view_->LineReplaced(size_t(lastLineIndex_), lines_[size_t(lastLineIndex_)]);
  }
}

void LogWriter::LogAppend(const std::string& text) {
  LogWrite(text);
  newLineMode_ = false;
}

void LogWriter::LogLine(const std::string& text) {
  LogWrite(text);
  newLineMode_ = true;
}

std::string LogWriter::Text() const {
  std::string out;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (i) out += '\n';
    out += lines_[i];
  }
  return out;
}

}  // namespace krv::pp
