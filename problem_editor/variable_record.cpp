// One variable of a loaded problem: its value block, name and type code.
#include "problem_editor/variable_record.h"

#include <cassert>

namespace krv::pe {

int TypeCodeFor(char c1, char c2, uint8_t constraintLetter) {
  int p = (constraintLetter == 'P' || constraintLetter == 'p') ? 1 : 0;
  if (c1 != 'I' && c1 != 'C') return 6;
  if (c2 == 'C') return 2 + p;
  if (c2 == 'O') return c1 == 'I' ? p : 4;
  return 5;
}

const char* TypeLetters(int code) {
  static const char* const kLetters[] = {"IO", "IO", "IC", "IC", "CO", "I*", "*O"};
  assert(code >= 0 && code <= 6);
  return kLetters[code];
}

int WithPositiveConstraint(int code, bool on) {
  if (code > 3) return code;
  return on ? (code | 1) : (code & ~1);
}

seq::PRBValueBlock VariableRecord::BlockToWrite() const {
  seq::PRBValueBlock b = block;
  b.SetConstraint(Positive() ? 'P' : 'U');
  return b;
}

}  // namespace krv::pe
