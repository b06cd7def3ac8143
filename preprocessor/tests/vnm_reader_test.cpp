// The variable map's reader: its sections, and what the writer wrote for
// every example model reads back whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/text.h"
#include "preprocessor/vnm_reader.h"

namespace krv::pp {
namespace {

TEST(VnmReader, Sections) {
  struct Case {
    const char* what;
    std::string bytes;
    size_t variables, incidences;
    bool terminated, errorMarked;
  } cases[] = {
      {"whole map", "L\r\n   0 IO  _X.A\r\n   1 I*  _X.B\r\n     #\r\n    0    1 0 0\r\n\x1a", 2, 1,
       true, false},
      {"bare LF line ends", "L\n   0 IO  _X.A\n     #\n    0    0 0 0\n", 1, 1, true, false},
      {"byte 26 ends the text", "L\r\n   0 IO  _X.A\r\n\x1a     #\r\n", 1, 0, false, false},
      {"no terminator", "L\r\n   0 IO  _X.A\r\n", 1, 0, false, false},
      {"no variables", "L\r\n     #\r\n\x1a", 0, 0, true, false},
      {"marked after the incidences", "L\r\n     #\r\n    0    0 0 0\r\n***ERROR***\r\n\x1a", 0, 2,
       true, true},
      // The mark counts only where pass 2 writes it, after the terminator.
      {"a name that looks like the mark", "L\r\n   0 IO  _X.***ERROR***\r\n     #\r\n", 1, 0, true,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    VariableMapLines m = ReadVariableMapLines(c.bytes);
    EXPECT_FALSE(m.empty);
    EXPECT_EQ(m.label, "L");
    EXPECT_EQ(m.variableLines.size(), c.variables);
    EXPECT_EQ(m.incidenceLines.size(), c.incidences);
    EXPECT_EQ(m.terminated, c.terminated);
    EXPECT_EQ(m.errorMarked, c.errorMarked);
  }
  EXPECT_TRUE(ReadVariableMapLines("").empty);
  EXPECT_TRUE(ReadVariableMapLines("\x1a" "L\r\n").empty);
}

TEST(VnmReader, IncidenceLines) {
  struct Case {
    const char* line;
    bool ok;
    MapIncidence want;
  } cases[] = {
      {"   12    7 0 1", true, {12, 7, 0, 1}},
      {"10000 9999 1 0", true, {10000, 9999, 1, 0}},
      {"\t1\t2 0 2 and more", true, {1, 2, 0, 2}},
      {"    1    2 0", false, {}},
      {"    1    x 0 0", false, {}},
      {"", false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    auto got = ParseIncidenceLine(c.line);
    ASSERT_EQ(got.has_value(), c.ok);
    if (!got) continue;
    EXPECT_EQ(got->output, c.want.output);
    EXPECT_EQ(got->input, c.want.input);
    EXPECT_EQ(got->fix, c.want.fix);
    EXPECT_EQ(got->mode, c.want.mode);
  }
  EXPECT_TRUE(IsBlankLine(" \t "));
  EXPECT_FALSE(IsBlankLine("  0"));
}

// The maps the writer wrote for the examples: every variable line carries
// its own number, every incidence line reads and names known variables.
TEST(VnmReader, ReadsWhatTheWriterWrote) {
  const auto dir = std::filesystem::path(KRV_SOURCE_DIR) / "examples/golden";
  int maps = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    if (e.path().extension() != ".VNM") continue;
    SCOPED_TRACE(e.path().filename().string());
    std::ifstream f(e.path(), std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    VariableMapLines m = ReadVariableMapLines(s.str());
    ASSERT_TRUE(m.terminated);
    EXPECT_FALSE(m.errorMarked);
    ASSERT_FALSE(m.variableLines.empty());
    for (size_t i = 0; i < m.variableLines.size(); ++i)
      EXPECT_EQ(m.variableLines[i].substr(0, 4), platform::PadLeft(platform::IntToString(long(i)), 4));
    for (const auto& line : m.incidenceLines) {
      auto inc = ParseIncidenceLine(line);
      ASSERT_TRUE(inc.has_value()) << line;
      EXPECT_LT(inc->output, static_cast<long long>(m.variableLines.size()));
      EXPECT_LT(inc->input, static_cast<long long>(m.variableLines.size()));
    }
    ++maps;
  }
  EXPECT_GE(maps, 5);
}

}  // namespace
}  // namespace krv::pp
