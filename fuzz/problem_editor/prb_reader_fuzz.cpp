// Fuzzes problem-file reading in both formats and the save's round trip.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "problem_editor/LDSAVE.h"
#include "problem_editor/selection.h"
#include "problem_editor/variable_grid.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // The main problem's load takes a part of what the plain reading takes.
  krv::pe::EditorBuffer main;
  std::string error;
  bool damaged = false;
  if (krv::pe::ParseMainProblem(bytes, main, error, damaged) && !krv::pe::ParsePrb(bytes, false, main))
    std::abort();
  for (bool allowOld : {false, true}) {
    krv::pe::EditorBuffer buf;
    if (!krv::pe::ParsePrb(bytes, allowOld, buf)) continue;
    krv::pe::SelectionRequest req{"0", std::to_string(buf.HighestIndex()), "&"};
    krv::pe::RunSelection(buf, req);
    for (int d = 0; d <= buf.lastDisplayed && d < 50; ++d) krv::pe::DrawRow(buf, d, false);
    if (!buf.image.v4 || !buf.image.orderingComplete) continue;
    // What a save writes must read back to the same problem.
    krv::pe::EditorBuffer again;
    if (!krv::pe::ParsePrb(krv::pe::WritePrbFile(buf), false, again)) std::abort();
    if (again.records.size() != buf.records.size()) std::abort();
    for (size_t k = 0; k < buf.records.size(); ++k)
      if (again.records[k].name != buf.records[k].name ||
          again.records[k].block != buf.records[k].BlockToWrite())
        std::abort();
  }
  return 0;
}
