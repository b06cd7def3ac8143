// The solver's problem-file reader beside the problem-file codec: the input
// is the file. The codec, built for coverage, decides what the corpus
// explores; the solver's reader (Pascal, with range, overflow and
// input/output checks) must never fail and must give the same verdict and
// values, or a difference listed with its reason.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "solver_twin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace krv::rt;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  SolverAnswer solver = Probe().Problem(bytes);
  CheckNoFault(solver);
  std::string diff = PrbDifference(bytes, solver);
  if (!diff.empty()) Finding(diff);
  return 0;
}
