// Tests of the QTL token scanner.
#include <gtest/gtest.h>

#include "preprocessor/tests/scanner_fixture.h"
#include "testing/case_name.h"

namespace krv::pp::test {
namespace {

struct TokenCase {
  const char* name;
  const char* source;
  std::vector<Tok> tokens;
};

class ScannerTokens : public ::testing::TestWithParam<TokenCase> {};

TEST_P(ScannerTokens, CutsTheSourceAsSpecified) {
  ScannerFixture f(GetParam().source);
  EXPECT_EQ(f.All(), GetParam().tokens);
  EXPECT_EQ(f.errors.Count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ScannerTokens,
    ::testing::Values(
        TokenCase{"Dotted", "A.B", {{"A", 1, ' '}, {"B", 1, '.'}}},
        TokenCase{"RealWithExponent", "x:=1.5E-3;", {{"x", 1, ' '}, {":=", 0, ' '}, {"1.5E-3", 2, ' '}, {";", 0, ' '}}},
        TokenCase{"IntegerThenName", "1E5", {{"1", 2, ' '}, {"E5", 1, ' '}}},
        TokenCase{"Subrange", "a[1..10]",
                  {{"a", 1, ' '}, {"[", 0, ' '}, {"1", 2, ' '}, {"..", 0, ' '}, {"10", 2, ' '},
                   {"]", 0, ' '}}},
        TokenCase{"QuotedStrings", "'It''s' ''", {{"'It''s'", 2, ' '}, {"''", 0, ' '}}},
        TokenCase{"Comparisons", "a<>b <= >=", {{"a", 1, ' '}, {"<", 0, ' '}, {">", 0, ' '}, {"b", 1, ' '},
                                 {"<=", 0, ' '}, {">=", 0, ' '}}},
        TokenCase{"HexNumbers", "$1F+$ab", {{"$1F", 2, ' '}, {"+", 0, ' '}, {"$ab", 2, ' '}}},
        TokenCase{"CallWithCommas", "F(X, Y)", {{"F", 1, ' '}, {"(", 0, ' '}, {"X", 1, ' '}, {"Y", 1, ','},
                              {")", 0, ' '}}},
        TokenCase{"CommentsSkipped", "A {c} (* d *) B", {{"A", 1, ' '}, {"B", 1, ' '}}},
        TokenCase{"OddCharacters", "_a@1 .5 p^", {{"_a@1", 1, ' '}, {".5", 2, ' '}, {"p", 1, ' '}, {"^", 0, ' '}}},
        TokenCase{"QualifiedChain", "R.F1.G", {{"R", 1, ' '}, {"F1", 1, '.'}, {"G", 1, '.'}}}),
    krv::testing::CaseName{});

TEST(Scanner, LeadingTextHoldsBlanksCommentsAndLineBreaks) {
  ScannerFixture f("A ,{x}\r\n B");
  f.scanner.ScanToken(f.list, true);
  f.scanner.ScanToken(f.list, true);
  EXPECT_EQ(f.LeadOf(*f.list.current), " ,{x}\r\n ");
  EXPECT_EQ(f.list.current->separator, ',');
  EXPECT_EQ(f.scanner.LineNumber(), 2);
}

TEST(Scanner, CountsLinesAtCrAndAtBareLf) {
  ScannerFixture f("A\r\nB\nC\r\n\r\nD");
  std::vector<int> lines;
  for (int i = 0; i < 4; ++i) {
    f.scanner.ScanToken(f.list, true);
    lines.push_back(f.scanner.LineNumber());
  }
  EXPECT_EQ(lines, (std::vector<int>{1, 2, 3, 5}));
}

TEST(Scanner, UnexpectedCharacterLogsTheThreeNoteLines) {
  ScannerFixture f("A\r\n#B");
  auto toks = f.All();
  EXPECT_EQ(toks, (std::vector<Tok>{{"A", 1, ' '}, {"#", 0, ' '}, {"B", 1, ' '}}));
  EXPECT_EQ(f.LogAfterStart(),
            (std::vector<std::string>{" NOTE SYNTAX LN=2", "OLDCHR=# 35", "NXTCHR=B66"}));
  EXPECT_EQ(f.errors.Count(), 1u);
}

TEST(Scanner, LoneDotIsANote) {
  ScannerFixture f("A . B");
  EXPECT_EQ(f.All(), (std::vector<Tok>{{"A", 1, ' '}, {".", 0, ' '}, {"B", 1, ' '}}));
  EXPECT_EQ(f.LogAfterStart(),
            (std::vector<std::string>{" NOTE SYNTAX LN=1", "OLDCHR=. 46", "NXTCHR= 32"}));
}

TEST(Scanner, NotesAreCountedWithoutTheLimitAndNeverWrap) {
  ScannerFixture f(std::string(300, '#'));
  EXPECT_EQ(f.All().size(), 300u);
  EXPECT_EQ(f.errors.Count(), 300u);
}

TEST(Scanner, RawByte2IsANoteInTheModelAndASegmentMarkInTheIntermediateFile) {
  {
    ScannerFixture f("A\x02" "B");
    EXPECT_EQ(f.All().size(), 3u);
    EXPECT_EQ(f.errors.Count(), 1u);
  }
  ScannerFixture f("A\x02" "B", true);
  f.scanner.ScanToken(f.list, true);
  f.scanner.ScanToken(f.list, true);
  EXPECT_TRUE(f.scanner.SegmentEnd());
  f.scanner.ScanToken(f.list, true);
  EXPECT_FALSE(f.scanner.SegmentEnd());
  EXPECT_EQ(f.errors.Count(), 0u);
}

TEST(Scanner, EndOfFileIsStickyAtTheFirstByte26) {
  ScannerFixture f("A\x1a" "B C");
  EXPECT_EQ(f.All(), (std::vector<Tok>{{"A", 1, ' '}}));
  for (int i = 0; i < 3; ++i) {
    f.scanner.ScanToken(f.list, true);
    EXPECT_TRUE(f.scanner.EndOfFile());
    EXPECT_EQ(f.list.current->length, 1u);
    EXPECT_EQ(f.text.At(f.list.current->tokenStart), kEofChar);
  }
}

TEST(Scanner, EndOfFileMarkFollowsASourceOf512Bytes) {
  std::string src(511, ' ');
  src += 'Z';
  ScannerFixture f(src);
  EXPECT_EQ(f.All(), (std::vector<Tok>{{"Z", 1, ' '}}));
  EXPECT_EQ(f.list.current->tokenStart, kSourceBase + 512);
}

TEST(Scanner, UnterminatedCommentOrStringAtTheEndIsAnErrorNotAHang) {
  struct Case {
    const char* src;
    const char* message;
  } cases[] = {{"A { open", "1 COMMENT NOT CLOSED AT END OF FILE"},
               {"A (* open *", "1 COMMENT NOT CLOSED AT END OF FILE"},
               {"A 'open", "1 BAD STRING CONST"}};
  for (const Case& c : cases) {
    ScannerFixture f(c.src);
    f.All(50);
    EXPECT_TRUE(f.scanner.EndOfFile()) << c.src;
    EXPECT_EQ(f.LogAfterStart(), (std::vector<std::string>{c.message})) << c.src;
  }
}

TEST(Scanner, StringBrokenByALineEndsBeforeTheBreak) {
  ScannerFixture f("X:='ab\r\nY");
  auto toks = f.All();
  ASSERT_EQ(toks.size(), 4u);
  EXPECT_EQ(toks[2], (Tok{"'ab", 2, ' '}));
  EXPECT_EQ(toks[3], (Tok{"Y", 1, ' '}));
  EXPECT_EQ(f.LogAfterStart(), (std::vector<std::string>{"1 BAD STRING CONST"}));
}

TEST(Scanner, TokensLongerThan255CharactersStayWhole) {
  std::string name(300, 'Q');
  ScannerFixture f(name + " 'x" + std::string(400, 'y') + "'");
  auto toks = f.All();
  ASSERT_EQ(toks.size(), 2u);
  EXPECT_EQ(toks[0].text, name);
  EXPECT_EQ(toks[1].text.size(), 403u);
}

TEST(Scanner, BracesAndParenStarHandTheSameDirectiveText) {
  for (const char* src : {"A {%V- } B", "A (*%V- *) B", "A {%v-} B"}) {
    ScannerFixture f(src);
    ASSERT_TRUE(f.directives.VSwitch());
    EXPECT_EQ(f.All().size(), 2u) << src;
    EXPECT_FALSE(f.directives.VSwitch()) << src;
  }
}

TEST(Scanner, LongDirectiveLosesOnlyItsClosingBrace) {
  // 80 characters of directive text: its last one, the 9, must survive.
  ScannerFixture f("{%D" + std::string(76, ' ') + "K=9}{%S K}");
  EXPECT_EQ(f.All(), (std::vector<Tok>{{"9", 2, ' '}}));
  EXPECT_EQ(f.errors.Count(), 0u);
}

TEST(Scanner, SubstitutionReplacesTheDirectiveWithTheConstant) {
  ScannerFixture f("{%D PI=3.14}{%D NAME = Foo Bar}X:= {c}\r\n {%S PI};Y:={%S name}");
  auto toks = f.All();
  ASSERT_EQ(toks.size(), 7u);
  EXPECT_EQ(toks[2], (Tok{"3.14", 2, ' '}));
  EXPECT_EQ(toks[6], (Tok{"Foo Bar", 1, ' '}));
  // X's successor carries the compacted leading text: the break stays.
  f.list.current = f.list.head->next->next;
  EXPECT_EQ(f.LeadOf(*f.list.current), "\r\n");
}

}  // namespace
}  // namespace krv::pp::test
