// Column names and the cell texts of the worksheet grid.
#include "series/worksheet_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "platform/text.h"
#include "series/value_text.h"

namespace krv::series {

std::string ColumnLetters(int column) {
  int q = column / 26;
  char second = char(65 + column % 26);
  if (q == 0) return std::string{second, ' '};
  return std::string{char(64 + q), second};
}

int ParseColumnLetters(std::string_view text, int highestColumn) {
  text = text.substr(0, 35);
  size_t b = text.find_first_not_of(' ');
  if (b == std::string_view::npos) return 0;  // nothing typed: column A
  text.remove_prefix(b);
  int c1 = platform::UpperAscii(text[0]);
  int column;
  if (text.size() == 1 || text[1] == ' ')
    column = c1 - 65;
  else
    column = c1 * 26 + platform::UpperAscii(text[1]) - 1729;
  return std::clamp(column, 0, std::max(0, highestColumn));
}

std::string FormatFixed(int width, int decimals, double value) {
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  std::string s = r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("Nan");
  return platform::PadLeft(s, size_t(std::max(0, width)));
}

std::string FormatByMagnitude(int width, double value) {
  // The factor is the system's, not 1/ln 10: it decides the digits near powers of ten.
  double e = value == 0 ? 0 : std::nearbyint(std::log(std::fabs(value)) * 0.43429);
  if (!std::isfinite(value) || std::fabs(e - 1) > width - 7) return FormatAutoDecimals(width, value);
  int decimals = std::max(0, 6 - int(e));
  return FormatFixed(width, decimals, value);
}

std::string FormatCellValue(int width, int digits, double value) {
  std::string s;
  if (digits == kSpecScientific)
    s = FormatAutoDecimals(width, value);
  else if (digits == kSpecFlexible)
    s = FormatByMagnitude(width, value);
  else
    s = FormatFixed(width, std::clamp(digits, 0, 9), value);
  if (s.size() > 27) s.resize(27);
  return s;
}

}  // namespace krv::series
