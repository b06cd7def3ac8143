// Feeds arbitrary bytes to the problem-file reader under the format's and
// the solver's rules; what it accepts must write back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sequencer/prb_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace krv::seq;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  PrbProblem p;
  PrbReadOptions older;
  older.acceptOlderLayout = true;
  older.ordering = PrbOrderingRule::CopyUnread;
  ReadPrb(bytes, p, older);
  // The solver's rules refuse more than the format's, never less.
  PrbReadOptions solver;
  solver.rules = PrbRules::Solver;
  const bool runs = ReadPrb(bytes, p, solver).ok;
  if (!ReadPrb(bytes, p).ok) {
    if (runs) std::abort();
    return 0;
  }
  PrbWriteOptions keep;
  keep.keepStoredLines = true;
  std::string out, error;
  if (!WritePrb(p, out, error, keep) || out != bytes) std::abort();
  return 0;
}
