// The Log's lines.
#include "series/series_log.h"

#include "platform/byte_io.h"

namespace krv::series {

void SeriesLog::Clear() {
  lines_.assign(1, std::string());
  current_ = 0;
  Changed();
}

void SeriesLog::Reset() {
  lines_.clear();
  current_ = -1;
  Changed();
}

void SeriesLog::AddLine(const std::string& text) {
  lines_.push_back(text);
  current_ = int(lines_.size()) - 1;
  Changed();
}

void SeriesLog::AppendToLine(const std::string& text) {
  if (current_ < 0 || current_ >= int(lines_.size())) {
    AddLine(text);
    return;
  }
  lines_[size_t(current_)] += text;
  Changed();
}

std::string SeriesLog::Text() const {
  std::string out;
  for (const std::string& l : lines_) {
    out += l;
    out += "\r\n";
  }
  return out;
}

bool SeriesLog::Save(const std::string& path) const {
  return platform::WriteFileAtomic(path, Text());
}

}  // namespace krv::series
