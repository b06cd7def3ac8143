// Fuzzes the least-squares source scan on arbitrary text: it ends, its
// counts stay within the lists, and every name it keeps fits its field.
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <string>

#include "series/LSQU.h"

using namespace krv::series;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  // The first two bytes split the input into the three windows' texts.
  size_t a = size > 0 ? data[0] % (size + 1) : 0, b = size > 1 ? data[1] % (size + 1) : 0;
  if (a > b) std::swap(a, b);
  LsqSourceTexts texts{bytes.substr(0, a), bytes.substr(a, b - a), bytes.substr(b)};
  LsqSetupRecord r;
  ScanResult result = ScanLsqSetup(texts, r);
  assert(r.BetaCount >= -1 && r.BetaCount < kMaxBetas);
  assert(r.DepCount >= -1 && r.DepCount < kMaxDeps);
  assert(r.IndepCount >= -1 && r.IndepCount < kMaxIndeps);
  assert(r.RunCount >= -1 && r.RunCount < kMaxRuns);
  assert(r.RunEnabled || r.RunCount == -1);
  assert(r.DsfName.size() <= kLsqDsfNameMax && r.ProblemName.size() <= kLsqNameMax);
  for (int k = 0; k <= r.BetaCount; ++k) assert(!r.BetaNames[size_t(k)].empty());
  for (int k = 0; k <= r.RunCount; ++k) assert(r.RunNames[size_t(k)].size() <= kLsqNameMax);
  if (result == ScanResult::Read) assert(!r.ProblemName.empty() && !r.DsfName.empty());

  SourceScanner scanner(bytes);
  size_t found = 0;
  while (scanner.FindSourceKeyword("LSQDEP")) {
    assert(scanner.Position + 6 <= bytes.size());
    scanner.Position += 1;
    assert(++found <= bytes.size());
  }
  return 0;
}
