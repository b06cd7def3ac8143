// Tests of the problem-file reader and writer.
#include <gtest/gtest.h>

#include <string>

#include "sequencer/prb_format.h"
#include "sequencer/tests/prb_cases.h"
#include "testing/temp_dir.h"

using namespace krv::seq;

static std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int c : b) s += char(c);
  return s;
}

static const std::string kEmptyBlock = "U" + std::string(24, '\0');

// Two variables, one integration pair, one equation.
static PrbProblem SmallProblem() {
  PrbProblem p;
  p.header = MakeHeaderLine("LBL");
  p.variables.push_back({"IO", "A.B", PRBValueBlock::Unconstrained(), ""});
  p.variables.push_back({"I*", "A.C", PRBValueBlock::Unconstrained(), ""});
  p.ordering.pairs = {{0, 1}};
  p.ordering.rowNames = {0};
  p.ordering.columnNames = {0};
  p.ordering.nonzeros = {{1, 1}};
  return p;
}

static const std::string kSmallBytes = "*LBL#0000\r\n" + Bytes({1, 0}) + "IOA.B\r\n" + kEmptyBlock +
                                       "I*\".C\r\n" + kEmptyBlock + "#\r\n" +
                                       Bytes({1, 0, 0, 0, 1, 0}) + Bytes({1, 0, 0, 0, 0, 0}) +
                                       Bytes({1, 0, 0, 0, 1, 0, 1, 0});

static std::string Write(const PrbProblem& p, const PrbWriteOptions& o = {}) {
  std::string out, error;
  EXPECT_TRUE(WritePrb(p, out, error, o)) << error;
  return out;
}

TEST(PrbWriter, WritesTheLayoutByteForByte) {
  EXPECT_EQ(Write(SmallProblem()), kSmallBytes);

  PrbProblem empty;
  empty.header = MakeHeaderLine("");
  EXPECT_EQ(Write(empty), "*#0000\r\n" + Bytes({0xFF, 0xFF}) + "#\r\n" + std::string(8, '\0'));
}

TEST(PrbWriter, SplitsLargeCountsIntoLowAndHighWords) {
  PrbProblem p;
  p.header = MakeHeaderLine("Z");
  p.variables.resize(1, {"IO", "X", PRBValueBlock::Unconstrained(), ""});
  p.ordering.rowNames = {0};
  p.ordering.columnNames = {0};
  p.ordering.nonzeros.assign(70000, {1, 1});
  std::string out = Write(p);
  size_t at = out.size() - 70000 * 4 - 4;
  EXPECT_EQ(out.substr(at, 4), Bytes({0x70, 0x11, 0x01, 0x00}));  // 70000 = 0x00011170
  PrbProblem back;
  ASSERT_TRUE(ReadPrb(out, back).ok);
  EXPECT_EQ(back.ordering.nonzeros.size(), 70000u);
}

TEST(PrbWriter, RefusesWhatTheFormatCannotHold) {
  struct Case {
    const char* what;
    void (*spoil)(PrbProblem&);
  } cases[] = {
      {"one kind letter", [](PrbProblem& p) { p.variables[0].kind = "I"; }},
      {"line break in a name", [](PrbProblem& p) { p.variables[1].name = "A\r\nB"; }},
      {"line break in the header", [](PrbProblem& p) { p.header += "\r"; }},
      {"kind read back as the end", [](PrbProblem& p) { p.variables[0].kind = "#O"; }},
      {"row name past the variables", [](PrbProblem& p) { p.ordering.rowNames = {2}; }},
      {"unequal name lists", [](PrbProblem& p) { p.ordering.columnNames.push_back(1); }},
      {"nonzero outside", [](PrbProblem& p) { p.ordering.nonzeros = {{1, 2}}; }},
      {"nonzero at 0", [](PrbProblem& p) { p.ordering.nonzeros = {{0, 1}}; }},
      {"pair past the variables", [](PrbProblem& p) { p.ordering.pairs = {{0, 9}}; }},
      {"too many records",
       [](PrbProblem& p) { p.variables.resize(65536, p.variables[0]); }},
  };
  for (const auto& c : cases) {
    PrbProblem p = SmallProblem();
    c.spoil(p);
    std::string out, error;
    EXPECT_FALSE(WritePrb(p, out, error)) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
  }
}

TEST(PrbReader, ReadsWhatTheWriterWrote) {
  PrbProblem p = SmallProblem();
  p.variables[0].block.SetConstraint('P');
  p.variables[0].block.SetXIn(1.5);
  p.variables[0].block.SetRange(2.0f);
  p.variables[0].block.SetFourth(-3.0f);
  p.variables[0].block.SetXOut(1e300);
  p.header = MakeHeaderLine(std::string(200, 'h'));
  EXPECT_EQ(p.header.size(), 1 + 127 + 5u);
  EXPECT_EQ(LabelOfHeader(p.header), std::string(127, 'h'));

  std::string bytes = Write(p);
  PrbProblem back;
  PrbReadResult r = ReadPrb(bytes, back);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.layout, PrbLayout::V4);
  EXPECT_EQ(back.variables[1].storedLine, "I*\".C");
  for (auto& v : back.variables) v.storedLine.clear();
  EXPECT_EQ(back, p);
  const auto& b = back.variables[0].block;
  EXPECT_TRUE(b.IsPositive());
  EXPECT_EQ(b.XIn(), 1.5);
  EXPECT_EQ(b.Range(), 2.0f);
  EXPECT_EQ(b.Fourth(), -3.0f);
  EXPECT_EQ(b.XOut(), 1e300);
  // Little-endian fields at their offsets: 1.5 is 0x3FF8000000000000.
  EXPECT_EQ(b.bytes[8], 0x3F);
  EXPECT_EQ(b.bytes[7], 0xF8);
  EXPECT_EQ(b.bytes[12], 0x40);  // 2.0f = 0x40000000
}

TEST(PrbReader, EmptyCountAndLowerCaseConstraint) {
  PrbProblem back;
  ASSERT_TRUE(ReadPrb("*#0000\r\n" + Bytes({0xFF, 0xFF}) + "#\r\n" + std::string(8, '\0'), back).ok);
  EXPECT_TRUE(back.variables.empty());
  PRBValueBlock b;
  b.SetConstraint('p');
  EXPECT_TRUE(b.IsPositive());
  b.SetConstraint('U');
  EXPECT_FALSE(b.IsPositive());
}

TEST(PrbReader, RefusesEveryTruncationAndDamage) {
  PrbProblem back;
  for (size_t n = 0; n < kSmallBytes.size(); ++n) {
    PrbReadResult r = ReadPrb(kSmallBytes.substr(0, n), back);
    EXPECT_FALSE(r.ok) << "cut at " << n;
    EXPECT_FALSE(r.error.empty()) << "cut at " << n;
  }
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"no star", "LBL#0000" + kSmallBytes.substr(9)},
      {"stray byte", kSmallBytes + "x"},
      {"bare LF header", "*LBL#0000\n" + kSmallBytes.substr(11)},
      {"count too large", kSmallBytes.substr(0, 11) + Bytes({0xFE, 0xFF}) + kSmallBytes.substr(13)},
      {"count too small", kSmallBytes.substr(0, 11) + Bytes({0, 0}) + kSmallBytes.substr(13)},
      {"nonzero outside", kSmallBytes.substr(0, kSmallBytes.size() - 2) + Bytes({2, 0})},
      {"row name outside",
       kSmallBytes.substr(0, kSmallBytes.size() - 14) + Bytes({7, 0}) +
           kSmallBytes.substr(kSmallBytes.size() - 12)},
      {"huge nonzero count",
       kSmallBytes.substr(0, kSmallBytes.size() - 8) + Bytes({0xFF, 0xFF, 0xFF, 0xFF})},
  };
  for (const auto& c : cases) {
    PrbReadResult r = ReadPrb(c.bytes, back);
    EXPECT_FALSE(r.ok) << c.what;
    EXPECT_FALSE(r.error.empty()) << c.what;
  }
}

TEST(PrbReader, KeepsTheRecordsReadBeforeTheDamage) {
  std::string cut = kSmallBytes.substr(0, kSmallBytes.find("I*"));
  PrbProblem back;
  PrbReadResult r = ReadPrb(cut + "#\r\n" + std::string(60, '\0'), back);
  EXPECT_FALSE(r.ok);
  ASSERT_EQ(back.variables.size(), 1u);
  EXPECT_EQ(back.variables[0].name, "A.B");
}

TEST(PrbReader, CopyUnreadKeepsTheOrderingAsStored) {
  std::string names = kSmallBytes.substr(0, kSmallBytes.find("#\r\n", 11) + 3);
  PrbReadOptions o;
  o.ordering = PrbOrderingRule::CopyUnread;
  struct Case {
    const char* what;
    std::string after;     // the bytes after the "#" line
    size_t kept;           // how many of them are the section
    bool complete;
  } cases[] = {
      {"whole section", kSmallBytes.substr(names.size()), kSmallBytes.size() - names.size(), true},
      {"stray bytes after it", kSmallBytes.substr(names.size()) + "xy",
       kSmallBytes.size() - names.size(), true},
      {"cut short", "anything", 8, false},
      {"nothing", "", 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PrbProblem back;
    PrbReadResult r = ReadPrb(names + c.after, back, o);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.orderingOffset, names.size());
    EXPECT_EQ(r.orderingComplete, c.complete);
    EXPECT_EQ(back.variables.size(), 2u);
    ASSERT_TRUE(back.unreadOrdering.has_value());
    EXPECT_EQ(*back.unreadOrdering, c.after.substr(0, c.kept));
    // Written back, a whole section is copied as it stands; a cut one is
    // refused rather than written short.
    std::string out, error;
    EXPECT_EQ(WritePrb(back, out, error), c.complete) << error;
    if (c.complete) {
      EXPECT_EQ(out, kSmallBytes);
    }
  }
}

// The shared table: what the sequencer's full check says of each file.
class PrbCaseTest : public ::testing::TestWithParam<krv::prbcases::PrbCase> {};

TEST_P(PrbCaseTest, SequistVerdict) {
  const auto& c = GetParam();
  PrbProblem back;
  PrbReadResult r = ReadPrb(c.bytes, back);
  EXPECT_EQ(r.ok, c.sequist == krv::prbcases::Verdict::Accept) << r.error;
  if (!r.ok) {
    EXPECT_FALSE(r.error.empty());
  }
  if (!r.ok) return;
  // What it accepts it writes back unchanged.
  std::string out, error;
  PrbWriteOptions keep;
  keep.keepStoredLines = true;
  ASSERT_TRUE(WritePrb(back, out, error, keep)) << error;
  EXPECT_EQ(out, c.bytes);
}

INSTANTIATE_TEST_SUITE_P(Table, PrbCaseTest, ::testing::ValuesIn(krv::prbcases::PrbCases()),
                         [](const auto& info) { return info.param.name; });

TEST(PrbReader, OlderLayoutOnlyWhenAsked) {
  std::string old = "OLD LABEL\r\nIOA.B\r\n" + kEmptyBlock + "**\".C\r\n" + kEmptyBlock + "#\r\n";
  PrbProblem back;
  EXPECT_FALSE(ReadPrb(old, back).ok);
  PrbReadOptions o;
  o.acceptOlderLayout = true;
  PrbReadResult r = ReadPrb(old, back, o);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.layout, PrbLayout::Older);
  ASSERT_EQ(back.variables.size(), 2u);
  EXPECT_EQ(back.variables[1].name, "A.C");
  EXPECT_EQ(back.variables[1].kind, "**");
  // Ending after a complete record without its "#" line is damage.
  EXPECT_FALSE(ReadPrb(old.substr(0, old.size() - 3), back, o).ok);
}

TEST(PrbWriter, KeepStoredLinesCopiesNamesAsTheSourceHadThem) {
  // A source whose second name is written out in full although it could be
  // dittoed; copying keeps it so, and the table still serves later dittos.
  std::string src = "*L#0000\r\n" + Bytes({2, 0}) + "IOA.B\r\n" + kEmptyBlock + "IOA.C\r\n" +
                    kEmptyBlock + "IO\".D\r\n" + kEmptyBlock + "#\r\n" + std::string(8, '\0');
  PrbProblem p;
  PrbReadResult r = ReadPrb(src, p);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(p.variables[2].name, "A.D");
  p.variables[1].block.SetXIn(4.0);
  PrbWriteOptions keep;
  keep.keepStoredLines = true;
  std::string expected = src;
  expected.replace(src.find("IOA.C") + 7, 25,
                   reinterpret_cast<const char*>(p.variables[1].block.bytes.data()), 25);
  EXPECT_EQ(Write(p, keep), expected);
  // A record without a stored line is compressed against the same table.
  p.variables[2].storedLine.clear();
  p.variables[2].name = "A.E";
  PrbProblem back;
  ASSERT_TRUE(ReadPrb(Write(p, keep), back).ok);
  EXPECT_EQ(back.variables[2].storedLine, "IO\".E");
  EXPECT_EQ(back.variables[2].name, "A.E");
}

// A file larger than the format holds is refused before it is read; one
// at the limit is read and judged by its bytes.
TEST(PrbFile, LoadRefusesAFileLargerThanAProblemFileCanBeUnread) {
  krv::testing::TempDir d;
  d.WriteSparse("BIG.PRB", kMaxPrbFileBytes + 1);
  PrbProblem p;
  const uint64_t before = krv::testing::PeakResidentBytes();
  PrbReadResult r = LoadPrbFile(d.File("BIG.PRB"), p);
  EXPECT_LT(krv::testing::PeakResidentBytes() - before, uint64_t(16) << 20);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, d.File("BIG.PRB") +
                         " is larger than a problem file can be (67108865 bytes; at most 67108864)");
  EXPECT_EQ(r.error, PrbTooLargeMessage(d.File("BIG.PRB")));
  d.WriteSparse("EDGE.PRB", kMaxPrbFileBytes);
  r = LoadPrbFile(d.File("EDGE.PRB"), p);
  EXPECT_FALSE(r.ok);  // zeros are no problem file
  EXPECT_EQ(r.error.find("is larger than"), std::string::npos) << r.error;
}

TEST(PrbFile, LoadReportsAnUnreadableFile) {
  krv::testing::TempDir d;
  PrbProblem p;
  PrbReadResult r = LoadPrbFile(d.File("NONE.PRB"), p);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("NONE.PRB"), std::string::npos);
  d.Write("x.prb", kSmallBytes);
  EXPECT_TRUE(LoadPrbFile(d.File("X.PRB"), p).ok);
}
