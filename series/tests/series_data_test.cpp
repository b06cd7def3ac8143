// Series in memory: values in blocks of 31, the slot operations, the open
// list, stamps and names, and the message helper.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/user_prompts.h"
#include "series/series_store.h"

namespace krv::series {
namespace {

struct Fixture {
  platform::ScriptedPrompts prompts;
  SeriesStore store;
  ColumnSlot& Col(int c) { return store.ColumnSlots[size_t(c)]; }
  // A series in column c holding value i at each index i of `indices`.
  ColumnSlot& Make(int c, std::initializer_list<int> indices) {
    store.NewSeries(Col(c), false, "");
    for (int i : indices) store.PutVal(Col(c), int16_t(i), i);
    return Col(c);
  }
};

TEST(PutVal, GrowsAtEitherEndAndKeepsTheRange) {
  Fixture f;
  ColumnSlot& s = f.Make(0, {10});
  EXPECT_EQ(s.Header().base, 10);
  EXPECT_EQ(s.Header().firstOffset, 0);
  EXPECT_EQ(s.Header().highest, 10);
  f.store.PutVal(s, 9, 9);  // one below the first block: a whole block in front
  EXPECT_EQ(s.Header().base, -21);
  EXPECT_EQ(s.Header().firstOffset, 30);
  EXPECT_EQ(s.BlockCount(), 2);
  EXPECT_EQ(f.store.GetVal(s, 10), 10);
  EXPECT_EQ(f.store.GetVal(s, 9), 9);

  ColumnSlot& t = f.Make(1, {0});
  f.store.PutVal(t, 100, 1);  // three blocks appended
  EXPECT_EQ(t.BlockCount(), 4);
  for (int i = 1; i < 100; ++i) EXPECT_TRUE(IsMissing(f.store.GetVal(t, int16_t(i))));
  EXPECT_FALSE(f.store.FailureFlag);
  EXPECT_TRUE(f.prompts.messages.empty());  // gaps inside the range are no error

  // Far below: several blocks at once, the offset counted from the new base.
  ColumnSlot& u = f.Make(2, {40});
  f.store.PutVal(u, 5, 5);
  EXPECT_EQ(u.Header().base, 40 - 62);
  EXPECT_EQ(u.Header().firstOffset, 27);
  EXPECT_EQ(f.store.GetVal(u, 40), 40);
  int16_t lo, hi;
  f.store.SeriesIndexRange(u, lo, hi);
  EXPECT_EQ(lo, 5);
  EXPECT_EQ(hi, 40);
}

TEST(PutVal, StoresWhatASingleCanHold) {
  struct Case {
    double in;
    float stored;
    bool missing;
  } cases[] = {
      {1e-39, 0, false},
      {-1e-39, 0, false},
      {1.5, 1.5f, false},
      {-3.0e38, -3.0e38f, false},
      {std::nan(""), 0, true},
      {std::numeric_limits<double>::infinity(), 0, true},
      {-1e300, 0, true},
      {3.5e38, 0, true},
  };
  for (const Case& c : cases) {
    Fixture f;
    ColumnSlot& s = f.Make(0, {});
    f.store.PutVal(s, 0, c.in);
    float v = f.store.GetVal(s, 0);
    if (c.missing)
      EXPECT_TRUE(IsMissing(v)) << c.in;
    else
      EXPECT_EQ(v, c.stored) << c.in;
  }
}

TEST(PutVal, ModifiedOnlyWhenSomethingChanged) {
  Fixture f;
  ColumnSlot& s = f.Make(0, {});
  EXPECT_FALSE(s.modified);
  f.store.PutVal(s, 3, 1e-39);
  EXPECT_TRUE(s.modified);
  s.modified = false;
  f.store.PutVal(s, 3, 1e-39);  // the same 0 again
  EXPECT_FALSE(s.modified);
  f.store.PutVal(s, 3, 2);
  EXPECT_TRUE(s.modified);
  s.modified = false;
  f.store.PutVal(s, 40, 0);  // a new block
  EXPECT_TRUE(s.modified);
}

TEST(PutVal, RefusesABaseBelowTheIndexRange) {
  Fixture f;
  ColumnSlot& s = f.Make(0, {32767});
  f.store.PutVal(s, -32768, 1);  // the new first block would start below -32768
  EXPECT_TRUE(f.store.FailureFlag);
  EXPECT_EQ(s.Header().base, 32767);
  EXPECT_EQ(s.BlockCount(), 1);
  ColumnSlot& t = f.Make(1, {-32768 + 31});
  f.store.PutVal(t, -32768, 1);  // the new block starts at -32768 exactly
  EXPECT_FALSE(f.store.FailureFlag);
  EXPECT_EQ(f.store.GetVal(t, -32768), 1);
}

TEST(GetVal, OutsideTheRangeWarnsOnceWhileMessagesAreOn) {
  Fixture f;
  ColumnSlot& s = f.Make(0, {0, 1});
  f.store.OpenSeriesInSlot(f.Col(1), ".P.S", "");
  for (int i : {0, 1}) f.store.PutVal(f.Col(1), int16_t(i), i);
  EXPECT_TRUE(IsMissing(f.store.GetVal(f.Col(1), 2)));
  EXPECT_TRUE(f.store.FailureFlag);
  ASSERT_EQ(f.prompts.messages.size(), 1u);
  EXPECT_EQ(f.prompts.messages[0], "Warning, GETVAL beyond range for .P.S");
  f.store.MessagesOn = false;
  EXPECT_TRUE(IsMissing(f.store.GetVal(s, -1)));
  EXPECT_TRUE(f.store.FailureFlag);
  EXPECT_EQ(f.prompts.messages.size(), 1u);
  f.store.GetVal(s, 1);
  EXPECT_FALSE(f.store.FailureFlag);

  ColumnSlot& empty = f.Make(2, {});
  EXPECT_TRUE(IsMissing(f.store.GetVal(empty, 0)));
  EXPECT_TRUE(f.store.FailureFlag);
  int16_t lo, hi;
  f.store.SeriesIndexRange(empty, lo, hi);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, -1);
  EXPECT_FALSE(f.store.FailureFlag);
  f.store.SeriesIndexRange(f.Col(3), lo, hi);  // not open
  EXPECT_TRUE(f.store.FailureFlag);
}

TEST(LocateSeriesValue, GivesBlockAndCellInsideTheRange) {
  Fixture f;
  ColumnSlot& s = f.Make(0, {5, 70});
  int block, cell;
  f.store.LocateSeriesValue(s, 70, block, cell);
  EXPECT_FALSE(f.store.FailureFlag);
  EXPECT_EQ(block, 2);
  EXPECT_EQ(cell, 3);
  f.store.LocateSeriesValue(s, 71, block, cell);
  EXPECT_TRUE(f.store.FailureFlag);
  ASSERT_EQ(f.prompts.messages.size(), 1u);
  EXPECT_EQ(f.prompts.messages[0], "GETVPT beyond rnge***noname***");
}

TEST(Slots, CopyAndMoveKeepTheListAndXLinks) {
  Fixture f;
  ColumnSlot& x = f.Make(0, {1, 2});
  ColumnSlot& y = f.Make(1, {1, 2, 40});
  y.xSlot = &x;
  y.Descriptor().path = ".Y";
  y.Header().stamp = DateStamp{2026, 1, 2, 3, 4};
  y.Descriptor().headRecord = 7;

  f.store.CopySeries(f.Col(2), y);
  ColumnSlot& c = f.Col(2);
  EXPECT_EQ(c.Descriptor().path, kNoName);
  EXPECT_EQ(c.Descriptor().headRecord, -1);
  EXPECT_EQ(c.Header().stamp, DateStamp());
  EXPECT_EQ(c.xSlot, nullptr);
  EXPECT_TRUE(c.modified);
  EXPECT_TRUE(c.notSaved);
  EXPECT_EQ(f.store.GetVal(c, 40), 40);
  // Copying onto an open series keeps its path.
  f.store.OpenSeriesInSlot(f.Col(3), ".KEEP", "");
  f.store.CopySeries(f.Col(3), y);
  EXPECT_EQ(f.Col(3).Descriptor().path, ".KEEP");
  EXPECT_EQ(f.store.GetVal(f.Col(3), 2), 2);

  // Moving the X series carries the link to its new slot.
  f.store.MoveSeries(f.Col(4), x);
  EXPECT_FALSE(x.IsOpen());
  EXPECT_EQ(y.xSlot, &f.Col(4));
  EXPECT_FALSE(f.store.SelectOpenSeries(x));
  EXPECT_TRUE(f.store.SelectOpenSeries(f.Col(4)));
  // Freeing it unlinks every series that used it.
  f.store.FreeSeries(f.Col(4));
  EXPECT_EQ(y.xSlot, nullptr);

  // From a free slot: failure, nothing changes.
  f.store.CopySeries(f.Col(5), f.Col(6));
  EXPECT_TRUE(f.store.FailureFlag);
  f.store.MoveSeries(f.Col(5), f.Col(6));
  EXPECT_TRUE(f.store.FailureFlag);
  EXPECT_FALSE(f.Col(5).IsOpen());
  EXPECT_EQ(f.store.OpenSeriesList().size(), 3u);
}

TEST(Slots, CopyOrMoveOntoItselfChangesNothing) {
  Fixture f;
  ColumnSlot& s = f.Make(0, {3, 4});
  s.modified = false;
  f.store.CopySeries(s, s);
  EXPECT_FALSE(f.store.FailureFlag);
  f.store.MoveSeries(s, s);
  EXPECT_FALSE(f.store.FailureFlag);
  ASSERT_TRUE(s.IsOpen());
  EXPECT_FALSE(s.modified);
  EXPECT_EQ(f.store.GetVal(s, 4), 4);
  EXPECT_EQ(f.store.OpenSeriesList().size(), 1u);
}

TEST(Slots, ASlotDeclaredElsewhereLeavesTheListWhenItGoesAway) {
  Fixture f;
  f.Make(0, {1});
  {
    ColumnSlot dialogSlot;
    f.store.NewSeries(dialogSlot, false, "");
    f.Col(0).xSlot = &dialogSlot;
    EXPECT_EQ(f.store.OpenSeriesList().size(), 2u);
  }
  EXPECT_EQ(f.store.OpenSeriesList().size(), 1u);
  EXPECT_EQ(f.Col(0).xSlot, nullptr);
}

TEST(DeleteEndValue, AsksAndReleasesEmptiedBlocks) {
  Fixture f;
  ColumnSlot& s = f.Make(0, {0, 31, 62});  // each in cell 0 of blocks 0, 1, 2
  f.prompts.answers = {platform::Answer::Yes};
  EXPECT_TRUE(f.store.DeleteEndValue(s, 0));
  EXPECT_EQ(f.prompts.questions.back(), "Data value deletion---Are you sure?");
  EXPECT_EQ(s.Header().firstOffset, 1);
  EXPECT_TRUE(IsMissing(s.Cells()[0]));
  // Not confirmed: nothing happens.
  EXPECT_FALSE(f.store.DeleteEndValue(s, 62));
  EXPECT_EQ(s.Header().highest, 62);
  // Deleting 62 (cell 0 of block 2) releases that block.
  f.prompts.answers = {platform::Answer::Yes};
  EXPECT_TRUE(f.store.DeleteEndValue(s, 62));
  EXPECT_EQ(s.Header().highest, 61);
  EXPECT_EQ(s.BlockCount(), 2);
  // An index that is neither end: no question.
  size_t asked = f.prompts.questions.size();
  EXPECT_FALSE(f.store.DeleteEndValue(s, 31));
  EXPECT_EQ(f.prompts.questions.size(), asked);
}

TEST(DeleteEndValue, LowestInCellThirtyDropsTheFirstBlock) {
  Fixture f;
  ColumnSlot& s = f.Make(0, {10});
  f.store.PutVal(s, 9, 9);  // base -21, offset 30
  f.prompts.answers = {platform::Answer::Yes};
  EXPECT_TRUE(f.store.DeleteEndValue(s, 9));
  EXPECT_EQ(s.Header().base, 10);
  EXPECT_EQ(s.Header().firstOffset, 0);
  EXPECT_EQ(s.BlockCount(), 1);
  // Two values, delete the last: one left, and it is never deleted this way.
  f.store.PutVal(s, 11, 11);
  f.prompts.answers = {platform::Answer::Yes, platform::Answer::Yes};
  EXPECT_TRUE(f.store.DeleteEndValue(s, 11));
  EXPECT_FALSE(f.store.DeleteEndValue(s, 10));
  EXPECT_EQ(f.store.GetVal(s, 10), 10);
}

TEST(Names, TrimAndCompare) {
  struct Case {
    const char* in;
    const char* out;
  } trims[] = {{"  ab cd", "ab"}, {"x", "x"}, {"   ", ""}, {"", ""}, {".P.S1  junk", ".P.S1"}};
  for (const Case& c : trims) {
    std::string s = c.in;
    SeriesStore::TrimToFirstWord(s);
    EXPECT_EQ(s, c.out) << c.in;
  }
  std::string longer(100, 'a');
  SeriesStore::TrimToFirstWord(longer);
  EXPECT_EQ(longer.size(), 87u);
  EXPECT_TRUE(SeriesStore::SameNameNoCase(".p.s1", ".P.S1"));
  EXPECT_FALSE(SeriesStore::SameNameNoCase(".P.S1", ".P.S2"));
  // Only the first 87 characters count.
  EXPECT_TRUE(SeriesStore::SameNameNoCase(std::string(87, 'a') + "x", std::string(87, 'A') + "y"));
}

TEST(Messages, CutTo87AndSilencedWhenOff) {
  Fixture f;
  f.store.ReportError(std::string(100, 'm'));
  ASSERT_EQ(f.prompts.messages.size(), 1u);
  EXPECT_EQ(f.prompts.messages[0], std::string(87, 'm'));
  f.store.MessagesOn = false;
  f.store.ReportError("hidden");
  f.store.FailureFlag = true;
  EXPECT_TRUE(f.store.CheckDSFAttachedGuide());  // still fails, without a word
  EXPECT_EQ(f.prompts.messages.size(), 1u);
  f.store.ShowMessageStr("always");
  EXPECT_EQ(f.prompts.messages.back(), "always");
}

TEST(DateStamp, UnpacksNowWithoutSeconds) {
  SeriesStore store;
  std::tm tm{};
  tm.tm_year = 2026 - 1900;
  tm.tm_mon = 11;
  tm.tm_mday = 10;
  tm.tm_hour = 14;
  tm.tm_min = 35;
  tm.tm_sec = 59;
  tm.tm_isdst = -1;
  std::time_t t = std::mktime(&tm);
  store.Now = [t] { return t; };
  EXPECT_EQ(store.GetDateStamp(), (DateStamp{2026, 12, 10, 14, 35}));
}

TEST(SeriesUnitInit, GivesTheStartValues) {
  Fixture f;
  f.Make(0, {1});
  f.store.MessagesOn = false;
  f.store.RowUseHigh = 9;
  f.store.FailureFlag = true;
  f.store.SeriesUnitInit();
  EXPECT_TRUE(f.store.OpenSeriesList().empty());
  EXPECT_FALSE(f.Col(0).IsOpen());
  EXPECT_TRUE(f.store.MessagesOn);
  EXPECT_FALSE(f.store.FailureFlag);
  EXPECT_EQ(f.store.RowUseLow, 0);
  EXPECT_EQ(f.store.RowUseHigh, 400);
  EXPECT_EQ(f.store.HighestColumn, 509);
  EXPECT_DOUBLE_EQ(f.store.TinyThreshold, 1.0 / double(MissingValue));
  EXPECT_NEAR(f.store.TinyThreshold, 2.94e-39, 0.01e-39);
  EXPECT_TRUE(f.store.AttachedDSFPath.empty());
}

}  // namespace
}  // namespace krv::series

namespace krv::series {
namespace {

// PutValues leaves a series exactly as PutVal value after value would:
// header, blocks, cells and the modified mark.
TEST(PutValues, SameAsPutValOneByOne) {
  struct Case {
    const char* name;
    std::vector<int> before;  // indices already holding their own value
    int first;
    std::vector<double> values;
  } cases[] = {
      {"IntoAnEmptySeries", {}, 10, {1, 2, 3}},
      {"InsideTheRangeUnchanged", {0, 1, 2, 3}, 1, {1, 2}},
      {"InsideTheRangeChanged", {0, 1, 2, 3}, 1, {5, 2}},
      {"GrowingAtTheFront", {40}, -30, std::vector<double>(75, 1.5)},
      {"GrowingAtTheEnd", {0}, 20, std::vector<double>(100, -2)},
      {"WhatASingleCannotHold", {0}, 1, {1e-39, std::nan(""), 1e39, -1e300, 2}},
      {"OneValue", {5}, 9, {7}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture a, b;
    ColumnSlot& sa = a.Make(0, {});
    ColumnSlot& sb = b.Make(0, {});
    for (int i : c.before) {
      a.store.PutVal(sa, int16_t(i), i);
      b.store.PutVal(sb, int16_t(i), i);
    }
    sa.modified = sb.modified = false;
    for (size_t k = 0; k < c.values.size(); ++k)
      a.store.PutVal(sa, int16_t(c.first + int(k)), c.values[k]);
    b.store.PutValues(sb, int16_t(c.first), c.values.data(), int(c.values.size()));
    EXPECT_FALSE(b.store.FailureFlag);
    EXPECT_EQ(sb.Header().base, sa.Header().base);
    EXPECT_EQ(sb.Header().firstOffset, sa.Header().firstOffset);
    EXPECT_EQ(sb.Header().highest, sa.Header().highest);
    EXPECT_EQ(sb.modified, sa.modified);
    ASSERT_EQ(sb.Cells().size(), sa.Cells().size());
    for (size_t k = 0; k < sa.Cells().size(); ++k)
      EXPECT_EQ(std::bit_cast<uint32_t>(sb.Cells()[k]), std::bit_cast<uint32_t>(sa.Cells()[k])) << k;
  }
}

}  // namespace
}  // namespace krv::series
