// Reading the variable map: line fields, subscripts and kind numbers.
#include <gtest/gtest.h>

#include "viewer/vnm_map.h"

namespace krv::view {
namespace {

TEST(ParseVNMLineTest, SplitsCodeNameAndRoleLetters) {
  struct Case {
    const char* line;
    const char* code;
    const char* name;
    char r1, r2;
  } cases[] = {
      {"   0 IO  _X.A.B_C[2]", "   0 IO", "_X.A.B[2]_C", 'I', 'O'},
      {"   5 IO  _X.PLANT.TANK[3].LEVEL", "   5 IO", "_X.PLANT.TANK[3].LEVEL", 'I', 'O'},
      {"  12 *C  _X.A.B[1]", "  12 *C", "_X.A.B[1]", '*', 'C'},
      {"9999 C*  _X.Q_R", "9999 C*", "_X.Q_R", 'C', '*'},
      // Five-digit numbers shift the line; fields still come out whole.
      {"10000 IO  _X.A.B_C[2]", "10000 IO", "_X.A.B[2]_C", 'I', 'O'},
      {"10999 I*  _X.Z", "10999 I*", "_X.Z", 'I', '*'},
      {"     #", "     #", "", '#', ' '},
      {"", "", "", ' ', ' '},
      {"   7 I", "   7 I", "", 'I', ' '},
  };
  for (const Case& c : cases) {
    VNMEntry e = ParseVNMLine(c.line);
    EXPECT_EQ(e.code, c.code) << c.line;
    EXPECT_EQ(e.name, c.name) << c.line;
    EXPECT_EQ(e.role1, c.r1) << c.line;
    EXPECT_EQ(e.role2, c.r2) << c.line;
  }
}

TEST(ParseVNMLineTest, UsesTheFirst87CharactersAndAtMost79OfTheName) {
  std::string line = "   1 IO  _X." + std::string(100, 'N');
  VNMEntry e = ParseVNMLine(line);
  EXPECT_EQ(e.name.size(), 78u);  // columns 10..87
  EXPECT_EQ(e.name.substr(0, 3), "_X.");
  std::string wide = "10001 IO  _X." + std::string(100, 'N');
  EXPECT_EQ(ParseVNMLine(wide).name, e.name);
}

TEST(KindNumberTest, RoleLettersGiveTheFilterKinds) {
  struct Case {
    char r1, r2;
    int kind;
  } cases[] = {{'I', 'O', 0}, {'I', 'C', 1}, {'I', '*', 3}, {'C', 'O', 2}, {'C', 'C', 2},
               {'C', '*', 2}, {'*', 'O', 4}, {'*', '*', 4}, {' ', ' ', 4}};
  for (const Case& c : cases) EXPECT_EQ(KindNumber(c.r1, c.r2), c.kind) << c.r1 << c.r2;
}

TEST(ReadVNMEntriesTest, SkipsTheLabelAndReadsMissingLinesAsEmpty) {
  std::string text = ">label\r\n   0 IO  _X.A\n   1 CO  _X.B\r\n\x1a   2 IO  _X.C\r\n";
  std::vector<VNMEntry> entries;
  std::vector<uint8_t> kinds;
  ReadVNMEntries(text, 3, entries, kinds);
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].name, "_X.A");
  EXPECT_EQ(entries[1].name, "_X.B");
  EXPECT_EQ(kinds[1], 2);
  // Byte 26 ends the map: variables 2 and 3 have no line.
  EXPECT_EQ(entries[2].code, "");
  EXPECT_EQ(entries[3].name, "");
  EXPECT_EQ(kinds[3], 4);
}

}  // namespace
}  // namespace krv::view
