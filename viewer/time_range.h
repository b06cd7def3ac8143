// The range of steps in use and the point density within it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

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
  // The time bar's large step, 20 x density, kept within int32.
  int32_t LargeStep() const;
  // Saving with the steps as indices needs every step, below 32767.
  bool ActualSaveAllowed() const { return density == 1 && hi < 32767; }
};

// The density dialog's limit line: "Most points which can be used is
// every point", "... 2nd point", "... 3th point" (sic, as always shown).
std::string DensityLimitText(int32_t minDensity);
// A density entry: a whole number of int32 range, at least `minDensity`;
// nothing for anything else (the dialog beeps).
std::optional<int32_t> ParseDensityEntry(const std::string& text, int32_t minDensity);

// The density chosen from the number of the last record.
int32_t DefaultDensity(int32_t jtmax);

}  // namespace krv::view
