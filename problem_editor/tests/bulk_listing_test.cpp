// The "Edit" and "Drop" menus' commands and the text listing.
#include <gtest/gtest.h>

#include <cfloat>

#include "platform/user_prompts.h"
#include "problem_editor/LDSAVE.h"
#include "problem_editor/bulk_edits.h"
#include "problem_editor/selection.h"
#include "problem_editor/tests/prb_fixture.h"
#include "problem_editor/text_listing.h"
#include "testing/temp_dir.h"

namespace krv::pe {
namespace {

using namespace krv::pe::testing;
using krv::testing::TempDir;

// The fixture with rows 0..10 displayed and marked.
class Bulk : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ParsePrb(FixturePrb(), false, buf));
    SelectionRequest req{"0", "10", "&"};
    ASSERT_TRUE(RunSelection(buf, req).accepted);
  }
  EditorBuffer buf;
};

TEST_F(Bulk, SetXInOverEveryCode) {
  // Records 0 (code 1), 1 (0), 2 (3), 3 (2), 4 (4), 5 (5), 6 (6).
  const double wantAfterMinusOne[] = {0, -1, 0, -1, -1, -1, -1};
  ASSERT_EQ(BulkSetValue(buf, -1.0, false), BulkResult::Applied);
  for (int i = 0; i <= 6; ++i) EXPECT_EQ(buf.records[size_t(i)].XIn(), wantAfterMinusOne[i]) << i;
  // Unmarked rows are left alone.
  MarkAllRows(buf, false);
  buf.marks[5] = 1;
  ASSERT_EQ(BulkSetValue(buf, 2.5, false), BulkResult::Applied);
  EXPECT_EQ(buf.records[5].XIn(), 2.5);
  EXPECT_EQ(buf.records[3].XIn(), -1.0);
}

TEST_F(Bulk, SetRange) {
  struct Case {
    double value;
    BulkResult result;
    float want;  // Range of record 3 afterwards (4 before)
  } cases[] = {
      {0.0, BulkResult::Ignored, 4.0f},
      {-1.0, BulkResult::Ignored, 4.0f},
      {4.5, BulkResult::Applied, 4.5f},
      // Beyond a single: refused rather than stored as infinity.
      {1e39, BulkResult::Refused, 4.5f},
      {double(FLT_MAX), BulkResult::Applied, FLT_MAX},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(BulkSetValue(buf, c.value, true), c.result);
    EXPECT_EQ(buf.records[3].Range(), c.want);
  }
  // Every code takes a Range, the display's duplicates as often as they stand.
  EXPECT_EQ(buf.records[6].Range(), FLT_MAX);
}

TEST_F(Bulk, ConstraintOnAndOff) {
  const int before[] = {1, 0, 3, 2, 4, 5, 6, 6};
  for (int i = 0; i <= 7; ++i) ASSERT_EQ(buf.records[size_t(i)].TypeCode, before[i]);
  BulkSetConstraint(buf, true);
  const int on[] = {1, 1, 3, 3, 4, 5, 6, 6};
  for (int i = 0; i <= 7; ++i) EXPECT_EQ(buf.records[size_t(i)].TypeCode, on[i]) << i;
  BulkSetConstraint(buf, false);
  const int off[] = {0, 0, 2, 2, 4, 5, 6, 6};
  for (int i = 0; i <= 7; ++i) EXPECT_EQ(buf.records[size_t(i)].TypeCode, off[i]) << i;
}

TEST_F(Bulk, DropUnmarked) {
  struct Case {
    std::vector<int> marked;
    std::vector<int> wantRecords;
  } cases[] = {
      {{}, {}},
      {{1, 4, 10}, {1, 4, 10}},
      {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
  };
  for (const auto& c : cases) {
    EditorBuffer b = buf;
    MarkAllRows(b, false);
    for (int d : c.marked) b.marks[size_t(d)] = 1;
    DropUnmarkedRows(b);
    ASSERT_EQ(b.lastDisplayed + 1, int(c.wantRecords.size()));
    for (size_t d = 0; d < c.wantRecords.size(); ++d) {
      EXPECT_EQ(b.display[d], c.wantRecords[d]);
      EXPECT_EQ(b.marks[d], 1);
    }
  }
  MarkAllRows(buf, false);
  EXPECT_EQ(buf.marks[10], 0);
  MarkAllRows(buf, true);
  EXPECT_EQ(buf.marks[10], 1);
  EXPECT_EQ(buf.marks[11], 0);  // only the displayed rows
}

TEST(TextListing, LayoutByCode) {
  EditorBuffer buf;
  ASSERT_TRUE(ParsePrb(ListingFixturePrb(), false, buf));
  const int rows[] = {0, 1, 2, 4, 5, 10, 0, 10000};
  buf.lastDisplayed = -1;
  for (int i : rows) buf.display[size_t(++buf.lastDisplayed)] = int16_t(i);
  const std::string blank14(14, ' ');
  const std::string want =
      "   0 IO  _X.FLOW.IN\r\n"
      "P    1.5000000E+00   3.5000000E+00   2.000E+00   2.50E-01     1.000E+00\r\n"
      "   1 IO  _X.FLOW.OUT\r\n"
      "    -3.7003730E-01  -5.0000000E-01   1.000E+04   2.36E-16    -1.300E-05\r\n"
      "   2 IC  _X.TANK.LEVEL\r\n"
      "P    0.0000000E+00  " + blank14 + "   0.000E+00   0.00E+00     \r\n"
      "   4 CO  _X.PUMP_SPEED\r\n"
      "     1.0000000E+00   9.0000000E+00   0.000E+00   0.00E+00     \r\n"
      "   5 I*  _X.PUMP_RATE\r\n"
      "     5.0000000E+00\r\n"
      // A negative Range still gives an error value in the listing.
      "  10 IO  _X.A.B.C.D\r\n"
      "     1.0000000E+00   4.0000000E+00  -1.000E+00   0.00E+00    -3.000E+00\r\n"
      "   0 IO  _X.FLOW.IN\r\n"
      "P    1.5000000E+00   3.5000000E+00   2.000E+00   2.50E-01     1.000E+00\r\n"
      "10000 IO  _X." + LongName() + "\r\n"
      "P    1.5000000E+00   2.0000000E+00   5.000E-01   0.00E+00     1.000E+00\r\n";
  EXPECT_EQ(TextListingBytes(buf), want);
  buf.lastDisplayed = -1;
  EXPECT_EQ(TextListingBytes(buf), "");
}

TEST(TextListing, SaveReplacesWholeOrReports) {
  TempDir dir;
  krv::platform::ScriptedPrompts prompts;
  EditorBuffer buf;
  ASSERT_TRUE(ParsePrb(FixturePrb(), false, buf));
  buf.lastDisplayed = 0;
  dir.Write("L.TXT", "an older listing that is longer than the new one");
  ASSERT_TRUE(SaveTextListing(buf, dir.File("L.TXT")));
  EXPECT_EQ(dir.Read("L.TXT"), TextListingBytes(buf));
  // A directory that does not exist: reported with the file's name.
  EXPECT_FALSE(SaveTextListing(buf, dir.File("none/L.TXT")));
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_NE(prompts.messages[0].find(dir.File("none/L.TXT")), std::string::npos);
}

TEST(TextListing, ReadRecords) {
  struct Case {
    const char* name;
    std::string text;
    TxtRead result;
    std::string wantName;
    char letter;
    double xin, xout;
    float range;
  } cases[] = {
      {"io_line", "   1 IO  _X.a.b\r\nP  2.5 3.5 4.5 1 2\r\n", TxtRead::Record, "_X.A.B", 'P', 2.5, 3.5,
       4.5f},
      {"ic_second_is_range", "   2 IC  _X.T\r\n   2.5 3.5 4.5\r\n", TxtRead::Record, "_X.T", ' ', 2.5,
       0, 3.5f},
      {"xin_only", "   5 I*  _X.R\r\n    7\r\n", TxtRead::Record, "_X.R", ' ', 7, 0, 0},
      {"two_tokens_range", "x _X.R\r\np 7 8\r\n", TxtRead::Record, "_X.R", 'p', 7, 0, 8},
      {"bad_tokens_keep_fields", "x _X.R\r\nP abc 1,5 1e39\r\n", TxtRead::Record, "_X.R", 'P', 0, 0,
       0},
      {"empty_value_line", "x _X.R\r\n\r\n", TxtRead::Record, "_X.R", 'U', 0, 0, 0},
      {"mask", " &.level\nP 1 2\n", TxtRead::Record, "&.LEVEL", 'P', 1, 0, 2},
      {"star_mask", "   x *.B\rP 1\r", TxtRead::Record, "*.B", 'P', 1, 0, 0},
      {"no_name", "   1 IO  A.B\r\nP 1\r\n", TxtRead::Bad, "", 'U', 0, 0, 0},
      {"last_line_alone", "   1 IO  _X.A\r\n", TxtRead::End, "", 'U', 0, 0, 0},
      {"empty", "", TxtRead::End, "", 'U', 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TextLines in(c.text);
    TxtMergeRecord rec;
    ASSERT_EQ(ReadTxtMergeRecord(in, rec), c.result);
    if (c.result != TxtRead::Record) continue;
    EXPECT_EQ(rec.name, c.wantName);
    EXPECT_EQ(rec.block.Constraint(), c.letter);
    EXPECT_EQ(rec.block.XIn(), c.xin);
    EXPECT_EQ(rec.block.XOut(), c.xout);
    EXPECT_EQ(rec.block.Range(), c.range);
    EXPECT_EQ(rec.block.Fourth(), 0.0f);
    EXPECT_EQ(ReadTxtMergeRecord(in, rec), TxtRead::End);
  }
  // A name is "_X." and at most 77 characters; a mask at most 77.
  std::string longer = LongName() + "XYZ";
  const std::string text = "10000 IO  _X." + longer + "\r\n 1\r\n   x &" + longer + "\r\n 1\r\n";
  TextLines in(text);
  TxtMergeRecord rec;
  ASSERT_EQ(ReadTxtMergeRecord(in, rec), TxtRead::Record);
  EXPECT_EQ(rec.name, "_X." + LongName());
  ASSERT_EQ(ReadTxtMergeRecord(in, rec), TxtRead::Record);
  EXPECT_EQ(rec.name, "&" + LongName().substr(0, 76));
}

}  // namespace
}  // namespace krv::pe
