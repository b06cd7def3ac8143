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
  void LogWrite(const std::string& text);
  // Writes, then leaves the line open for the next write.
  void LogAppend(const std::string& text);
  // Writes, then closes the line.
  void LogLine(const std::string& text);

  const std::vector<std::string>& Lines() const { return lines_; }
  // The log as one text, lines joined by '\n'.
  std::string Text() const;
  void SetView(LogView* view) { view_ = view; }

 private:
  std::vector<std::string> lines_;
  int16_t lastLineIndex_ = 0;
  bool newLineMode_ = true;
  LogView* view_ = nullptr;
};

}  // namespace krv::pp
