// The solver's reading of a start trajectory (the last record of
// STARTING.TTR) beside the trajectory codec: the input is the file. The
// codec, built for coverage, decides what the corpus explores; the solver's
// reader (Pascal, with range, overflow and input/output checks) must never
// fail and must give the same verdict, reason and values.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "solver_twin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace krv::rt;
  std::string_view ttr(reinterpret_cast<const char*>(data), size);
  // The solver's capacity, and a problem of a few variables.
  for (int maxValues : {11000, 12}) {
    SolverAnswer solver = Probe().StartRecord(ttr, maxValues);
    CheckNoFault(solver);
    std::string diff = StartRecordDifference(StartRecord(ttr, maxValues), solver);
    if (!diff.empty()) Finding("for " + std::to_string(maxValues) + " variables " + diff);
  }
  return 0;
}
