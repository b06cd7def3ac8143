// Value entry: trimming and strict numbers.
#include <gtest/gtest.h>

#include "problem_editor/value_entry.h"

namespace krv::pe {
namespace {

TEST(ValueEntry, TrimBlanksCutsThenTrims) {
  EXPECT_EQ(TrimBlanks("  2.5  "), "2.5");
  EXPECT_EQ(TrimBlanks("     "), "");
  // Only the first 31 characters count.
  EXPECT_EQ(TrimBlanks(std::string(30, ' ') + "12345"), "1");
}

TEST(ValueEntry, RealTable) {
  struct Case {
    const char* text;
    bool ok;
    double value;
  } cases[] = {
      {"2.5", true, 2.5},         {"-3", true, -3},         {"+4", true, 4},
      {"1e3", true, 1000},        {"1.5E-2", true, 0.015},  {".5", true, 0.5},
      {"5.", true, 5},            {"-0", true, -0.0},       {"1e-400", true, 0},
      {"0.000e999999999999", true, 0},
      {"1e400", false, 0},        {"1e99999999999", false, 0},
      {"2,5", false, 0},          {"0x10", false, 0},       {"inf", false, 0},
      {"nan", false, 0},          {"", false, 0},           {"-", false, 0},
      {".", false, 0},            {"1e", false, 0},         {"1e+", false, 0},
      {" 1", false, 0},           {"1 ", false, 0},         {"1.2.3", false, 0},
      {"--1", false, 0},          {"e5", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto v = ParseRealValue(c.text);
    ASSERT_EQ(v.has_value(), c.ok);
    if (c.ok) {
      EXPECT_DOUBLE_EQ(*v, c.value);
    }
  }
}

TEST(ValueEntry, SingleRangeRefusesWhatASingleCannotHold) {
  EXPECT_TRUE(ParseSingleValue("3.4e38").has_value());
  EXPECT_FALSE(ParseSingleValue("3.5e38").has_value());
  EXPECT_FALSE(ParseSingleValue("-1e39").has_value());
}

TEST(ValueEntry, IndexWithinBoundsNeverWraps) {
  EXPECT_EQ(ParseIndexValue("0", 0, 10), 0);
  EXPECT_EQ(ParseIndexValue("10", 0, 10), 10);
  EXPECT_FALSE(ParseIndexValue("11", 0, 10));
  EXPECT_FALSE(ParseIndexValue("-1", 0, 10));
  EXPECT_FALSE(ParseIndexValue("65541", 0, 32767));
  EXPECT_FALSE(ParseIndexValue("99999999999999999999", 0, 10));
  EXPECT_FALSE(ParseIndexValue("1.0", 0, 10));
}

}  // namespace
}  // namespace krv::pe
