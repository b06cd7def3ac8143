// The one argument every benchmark takes: "--tiny" runs it once on a tiny
// size, so that `make test` keeps every benchmark building and running
// without timing anything.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace krv::bench {

inline bool TinyRun(int argc, char** argv) {
  if (argc == 1) return false;
  if (argc == 2 && std::string(argv[1]) == "--tiny") return true;
  std::fprintf(stderr, "usage: %s [--tiny]\n", argv[0]);
  std::exit(2);
}

// Wall-clock seconds of the fastest of `runs` calls of `f`.
template <class F>
double BestSeconds(int runs, F f) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    const auto t = std::chrono::steady_clock::now();
    f();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count());
  }
  return best;
}

}  // namespace krv::bench
