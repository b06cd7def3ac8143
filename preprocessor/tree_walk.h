// The MPROC tree walk: expands the model from SYSTEM through every instance
// and loop value and records the variable numbers of every equation call.
#pragma once

#include <cstdint>
#include <vector>

#include "preprocessor/mproc_tables.h"
#include "preprocessor/syntax_error.h"
#include "preprocessor/text_buffer.h"
#include "preprocessor/type_chain.h"

namespace krv::pp {

// One (output, input) pair as SAVIJ.TMP holds it.
struct Incidence {
  int32_t output = 0, input = 0;
  uint8_t fix = 0;   // 1 for a QTLFIX call
  uint8_t mode = 0;  // 1 QTLINTEG, 2 QTLDERIV
};

struct WalkResult {
  std::vector<int32_t> outputs;  // SAVI: one per output per call per loop value
  std::vector<Incidence> incidences;
};

inline constexpr int kMaxNesting = 16;
inline constexpr size_t kDuplicateTable = 11000;

// Walks from `system`; errors go through Pass2Error.
WalkResult WalkMprocTree(ErrorReport& errors, const TextBuffer& text, const MprocRecord& system);

// Logs "DUPLICATE OUTPUT ERROR at n" for every pair of equal outputs.
void CheckDuplicateOutputs(ErrorReport& errors, const std::vector<int32_t>& outputs);

}  // namespace krv::pp
