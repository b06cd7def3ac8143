// One variable of a loaded problem: its value block, name and type code.
#include "problem_editor/variable_record.h"

#include <bit>
#include <cassert>
#include <cstring>

namespace krv::pe {

static_assert(std::endian::native == std::endian::little,
              "value blocks are stored little-endian and copied as they are");

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

template <typename T>
static T Get(const std::array<uint8_t, kBlockSize>& b, size_t at) {
  T v;
  std::memcpy(&v, b.data() + at, sizeof v);
  return v;
}

template <typename T>
static void Put(std::array<uint8_t, kBlockSize>& b, size_t at, T v) {
  std::memcpy(b.data() + at, &v, sizeof v);
}

double VariableRecord::XIn() const { return Get<double>(block, 1); }
void VariableRecord::SetXIn(double v) { Put(block, 1, v); }
float VariableRecord::Range() const { return Get<float>(block, 9); }
void VariableRecord::SetRange(float v) { Put(block, 9, v); }
float VariableRecord::Fourth() const { return Get<float>(block, 13); }
double VariableRecord::XOut() const { return Get<double>(block, 17); }
void VariableRecord::SetXOut(double v) { Put(block, 17, v); }

std::array<uint8_t, kBlockSize> VariableRecord::BlockToWrite() const {
  auto b = block;
  b[0] = Positive() ? 'P' : 'U';
  return b;
}

}  // namespace krv::pe
