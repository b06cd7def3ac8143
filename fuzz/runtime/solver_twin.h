// What the solver's fuzz targets share: the solver's readers in their probe
// program, and how a target stops on what it found.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/tests/reader_probe.h"

namespace krv::rt {

// The one probe of the fuzzing process.
inline ReaderProbe& Probe() {
  static ReaderProbe probe;
  return probe;
}

// A fault in the solver's reader, or a verdict or value the two readers do
// not share: the input is a finding.
[[noreturn]] inline void Finding(const std::string& what) {
  // Bytes of the input show as \xNN, so that the whole text is seen.
  std::string shown;
  for (unsigned char c : what) {
    if (c == '\n' || (c >= 32 && c < 127)) {
      shown += char(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      shown += hex;
    }
  }
  std::fprintf(stderr, "%s\n", shown.c_str());
  std::abort();
}

inline void CheckNoFault(const SolverAnswer& a) {
  if (ReaderProbe::IsFault(a)) Finding("the solver's reader failed: " + a.text);
}

}  // namespace krv::rt
