// The one argument every benchmark takes: "--tiny" runs it once on a tiny
// size, so that `make test` keeps every benchmark building and running
// without timing anything.
#pragma once

#include <time.h>

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

// Seconds on the steady wall clock, from an arbitrary start.
inline double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// CPU seconds of the calling thread: figures that stay put on a busy machine.
inline double ThreadCpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Seconds of the fastest of `runs` calls of `f`, on the clock `now` reads
// (the wall clock unless told).
template <class F>
double BestSeconds(int runs, F f, double (*now)() = WallSeconds) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    const double t = now();
    f();
    best = std::min(best, now() - t);
  }
  return best;
}

}  // namespace krv::bench
