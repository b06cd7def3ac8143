// A small problem file with dittos and every kind of variable, for tests.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/little_endian.h"

namespace krv::pe::testing {

inline std::string U16(unsigned v) {
  std::string s;
  platform::AppendU16(s, uint16_t(v));
  return s;
}

inline std::string Block(char letter, double xin, float range, float fourth, double xout) {
  std::string b(25, '\0');
  b[0] = letter;
  platform::PutF64(b, 1, xin);
  platform::PutF32(b, 9, range);
  platform::PutF32(b, 13, fourth);
  platform::PutF64(b, 17, xout);
  return b;
}

struct FixtureVar {
  const char* line;  // kind letters + compressed name
  std::string block;
};

// The ordering section: one integration pair, two rows and columns, two nonzeros.
inline std::string FixtureOrdering() {
  return U16(1) + U16(0) + U16(1) + U16(2) + U16(0) + U16(1) + U16(0) + U16(1) + U16(2) + U16(0) +
         U16(1) + U16(1) + U16(2) + U16(2);
}

inline std::vector<FixtureVar> FixtureVars() {
  return {
      {"IOFLOW.IN", Block('P', 1.5, 2.0f, 0.25f, 3.5)},                    // 0 IO, P
      {"IO\".OUT", Block('U', -0.37003730, 10000.0f, 2.36e-16f, -0.5)},    // 1 IO
      {"ICTANK.LEVEL", Block('p', 0.0, 0.0f, 0.0f, 7.0)},                  // 2 IC, P
      {"CC\".VOL", Block('U', 2.0, 4.0f, 0.0f, 0.0)},                      // 3 CC shows IC
      {"COPUMP_SPEED", Block('P', 1.0, 0.0f, 0.0f, 9.0)},                  // 4 CO, P ignored
      {"I*\"_RATE", Block('U', 5.0, 1.0f, 0.0f, 0.0)},                     // 5 I*
      {"*OT", Block('U', 1.0, 0.0f, 0.0f, 2.0)},                           // 6 *O
      {"**X[1]", Block('P', 0.0, 0.0f, 0.0f, 0.0)},                        // 7 shows *O
      {"C*A.B.C.D", Block('U', 0.0, 0.0f, 0.0f, 0.0)},                     // 8 I*
      {"IO\".\"", Block('U', 0.0, 0.0f, 0.0f, 0.0)},                       // 9 A.B
      {"IO\".\".C.\"", Block('U', 1.0, -1.0f, 0.0f, 4.0)},                 // 10 A.B.C.D
  };
}

inline std::string FixtureHeader() { return "*TEST LABEL 2026-12-10 FIXTURE#0000"; }

// The fixture file with the blocks of some records replaced, as a solver
// run or another editor leaves it.
inline std::string FixturePrbWith(const std::vector<std::pair<size_t, std::string>>& blocks) {
  auto vars = FixtureVars();
  for (const auto& [k, block] : blocks) vars[k].block = block;
  std::string s = FixtureHeader() + "\r\n" + U16(unsigned(vars.size() - 1));
  for (const auto& v : vars) s += std::string(v.line) + "\r\n" + v.block;
  return s + "#\r\n" + FixtureOrdering();
}

inline std::string FixturePrb() { return FixturePrbWith({}); }

// A name of 77 characters, the longest a record keeps.
inline std::string LongName() { return "LONG." + std::string(68, 'N') + ".END"; }

// The fixture followed by filler records up to index 10000, an IO variable
// with a 77-character name: every code, Range 0 and negative, an index of
// five digits.
inline std::string ListingFixturePrb() {
  auto vars = FixtureVars();
  std::string s = FixtureHeader() + "\r\n" + U16(10000);
  for (const auto& v : vars) s += std::string(v.line) + "\r\n" + v.block;
  for (size_t k = vars.size(); k < 10000; ++k) s += "*OF\r\n" + Block('U', 0, 0, 0, 0);
  s += "IO" + LongName() + "\r\n" + Block('P', 1.5, 0.5f, 0.0f, 2.0);
  return s + "#\r\n" + FixtureOrdering();
}

}  // namespace krv::pe::testing
