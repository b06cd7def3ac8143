// Tests of the subscript move and the ditto compression of names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sequencer/prb_names.h"

using namespace krv::seq;

// A variable-map line for variable 5 with the given "_X" path.
static std::string MapLine(const std::string& path) { return "   5 IO  " + path; }

TEST(MoveSubscript, MovesSubscriptsThatCloseUnderscoreParts) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"_X.A.B_C[k]", "_X.A.B[k]_C"},
      {"_X.A.B[k]", "_X.A.B[k]"},                // no '_' after the dot
      {"_X.A_B_C[3]", "_X.A[3]_B_C"},            // in front of the first '_'
      {"_X.A_B[1].C_D[2]", "_X.A[1]_B.C[2]_D"},  // right to left, both move
      {"_X.A_B[1].C[2]", "_X.A[1]_B.C[2]"},      // only the one with a '_'
      {"_X.PLANT.TANK[3].LEVEL", "_X.PLANT.TANK[3].LEVEL"},
      {"_X.A_B", "_X.A_B"},
      {"_X", "_X"},
  };
  for (const auto& c : cases) EXPECT_EQ(MoveSubscript(MapLine(c.in)), MapLine(c.out)) << c.in;
}

TEST(MoveSubscript, UsesOnlyTheFirst87CharactersAndSurvivesOddBrackets) {
  std::string longLine = MapLine("_X." + std::string(70, 'A') + "_B[12345]");
  std::string moved = MoveSubscript(longLine);
  EXPECT_EQ(moved.size(), 87u);
  EXPECT_EQ(moved, longLine.substr(0, 87));  // the cut left no closing ']'
  for (const char* odd : {"]]]]]]]]]]]]]]", "[[[[[[[[[[[[[[[", "   1 IO  _X.]_[", "   1 IO  _X_[]",
                          "   1 IO  _X.a_b[[1]]", "", "]"}) {
    std::string out = MoveSubscript(odd);
    EXPECT_EQ(out.size(), std::string(odd).size()) << odd;
  }
}

// Compresses the names in order with one table.
static std::vector<std::string> CompressAll(const std::vector<std::string>& names) {
  DittoTable t;
  t.ClearNameComponents();
  std::vector<std::string> out;
  for (const auto& n : names) out.push_back(t.DittoCompressName(n));
  return out;
}

TEST(DittoTable, CompressesAgainstTheTableAndEmptiesOnlyTheNextEntry) {
  EXPECT_EQ(CompressAll({"A.B.C.D", "A.B", "A.B.C.D"}),
            (std::vector<std::string>{"A.B.C.D", "\".\"", "\".\".C.\""}));
  // Same position, earlier components differ: still dittoed.
  EXPECT_EQ(CompressAll({"X.B", "A.B"}), (std::vector<std::string>{"X.B", "A.\""}));
  // Separators are not part of the component.
  EXPECT_EQ(CompressAll({"A_B", "A.B_C"}), (std::vector<std::string>{"A_B", "\".\"_C"}));
  EXPECT_EQ(CompressAll({"TANK[1]_LEVEL", "TANK[2]_LEVEL"}),
            (std::vector<std::string>{"TANK[1]_LEVEL", "TANK[2]_\""}));
}

TEST(DittoTable, LongComponentsAndComponentsBeyondFifteenStandWritten) {
  std::string longPart(40, 'L');
  EXPECT_EQ(CompressAll({longPart + ".X", longPart + ".X"}),
            (std::vector<std::string>{longPart + ".X", longPart + ".\""}));
  // A component of exactly 31 characters is held whole and dittoed.
  std::string part31(31, 'M');
  EXPECT_EQ(CompressAll({part31, part31}), (std::vector<std::string>{part31, "\""}));

  std::string deep;
  for (int i = 0; i < 17; ++i) deep += (i ? "." : "") + std::string(1, char('a' + i));
  std::string expected;
  for (int i = 0; i < 17; ++i) expected += (i ? "." : "") + (i < 15 ? std::string("\"") : std::string(1, char('a' + i)));
  EXPECT_EQ(CompressAll({deep, deep})[1], expected);
}

TEST(DittoTable, ExpandReversesCompressOverASequenceOfNames) {
  std::vector<std::string> names = {
      "A.B.C.D", "A.B", "A.B.C.D", "PLANT.TANK[1]_LEVEL", "PLANT.TANK[2]_LEVEL", "",
      "A..B", "A.", std::string(40, 'Q') + "." + std::string(40, 'Q'),
      "a.b.c.d.e.f.g.h.i.j.k.l.m.n.o.p.q", "a.b.c.d.e.f.g.h.i.j.k.l.m.n.o.p.q", "a.b_c"};
  DittoTable w, r;
  w.ClearNameComponents();
  r.ClearNameComponents();
  for (const auto& n : names) EXPECT_EQ(r.Expand(w.DittoCompressName(n)), n);
}
