// The run log of Foreparse and Sequist: new lines, appends, and the
// 322-line window that drops the oldest line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace krv::pp {

// Told of every change so a window can mirror the log.
class LogView {
 public:
  virtual ~LogView() = default;
  virtual void LineAdded(const std::string& text) = 0;
  virtual void LineReplaced(size_t index, const std::string& text) = 0;
  virtual void FirstLineRemoved() = 0;
};

class LogWriter {
 public:
  LogWriter();

  // Writes `text` in the current mode; the mode is left as it is.
  void LogWrite(std::string text);
  // Writes, then leaves the line open for the next write.
  void LogAppend(std::string text);
  // Writes, then closes the line.
  void LogLine(std::string text);

  // The lines in the window, oldest first.
  const std::vector<std::string>& Lines() const;
  size_t LineCount() const { return lines_.size() - dropped_; }
  // The log as one text, lines joined by '\n'.
  std::string Text() const;
  void SetView(LogView* view) { view_ = view; }

 private:
  // Lines that left the window stay at the front of lines_ until a batch
  // of them has gathered (or the lines are asked for), so a long pass does
  // not move the whole window for every line it writes.
  mutable std::vector<std::string> lines_;
  mutable size_t dropped_ = 0;
  int16_t lastLineIndex_ = 0;  // in the window
  bool newLineMode_ = true;
  LogView* view_ = nullptr;
};

}  // namespace krv::pp
