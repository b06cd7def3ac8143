// Name masks: parsing, syntax errors and matching.
#include <gtest/gtest.h>

#include "platform/user_prompts.h"
#include "problem_editor/name_mask.h"

namespace krv::pe {
namespace {

std::string Segments(const NameMask& m) {
  std::string s = m.anchored ? "A:" : "U:";
  for (const auto& seg : m.segments) s += (seg.star ? "*" : "") + std::string("[") + seg.text + "]";
  return s;
}

TEST(NameMask, ParseShapes) {
  struct Case {
    const char* text;
    const char* segments;
  } cases[] = {
      {"_X.A.B&", "U:[X][A][B][&]"},
      {"_X.A.&", "U:[X][A][&]"},
      {"_X.&.B", "U:[X][&][B]"},
      {"&.IN", "A:[&][IN]"},
      {"&", "A:[&]"},
      {"  _x.flow_in", "U:[X][FLOW][IN]"},
      {"*.&", "U:*[*][&]"},
      {"*_AB", "U:*[*][AB]"},
      {"_X.*IN", "U:[X]*[*IN]"},
      {"_X.A.B&junk", "U:[X][A][B][&]"},
      {"_X.A B", "U:[X][A]"},
      {"_", "U:"},
      {"   ", "U:"},
      {"", "U:"},
      {"_X.ABCDEFGHIJKLMNOPQRSTUVWXYZ0123", "U:[X][ABCDEFGHIJKLMNOPQRSTUVWXYZ0]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    NameMask m;
    EXPECT_TRUE(ParseNameMask(c.text, m, false));
    EXPECT_EQ(Segments(m), c.segments);
  }
}

TEST(NameMask, SyntaxErrorsReportAndKeepEarlierSegments) {
  struct Case {
    const char* text;
    const char* kept;
  } cases[] = {
      {"X.A", "U:"},         // must begin with &, _ or *
      {"*", "U:*[*]"},       // a leading * needs a separator
      {"*A", "U:*[*]"},
      {"_X..A", "U:[X]"},    // empty segment
      {"_X.A.", "U:[X][A]"}, // separator followed by the end
      {"_.A", "U:"},
      {"_X.*A*", "U:[X]"},   // a second * in a starred segment
      {"&_A", "A:[&]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    platform::ScriptedPrompts prompts;
    NameMask m;
    EXPECT_FALSE(ParseNameMask(c.text, m));
    EXPECT_EQ(Segments(m), c.kept);
    EXPECT_EQ(prompts.messages, std::vector<std::string>{"Name syntax err"});
  }
}

TEST(NameMask, SegmentMatching) {
  struct Case {
    const char* mask;
    bool star;
    const char* name;
    bool match;
  } cases[] = {
      {"*IN", true, "FLOWIN", true},  {"*IN", true, "IN", true},
      {"*IN", true, "N", false},      {"*IN", true, "INX", false},
      {"*", true, "", true},          {"*?N", true, "XN", true},
      {"AB*", false, "AB", true},     {"AB*", false, "ABXYZ", true},
      {"AB*", false, "A", false},     {"A*", false, "A", true},  // "*" also past the end
      {"A*C", false, "AXC", true},    {"A*C", false, "AXXC", false},
      {"AB?", false, "AB", true},     {"AB?", false, "ABC", true},
      {"AB?", false, "ABCD", false},  {"AB", false, "ABC", false},
      {"AB", false, "A", false},      {"AB", false, "AC", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.mask) + " / " + c.name);
    EXPECT_EQ(MatchMaskSegment({c.mask, c.star}, c.name), c.match);
  }
}

TEST(NameMask, NameMatching) {
  struct Case {
    const char* mask;
    const char* name;
    bool match;
  } cases[] = {
      {"&", "FLOW.IN_A", true},
      {"_X.&", "FLOW", true},
      {"", "FLOW.IN", true},  // empty mask: every variable
      {"   ", "A", true},
      {"*.&", "A.B.C", true},
      {"&.IN", "FLOW.IN", true},
      {"&.IN", "FLOW.IN.B", false},
      {"&.IN", "IN", true},
      {"&.X.IN", "IN", true},  // the name's first segment is X
      {"&.Y.IN", "IN", false},
      {"_X.FLOW.&", "FLOW.A.B", true},
      {"_X.FLOW.&", "FLOWS.A", false},
      {"_X.FLOW", "FLOW", true},
      {"_X_FLOW", "FLOW", true},
      {"_X.FLOW", "FLOW.A", false},
      {"*.FLOW.&", "FLOW.A", true},
      {"*.FLOW.&", "A.FLOW", false},
      {"_X.A_B", "A.B", true},
      {"_X.A.B", "A_B", true},
      {"&.T?", "A.T", true},
      {"&.T?", "A.TX", true},
      {"&.T?", "A.TXY", false},
      {"&.T?", "A.XT", false},
      {"_x.flow.in", "FLOW.IN", true},
      {"_X.FLOW.IN", "flow.in", true},
      {"_X.A[1]", "A[1]", true},
      {"_X.?.&", "AB.C", false},
      {"_X.?.&", "A.C", true},
      // Components compare on their first 27 characters only.
      {"_X.ABCDEFGHIJKLMNOPQRSTUVWXYZ0", "ABCDEFGHIJKLMNOPQRSTUVWXYZ0EXTRA", true},
      {"_X.ABCDEFGHIJKLMNOPQRSTUVWXYZ0.&", "ABCDEFGHIJKLMNOPQRSTUVWXYZ0ZZ.Q", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.mask) + " / " + c.name);
    NameMask m;
    ASSERT_TRUE(SetNameMask(c.mask, m, false));
    EXPECT_EQ(MatchVarName(m, c.name), c.match);
  }
}

TEST(NameMask, BrokenNameIsFlagged) {
  NameMask m;
  ASSERT_TRUE(SetNameMask("&", m, false));
  bool bad = false;
  EXPECT_TRUE(MatchVarName(m, "A..B", &bad));
  EXPECT_TRUE(bad);
  MatchVarName(m, "A.B", &bad);
  EXPECT_FALSE(bad);
}

}  // namespace
}  // namespace krv::pe
