// Tests of the token lists, the copy loops and the 80-column block writer.
#include <gtest/gtest.h>

#include "preprocessor/name_store.h"
#include "preprocessor/output_writer.h"
#include "preprocessor/pass_context.h"
#include "preprocessor/tests/scanner_fixture.h"
#include "testing/temp_dir.h"

namespace krv::pp::test {
namespace {

struct WriterFixture : ScannerFixture {
  explicit WriterFixture(const std::string& src) : ScannerFixture(src) {
    out.Create(dir.File("OUT.TMP"));
  }
  std::string Written() {
    out.CloseOutput();
    return dir.Read("OUT.TMP");
  }
  // Copies the whole source through the writer.
  std::string CopyAll() {
    CopyUntilWord(c, "NEVERSEEN");
    return Written();
  }
  krv::testing::TempDir dir;
  OutputWriter out{text};
  PassContext c{text, errors, scanner, out, list};
};

const std::string kLine = "AAAAAAAAA BBBBBBBBB CCCCCCCCC DDDDDDDDD EEEEEEEEE FFFFFFFFF GGGGGGGGG HHHHHHHHH";

TEST(Writer, TwoLinesOf79CharactersAsTheColumnRuleGivesThem) {
  ASSERT_EQ(kLine.size(), 79u);
  WriterFixture f(kLine + "\r\n" + kLine);
  // After the source's own break the writer counts CR LF as two columns,
  // so the last word of the second line goes to a line of its own.
  EXPECT_EQ(f.CopyAll(), kLine + "\r\n" + kLine.substr(0, 69) + "\r\n" + " HHHHHHHHH");
}

TEST(Writer, BreaksBeforeATokenPastColumn80ButNotAfterADotOrAtASourceBreak) {
  std::string q(75, 'Q');
  struct Case {
    std::string src, out;
  } cases[] = {
      {q + " ABCDEF", q + "\r\n ABCDEF"},
      {q + " R.ABCDEF", q + " R.ABCDEF"},
      {q + "\r\nABCDEF", q + "\r\nABCDEF"},
      // The second line's writer column runs two ahead of the visible one.
      {q + " A" + "\r\n" + q + " BCD", q + " A" + "\r\n" + q + "\r\n BCD"},
  };
  for (const Case& c : cases) {
    WriterFixture f(c.src);
    EXPECT_EQ(f.CopyAll(), c.out) << c.src;
  }
}

TEST(Writer, NeverSplitsTokensThatWouldJoinIntoAnotherLexeme) {
  struct Case {
    std::string a, b;
    bool joins;
  } cases[] = {{"<", ">", true}, {"1", "E5", true}, {"''", "''", true},
               {"X", ";", false}, {"1", ")", false}};
  for (const Case& c : cases) {
    std::string prefix(80 - c.a.size(), 'Q');
    prefix.back() = ' ';
    WriterFixture f(prefix + c.a + c.b);
    std::string expect = prefix + c.a + (c.joins ? "" : "\r\n") + c.b;
    EXPECT_EQ(f.CopyAll(), expect) << c.a << c.b;
  }
}

TEST(Writer, CommasAsBlanksOnlyInTheLeadingText) {
  WriterFixture f("A, B 'x,y'");
  for (int i = 0; i < 3; ++i) {
    f.scanner.ScanToken(f.list, true);
    f.out.EmitTokenCommasAsBlanks(*f.list.current);
  }
  EXPECT_EQ(f.Written(), "A  B 'x,y'");
}

TEST(Writer, FullBlockGoesOutWhenItFillsAndCloseAddsNothing) {
  std::string src;
  for (int i = 0; i < 102; ++i) src += "ABC\r\n";
  WriterFixture f(src + "Z;");
  ASSERT_EQ(src.size() + 2, 512u);
  for (;;) {
    f.scanner.ScanToken(f.list, false);
    if (f.scanner.EndOfFile()) break;
    f.out.EmitToken(*f.list.current);
  }
  EXPECT_EQ(f.out.Fill(), 0);
  EXPECT_EQ(f.Written().size(), 512u);
}

TEST(Writer, CopyUntilWordStopsBeforeTheWordAndKeepsItAlone) {
  WriterFixture f("A {c}\r\n  B:=1; xproc Q");
  CopyUntilWord(f.c, "XPROC");
  ASSERT_TRUE(f.list.current);
  EXPECT_EQ(f.list.head, f.list.current);
  EXPECT_EQ(f.list.tail, f.list.current);
  EXPECT_TRUE(f.c.CurrentTokenIs("XPROC"));
  EXPECT_EQ(f.Written(), "A {c}\r\n  B:=1;");
}

TEST(Writer, CopyUntilSegmentEndStopsAtTheMark) {
  ScannerFixture s("A B\x02" "C", true);
  krv::testing::TempDir dir;
  OutputWriter out(s.text);
  out.Create(dir.File("O"));
  PassContext c{s.text, s.errors, s.scanner, out, s.list};
  CopyUntilSegmentEnd(c);
  EXPECT_FALSE(s.scanner.SegmentEnd());
  out.CloseOutput();
  EXPECT_EQ(dir.Read("O"), "A B");
}

TEST(TokenList, ReplaceKeepsLineBreakAndCommaButDropsCommentAndIndent) {
  WriterFixture f("X,{note}\r\n   Y Z");
  for (int i = 0; i < 3; ++i) f.scanner.ScanToken(f.list, true);
  f.list.current = f.list.head->next;  // Y
  ReplaceToken(f.text, f.list, "NEWY");
  EXPECT_EQ(f.c.NodeTokenText(f.list.current), "NEWY");
  f.out.EmitList(f.list);
  EXPECT_EQ(f.Written(), "X,\r\nNEWY Z");
}

TEST(TokenList, DeleteMovesCurrentAndKeepsEndsConsistent) {
  WriterFixture f("A B C");
  for (int i = 0; i < 3; ++i) f.scanner.ScanToken(f.list, true);
  f.list.DeleteToken();  // C, the tail: Current moves back to B
  EXPECT_EQ(f.c.NodeTokenText(f.list.current), "B");
  EXPECT_EQ(f.list.tail, f.list.current);
  f.list.current = f.list.head;
  f.list.DeleteToken();  // A, the head: Current moves on to B
  EXPECT_EQ(f.list.head, f.list.current);
  f.list.DeleteToken();  // the only node
  EXPECT_TRUE(f.list.Empty());
  EXPECT_EQ(f.list.tail, nullptr);
  InsertTokenAtHead(f.text, f.list, " ", "NEW");
  EXPECT_EQ(f.list.head, f.list.tail);
  InsertTokenAfter(f.text, f.list, " ", "AFTER");
  EXPECT_EQ(f.list.tail, f.list.current);
  f.out.EmitList(f.list);
  EXPECT_EQ(f.Written(), " NEW AFTER");
}

TEST(TokenList, CopyTokenListSharesTheTextReferences) {
  WriterFixture f("P Q");
  f.scanner.ScanToken(f.list, true);
  f.scanner.ScanToken(f.list, true);
  TokenList copy;
  InsertTokenAtHead(f.text, copy, "", "HEAD");
  CopyTokenList(copy, f.list);
  EXPECT_EQ(f.c.NodeTokenText(copy.current), "P");
  EXPECT_EQ(copy.current->tokenStart, f.list.head->tokenStart);
  f.out.EmitList(copy);
  EXPECT_EQ(f.Written(), "HEADP Q");
}

TEST(NameStore, UnderscoreNamesAreReportedAfterTheName) {
  WriterFixture f("");
  RejectUnderscoreName(f.c, "MY_TYPE");
  RejectUnderscoreName(f.c, "MYTYPE");
  EXPECT_EQ(f.LogAfterStart(), (std::vector<std::string>{"MY_TYPE", "1 '_' NOT ALLOWED IN NAME"}));
}

TEST(NameStore, KeepsNamesAndStopsTheRunWhenFull) {
  WriterFixture f("");
  NameRef a = StoreLiteralName(f.c, "Alpha");
  EXPECT_EQ(a.start, kNameStoreStart);
  EXPECT_TRUE(NameEquals(f.c, "Alpha", a));
  EXPECT_FALSE(NameEquals(f.c, "ALPHA", a));
  LogNameRef(f.c, a);
  LogNameRef(f.c, a);
  f.log.LogLine("");
  EXPECT_EQ(f.log.Lines().back(), "Alpha Alpha ");
  std::string chunk(80, 'n');
  EXPECT_THROW(
      {
        for (int i = 0; i < 1000; ++i) StoreLiteralName(f.c, chunk);
      },
      EMyExc);
  EXPECT_LE(f.text.NamePtr(), kNameStoreEnd);
  auto lines = f.LogAfterStart();
  EXPECT_EQ(lines[lines.size() - 2], "1 NAME STORE FULL");
  EXPECT_EQ(lines.back(), "1  FATAL SYNTAX ERR");
}

}  // namespace
}  // namespace krv::pp::test
