// Series written as short texts in tests: "1 2 - 4" (a "-" is a gap).
#pragma once

#include <cstdio>
#include <sstream>
#include <string>

#include "series/series_store.h"

namespace krv::series {

// A new series in `slot` holding the words of `values` from index lo on.
inline void SetValues(SeriesStore& store, ColumnSlot& slot, int lo, const std::string& values) {
  store.NewSeries(slot, false, "");
  std::istringstream in(values);
  int i = lo;
  for (std::string w; in >> w; ++i)
    store.PutVal(slot, int16_t(i), w == "-" ? double(MissingValue) : std::stod(w));
}

// "lo: v v - v", "empty" or "free"; leaves FailureFlag as it was.
inline std::string ValuesText(const ColumnSlot& slot) {
  if (!slot.IsOpen()) return "free";
  if (slot.Header().Empty()) return "empty";
  const SeriesHeader& h = slot.Header();
  int lo = h.base + h.firstOffset;
  std::string out = std::to_string(lo) + ":";
  for (int i = lo; i <= h.highest; ++i) {
    float v = slot.Cells()[size_t(i - h.base)];
    char buf[32];
    std::snprintf(buf, sizeof buf, " %.7g", double(v));
    out += IsMissing(v) ? " -" : buf;
  }
  return out;
}

}  // namespace krv::series
