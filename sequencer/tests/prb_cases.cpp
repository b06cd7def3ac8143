// Good and damaged problem files with each reader's verdict.
#include "sequencer/tests/prb_cases.h"

#include <cstring>
#include <limits>

#include "platform/little_endian.h"
#include "sequencer/prb_format.h"

namespace krv::prbcases {

namespace {

using seq::PrbProblem;
using seq::PrbVariable;

PrbProblem GoodProblem() {
  PrbProblem p;
  p.header = seq::MakeHeaderLine("CASES 10-12-2026 14:30");
  for (auto [kind, name] : {std::pair{"IO", "A.X"}, {"I*", "A.Y"}, {"IO", "B"}}) {
    PrbVariable v;
    v.kind = kind;
    v.name = name;
    p.variables.push_back(v);
  }
  p.variables[0].block.SetXIn(1.5);
  p.variables[1].block.SetConstraint('P');
  p.variables[1].block.SetXIn(2.0);
  p.variables[2].block.SetRange(4.0f);
  p.ordering.pairs = {{0, 1}};
  p.ordering.rowNames = {0, 2};
  p.ordering.columnNames = {0, 2};
  p.ordering.nonzeros = {{1, 1}, {2, 1}, {2, 2}};
  return p;
}

std::string Write(const PrbProblem& p) {
  std::string out, error;
  seq::WritePrb(p, out, error);
  return out;
}

std::string Replace(std::string s, const std::string& from, const std::string& to) {
  s.replace(s.find(from), from.size(), to);
  return s;
}

// Little-endian words, as the file holds its counts and name numbers.
std::string Words(std::initializer_list<uint16_t> words) {
  std::string s;
  for (uint16_t w : words) platform::AppendU16(s, w);
  return s;
}

// Offsets into GoodPrb: after the "#" line, and inside the row names.
size_t OrderingStart(const std::string& s) { return s.find("#\r\n", s.find("\r\n") + 2) + 3; }

}  // namespace

std::string GoodPrb() { return Write(GoodProblem()); }

std::vector<PrbCase> PrbCases() {
  const Verdict A = Verdict::Accept, R = Verdict::Refuse;
  const std::string good = GoodPrb();
  const size_t ordering = OrderingStart(good);
  const size_t rows = ordering + 2 + 4 + 2;  // past P, one pair and N

  PrbProblem noNames;
  noNames.header = seq::MakeHeaderLine("EMPTY");
  PrbProblem nan = GoodProblem();
  nan.variables[0].block.SetXIn(std::numeric_limits<double>::quiet_NaN());
  PrbProblem inputRow = GoodProblem();
  inputRow.ordering.rowNames = {0, 1};  // variable 1 is an input only
  std::string hugeCount = good.substr(0, good.size() - 3 * 4 - 4);
  platform::AppendU32(hugeCount, 0xFFFFFFFF);
  std::string noEnding = Replace(good, "#0000\r\n", "\r\n");

  return {
      {"Good", good, A, A, true, A, ""},
      // Line ends: CR LF exactly, for every reader.
      {"BareLfAfterName", Replace(good, "IOA.X\r\n", "IOA.X\n"), R, R, false, R, ""},
      {"CrThenOtherByte", Replace(good, "IOA.X\r\n", "IOA.X\rx"), R, R, false, R, ""},
      {"BareLfAfterHeader", Replace(good, "#0000\r\n", "#0000\n"), R, R, false, R, ""},
      {"HeaderWithoutEnd", good.substr(0, good.find('\r')), R, R, false, R, ""},
      // Names.
      {"NoStar", "#" + good.substr(1), R, R, false, R, ""},
      {"CountTooLarge", Replace(good, Words({2}), Words({3})), R,
       R, false, R, ""},
      {"CountTooSmall", Replace(good, Words({2}), Words({1})), R,
       R, false, R, ""},
      {"EndsWhereARecordIsDue", good.substr(0, good.find("I*")), R, R, false, R, ""},
      {"NameLineEndsFile", good.substr(0, good.find("I*") + 7), R, R, false, R, ""},
      {"BlockCutShort", good.substr(0, good.find("I*") + 7 + 10), R, R, false, R, ""},
      {"BadKindLetters", Replace(good, "I*\"", "X*\""), R, R, false, R, ""},
      {"NoKindLetters", Replace(good, "I*\".Y\r\n", "\r\n"), R, R, false, R, ""},
      {"TextAfterHashLine", std::string(good).replace(ordering - 3, 3, "#x\r\n"), R, R, false, R, ""},
      {"NoHashLine", good.substr(0, ordering - 3), R, R, false, R, ""},
      // The ordering section: the editor keeps it unread for its saves, but
      // refuses what the solver refuses, so that the damage is told before
      // the values are edited.
      {"OrderingMissing", good.substr(0, ordering), R, R, false, R, ""},
      {"OrderingCutInRows", good.substr(0, rows + 1), R, R, false, R, ""},
      {"NonzeroCountTooLarge", hugeCount, R, R, false, R, ""},
      {"NonzeroOutside", good.substr(0, good.size() - 2) + Words({3}), R, R, false,
       R, ""},
      {"RowOutside", Replace(good, Words({0, 2, 0, 2}), Words({0, 9, 0, 2})),
       R, R, false, R, ""},
      {"StrayBytesAfterNonzeros", good + "xy", R, R, false, R, ""},
      // What only the solver needs to run a problem: the editor asks it too.
      {"NoVariables", Write(noNames), A, A, true, R,
       "the solver has nothing to solve; the file is well formed, and the editor loads it"},
      {"XInNotANumber", Write(nan), A, R, false, R, "the solver cannot start from X in"},
      {"RowOfAnInput", Write(inputRow), A, R, false, R,
       "the solver checks that every row is a computed variable"},
      {"HeaderWithoutMark", noEnding, A, R, false, R,
       "the solver takes its label from between \"*\" and \"#0000\""},
      {"OlderLayout", "OLD LABEL\r\nIOA\r\n" + good.substr(good.find("IOA.X") + 7, 25) + "#\r\n", R,
       R, false, R, "the older layout is read only as a transfer source"},
  };
}

}  // namespace krv::prbcases
