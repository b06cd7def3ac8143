// The Log: the list of text lines that the store writes its listings into,
// shown by the Log window (series/forms/TLogFrm.h) and saved as text.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace krv::series {

class SeriesLog {
 public:
  // Removes every line, then adds one empty line and makes it current.
  void Clear();
  // Removes every line: the log as never filled.
  void Reset();
  // Adds `text` as a new last line and makes it current.
  void AddLine(const std::string& text);
  // Appends `text` to the current line (a new line when there is none).
  void AppendToLine(const std::string& text);

  const std::vector<std::string>& Lines() const { return lines_; }
  int CurrentLine() const { return current_; }

  // The lines, each ended by CR LF: "" for a log never filled.
  std::string Text() const;
  // Writes Text() to `path` through the crash-safe writer; false on failure.
  bool Save(const std::string& path) const;

  // Called after every change (the Log window follows the lines).
  void SetOnChange(std::function<void()> f) { onChange_ = std::move(f); }

 private:
  void Changed() {
    if (onChange_) onChange_();
  }
  std::vector<std::string> lines_;
  int current_ = -1;
  std::function<void()> onChange_;
};

}  // namespace krv::series
