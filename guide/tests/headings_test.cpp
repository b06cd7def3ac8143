// Tests of the headings index: the tokenizer, the list, the jump and the search.
#include <gtest/gtest.h>

#include "guide/headings.h"
#include "platform/user_prompts.h"

using namespace krv::guide;
using krv::platform::ScriptedPrompts;

namespace {

// Memo text of CR LF lines as the editor loads them.
const std::string kSource =
    "{ PROCEDURE HIDDEN; }\n"
    "XPROC FLOW(VAROT Q:XVR;\n"
    "           VARIN H:XVR);\n"
    "begin\n"
    "  Q:=H\n"
    "end;\n"
    "procedure setup;\n"
    "begin end;\n"
    "function F2(A:REAL):REAL;\n"
    "begin F2:=A end;";

const std::string kList =
    "line = 2\n"
    "XPROC FLOW(VAROT Q:XVR;\n"
    "           VARIN H:XVR);\n"
    "line = 9\n"
    "function F2(A:REAL):";

constexpr StopChars kStops{'(', ',', ':', ')', ';'};

}  // namespace

TEST(Headings, ListOfTheFixture) {
  ScriptedPrompts prompts;
  EXPECT_EQ(BuildHeadingsList(kSource), kList);
  EXPECT_TRUE(prompts.messages.empty());
}

TEST(Headings, WhatIsListed) {
  ScriptedPrompts prompts;
  struct Case {
    const char* what;
    std::string source, list;
  } cases[] = {
      {"empty source", "", ""},
      {"heading on line 1, no parameters", "procedure Go;\nbegin end;", "line = 1\nprocedure Go;"},
      {"in a quoted string", "x:='procedure Q(X:REAL);';\nMPROC M(A:R);",
       "line = 2\nMPROC M(A:R);"},
      {"in a (* *) comment", "(* function G(Y:REAL):REAL; *)\nfunction H:REAL;",
       "line = 2\nfunction H:R"},
      {"a tab joins keyword and name", "procedure\tTabbed(A:R);", ""},
      {"standard procedures", "MPROC SYSTEM;\nPROCEDURE SETUP;\nprocedure timeset;\nprocedure "
                              "report;\nprocedure ParSet;\nprocedure userbpr;\nprocedure addset;",
       ""},
      {"parameter list not closed", "procedure Open(A:REAL;\nB:REAL", ""},
      {"heading at the very end", "xproc Last(A:R)", "line = 1\nxproc Last(A:R)"},
      {"nested parentheses", "procedure N(A:(X,Y));", "line = 1\nprocedure N(A:(X,Y));"},
      {"comment inside the list", "procedure C(A{:R}:S);", "line = 1\nprocedure C(A{:R}:S);"},
      {"two on a line", "procedure A; procedure B;", "line = 1\nprocedure A; \nline = 1\nprocedure B;"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(BuildHeadingsList(c.source), c.list);
  }
  EXPECT_TRUE(prompts.messages.empty());
}

TEST(Headings, Tokens) {
  ScriptedPrompts prompts;
  SourceScanner sc("  Alpha ; b^m c\n" + std::string(100, 'z') + ",x");
  SourceToken t;
  ASSERT_TRUE(NextSourceToken(sc, kStops, t));
  EXPECT_EQ(t.text, "ALPHA");
  EXPECT_EQ(t.stop, ';');
  EXPECT_EQ(t.start, 2u);
  ASSERT_TRUE(NextSourceToken(sc, kStops, t));
  EXPECT_EQ(t.text, "B\r");  // ^M is a control character
  EXPECT_EQ(t.stop, 'C');   // not a stop character: not consumed
  EXPECT_FALSE(t.firstStop);
  ASSERT_TRUE(NextSourceToken(sc, kStops, t));
  EXPECT_EQ(t.text, "C");
  ASSERT_TRUE(NextSourceToken(sc, kStops, t));
  EXPECT_EQ(t.text, std::string(kMaxSourceToken, 'Z'));  // a long word keeps its first 87
  EXPECT_EQ(t.line, 1);
  EXPECT_EQ(t.stop, ',');
  NextNonEmptySourceToken(sc, kStops, t);
  EXPECT_EQ(t.text, "X");
  EXPECT_TRUE(sc.Ended());
  EXPECT_FALSE(NextSourceToken(sc, kStops, t));
  EXPECT_TRUE(prompts.messages.empty());
}

TEST(Headings, LongQuotedPartIsReportedAndTheScanGoesOn) {
  ScriptedPrompts prompts;
  std::string source = "s:='" + std::string(100, 'q') + "';\nprocedure After(A:R);";
  std::string list = BuildHeadingsList(source);
  EXPECT_EQ(prompts.messages, std::vector<std::string>{"String too long"});
  // A quoted part that fits is kept as read.
  SourceScanner sc("'a b;(c' d");
  SourceToken t;
  NextSourceToken(sc, kStops, t);
  EXPECT_EQ(t.text, "'A B;(C'");
  EXPECT_EQ(t.stop, 'D');
}

TEST(Headings, JumpFromEveryLineOfAnEntry) {
  struct {
    const char* clicked;
    long long line;
  } cases[] = {
      {"line = 2", 2},
      {"XPROC FLOW", 2},
      {"           VARIN", 2},
      {"line = 9", 9},
      {"function F2", 9},
  };
  for (auto c : cases) {
    size_t at = kList.find(c.clicked);
    for (size_t caret : {at, at + 3}) {
      EXPECT_EQ(HeadingJumpLine(kList, caret), c.line) << c.clicked;
    }
  }
  EXPECT_EQ(HeadingJumpLine(kList, kList.size()), 9);
  EXPECT_EQ(HeadingJumpLine("", 0), std::nullopt);
  EXPECT_EQ(HeadingJumpLine("no entry\nhere", 10), std::nullopt);
  EXPECT_EQ(HeadingJumpLine("line = x", 0), std::nullopt);

  EXPECT_EQ(kSource.substr(LineStart(kSource, 2), 5), "XPROC");
  EXPECT_EQ(kSource.substr(LineStart(kSource, 9), 3), "fun");
  EXPECT_EQ(LineStart(kSource, 1), 0u);
  EXPECT_EQ(LineStart(kSource, 99), kSource.size());
}

TEST(Headings, SearchWrapsAndKeepsItsHitWhileTyping) {
  ScriptedPrompts prompts;
  size_t last = 1;
  const size_t xproc = kList.find("XPROC");
  // Typing x, xp, xpr: the hit stays where it is.
  for (const char* typed : {"x", "xp", "xpr", "xproc"}) EXPECT_EQ(SearchHeadings(kList, typed, last), xproc) << typed;
  // Searching again unchanged finds the same place.
  EXPECT_EQ(SearchHeadings(kList, "xproc", last), xproc);
  EXPECT_EQ(last, xproc + 1);
  // From the second entry, "line" wraps around past the end to the first.
  last = kList.find("function") + 1;
  EXPECT_EQ(SearchHeadings(kList, "LINE", last), 0u);
  EXPECT_TRUE(prompts.messages.empty());

  EXPECT_EQ(SearchHeadings(kList, "absent", last), std::nullopt);
  EXPECT_EQ(prompts.messages, std::vector<std::string>{"No find"});
  EXPECT_EQ(last, 1u);
  // Nothing to search: no message.
  EXPECT_EQ(SearchHeadings(kList, "", last), std::nullopt);
  EXPECT_EQ(SearchHeadings("ab", "abc", last), std::nullopt);
  EXPECT_EQ(prompts.messages.size(), 1u);
  // The last position is searched too, also when the last hit is 1.
  last = 1;
  EXPECT_EQ(SearchHeadings("abc", "c", last), 2u);
}
