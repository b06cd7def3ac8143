// The one argument every benchmark takes: "--tiny" runs it once on a tiny
// size, so that `make test` keeps every benchmark building and running
// without timing anything.
#pragma once

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

}  // namespace krv::bench
