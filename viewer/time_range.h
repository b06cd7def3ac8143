// The range of steps in use and the point density within it.
#pragma once

#include <cstdint>

namespace krv::view {

// Every d-th step of lo..hi is used, d at least (hi - lo) div 32767 + 1.
struct TimeRange {
  int32_t lo = 0;
  int32_t hi = 0;
  int32_t density = 1;
  int32_t minDensity = 1;
  int32_t n = -1;  // last index of the regular points lo + k * density

  // Raises the density to its minimum and recomputes n.
  void Update();
};

// The density chosen from the number of the last record.
int32_t DefaultDensity(int32_t jtmax);

}  // namespace krv::view
