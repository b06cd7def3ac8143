// The range of steps in use and the point density within it.
#include "viewer/time_range.h"

#include <cassert>

namespace krv::view {

void TimeRange::Update() {
  assert(lo <= hi);
  minDensity = (hi - lo) / 32767 + 1;
  if (density < minDensity) density = minDensity;
  // C++ division rounds towards zero, as the range rule wants.
  n = (hi - lo - 1) / density;
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
