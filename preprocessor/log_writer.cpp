// The run log of Foreparse and Sequist.
#include "preprocessor/log_writer.h"

#include <cassert>

namespace krv::pp {

// The oldest line goes once the last new line's index passes this.
static constexpr int kDropAfterIndex = 320;
// Dropped lines are let go together once there are this many.
static constexpr size_t kDropBatch = 512;

LogWriter::LogWriter() : lines_{"LogMemo"} {}

void LogWriter::LogWrite(std::string text) {
  if (newLineMode_) {
    if (lastLineIndex_ > kDropAfterIndex) {
      if (++dropped_ == kDropBatch) {
        lines_.erase(lines_.begin(), lines_.begin() + std::ptrdiff_t(dropped_));
        dropped_ = 0;
      }
      if (view_) view_->FirstLineRemoved();
    }
    lines_.push_back(std::move(text));
    lastLineIndex_ = int16_t(LineCount() - 1);
    // A copy: a view that reads Lines() lets the dropped lines go, which
    // moves the one it was told of.
    if (view_) view_->LineAdded(std::string(lines_.back()));
  } else {
    assert(size_t(lastLineIndex_) < LineCount());
    std::string& line = lines_[dropped_ + size_t(lastLineIndex_)];
    line += text;
    if (view_) view_->LineReplaced(size_t(lastLineIndex_), std::string(line));
  }
}

void LogWriter::LogAppend(std::string text) {
  LogWrite(std::move(text));
  newLineMode_ = false;
}

void LogWriter::LogLine(std::string text) {
  LogWrite(std::move(text));
  newLineMode_ = true;
}

const std::vector<std::string>& LogWriter::Lines() const {
  if (dropped_ > 0) {
    lines_.erase(lines_.begin(), lines_.begin() + std::ptrdiff_t(dropped_));
    dropped_ = 0;
  }
  return lines_;
}

std::string LogWriter::Text() const {
  const auto& lines = Lines();
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) out += '\n';
    out += lines[i];
  }
  return out;
}

}  // namespace krv::pp
