// One variable of a loaded problem: its value block, name and type code.
#pragma once

#include <cstdint>
#include <string>

#include "sequencer/prb_format.h"

namespace krv::pe {

constexpr size_t kBlockSize = seq::kValueBlockSize;
constexpr size_t kRecordNameMax = 77;

// Type codes: bit 0 of codes 0..3 is the positivity constraint.
//   0/1 IO, 2/3 IC (also CC), 4 CO, 5 I*, 6 *O.
int TypeCodeFor(char c1, char c2, uint8_t constraintLetter);
// The two letters a code shows as: "IO", "IC", "CO", "I*" or "*O".
const char* TypeLetters(int code);
// Codes 0..3 carry the constraint: on turns 0 into 1 and 2 into 3, off the
// reverse; codes 4..6 stay as they are.
int WithPositiveConstraint(int code, bool on);

struct VariableRecord {
  // The value block exactly as read.
  seq::PRBValueBlock block;
  std::string name;  // expanded, without "_X.", at most 77 characters
  int TypeCode = 6;

  double XIn() const { return block.XIn(); }
  void SetXIn(double v) { block.SetXIn(v); }
  float Range() const { return block.Range(); }
  void SetRange(float v) { block.SetRange(v); }
  float Fourth() const { return block.Fourth(); }
  double XOut() const { return block.XOut(); }
  void SetXOut(double v) { block.SetXOut(v); }
  bool Positive() const { return TypeCode == 1 || TypeCode == 3; }
  // Turns the positivity constraint on or off (codes 0..3 only).
  void SetPositiveConstraint(bool on) { TypeCode = WithPositiveConstraint(TypeCode, on); }
  // The block as written: its letter rebuilt from the type code.
  seq::PRBValueBlock BlockToWrite() const;
};

}  // namespace krv::pe
