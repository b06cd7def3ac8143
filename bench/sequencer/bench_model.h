// Large generated models for the sequencer's benchmarks: strongly connected
// blocks of random sizes, and the variable map that describes them.
#pragma once

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace krv::bench {

// Off-diagonal dependences (equation, variable), 0-based; every variable
// has its own equation.
struct Model {
  int n = 0;
  std::vector<std::pair<int, int>> deps;
};

// Blocks of the given sizes, each a cycle plus random couplings inside,
// and random dependences on earlier blocks; then the variables shuffled.
inline Model MakeModel(int n, int maxBlock, int perRowInside, int perRowEarlier, unsigned seed) {
  std::mt19937 rng(seed);
  Model m;
  m.n = n;
  std::vector<int> perm(static_cast<size_t>(n));
  std::iota(perm.begin(), perm.end(), 0);
  std::shuffle(perm.begin(), perm.end(), rng);
  for (int first = 0; first < n;) {
    int size = maxBlock >= n ? n : std::min(n - first, 1 + int(rng() % unsigned(maxBlock)));
    for (int i = 0; i < size; ++i) {
      int v = first + i;
      if (size > 1) m.deps.push_back({v, first + (i + 1) % size});
      for (int k = 0; k < perRowInside && size > 2; ++k) {
        int u = first + int(rng() % unsigned(size));
        if (u != v) m.deps.push_back({v, u});
      }
      for (int k = 0; k < perRowEarlier && first > 0; ++k) m.deps.push_back({v, int(rng() % unsigned(first))});
    }
    first += size;
  }
  for (auto& d : m.deps) d = {perm[size_t(d.first)], perm[size_t(d.second)]};
  return m;
}

inline std::string MapText(const Model& m) {
  std::string s = "BENCH\r\n";
  for (int k = 0; k < m.n; ++k)
    s += platform::PadLeft(std::to_string(k), 4) + " IO  _X.SYS.UNIT" + std::to_string(k / 50) + "_V[" +
         std::to_string(k % 50) + "]\r\n";
  s += "     #\r\n";
  for (auto [out, in] : m.deps)
    s += platform::PadLeft(std::to_string(out), 5) + platform::PadLeft(std::to_string(in), 5) + " 0 0\r\n";
  return s + "\x1a";
}

}  // namespace krv::bench
