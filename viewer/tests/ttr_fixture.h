// Test trajectories: packed files through the viewer's own writer, and
// hand-laid bytes for the split layouts and damaged files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace krv::view::testing {

struct TTRSpec {
  int16_t mark = 30995;
  int d = 3;
  int32_t jtmax = 2;
  std::string label = ">12-10-2026 10: 5:29 CASE1";
  // Value of variable i at step jt, and the time of step jt.
  std::function<float(int32_t jt, int i)> value = [](int32_t jt, int i) {
    return float(100 * jt + i);
  };
  std::function<double(int32_t jt)> time = [](int32_t jt) { return 0.5 * jt; };
  // Byte written into the split layout's gap and the padding.
  uint8_t filler = 0xAB;
  // Stored record number of step jt (normally jt).
  std::function<int32_t(int32_t jt)> storedJT = [](int32_t jt) { return jt; };
};

// The file's bytes, laid out by hand for every mark.
std::string MakeTTRBytes(const TTRSpec& desc);

// A packed file written through TTRWriter and WriteTTRRecord.
void WritePackedTTR(const std::string& path, const TTRSpec& desc);

// A variable map for variables 0..d: line i+2 is "%4d IO  _X.V<i>".
std::string MakeVNM(const std::string& label, int d);

}  // namespace krv::view::testing
