// The range of steps in use and the point density within it.
#include "viewer/time_range.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <climits>

namespace krv::view {

void TimeRange::Update() {
  assert(lo <= hi);
  minDensity = (hi - lo) / 32767 + 1;
  if (density < minDensity) density = minDensity;
  // C++ division rounds towards zero, as the range rule wants.
  n = (hi - lo - 1) / density;
}

int32_t TimeRange::LargeStep() const {
  return int32_t(std::min<int64_t>(20 * int64_t(density), INT32_MAX));
}

std::string DensityLimitText(int32_t minDensity) {
  std::string s = "Most points which can be used is every ";
  if (minDensity == 1) return s + "point";
  if (minDensity == 2) return s + "2nd point";
  return s + std::to_string(minDensity) + "th point";
}

std::optional<int32_t> ParseDensityEntry(const std::string& text, int32_t minDensity) {
  size_t b = text.find_first_not_of(' ');
  size_t e = text.find_last_not_of(' ');
  if (b == std::string::npos) return std::nullopt;
  const char* first = text.data() + b;
  const char* last = text.data() + e + 1;
  if (*first == '+') ++first;
  int32_t v = 0;
  // from_chars refuses a value beyond int32 (out of range) and a fraction
  // or letters leave characters unread.
  auto r = std::from_chars(first, last, v);
  if (r.ec != std::errc() || r.ptr != last || v < minDensity) return std::nullopt;
  return v;
}

int32_t DefaultDensity(int32_t jtmax) {
  if (jtmax < 4000) return 1;
  if (jtmax < 10000) return 2;
  if (jtmax < 15000) return 3;
  if (jtmax < 20000) return 4;
  if (jtmax < 30000) return 5;
  if (jtmax < 50000) return 8;
  if (jtmax < 320000) return 10;
  return jtmax / 32000;
}

}  // namespace krv::view
