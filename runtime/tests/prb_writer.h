// Test helper: problem files through the problem-file library, with an ordering made the way the sequencer makes it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace krv::rt {

struct PrbVar {
  std::string kind;  // two role letters, "IO", "I*", "IC", ...
  std::string name;  // dotted name without the leading "_X."
  double xin = 0.0;
  float range = 0.0f;
  char constraint = 'U';
};

// One incidence line of a variable map: output, input, fix flag, mode.
struct Incidence {
  int out, in, fix = 0, mode = 0;
};

struct PrbSpec {
  std::string label;
  std::vector<PrbVar> vars;
  std::vector<std::pair<int, int>> pairs;  // (integrated, derivative)
  bool has_ordering = true;
  std::vector<int> rows, cols;                 // variable per position
  std::vector<std::pair<int, int>> nonzeros;   // 1-based (row, column) positions
};

// Fills pairs, rows, cols and nonzeros from the incidences: one number per
// IO variable and per fixing pair (as the sequencer numbers them), then the
// numbers put in block lower-triangular order, dependencies first.
void OrderLikeSequencer(PrbSpec& desc, const std::vector<Incidence>& incidences);

// The problem file's bytes, written by the problem-file library; without
// has_ordering the file ends after its integration pairs.
std::string WritePrb(const PrbSpec& desc);

// Byte offset of variable k's 25-byte value block in WritePrb's output.
size_t ValueBlockOffset(const std::string& prb, int k);

double XOutAt(const std::string& prb, int k);

// Writes constraint, X in and Range of `v` into variable k's value block.
void SetValueBlock(std::string& prb, int k, const PrbVar& v);

}  // namespace krv::rt
