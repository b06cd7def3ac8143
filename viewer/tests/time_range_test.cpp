// The range in use, its density and the density dialog's entry.
#include <gtest/gtest.h>

#include <climits>

#include "viewer/time_range.h"

namespace krv::view {
namespace {

TEST(TimeRangeTest, DefaultDensityFollowsTheLastRecord) {
  const std::pair<int32_t, int32_t> cases[] = {
      {0, 1},       {3999, 1},     {4000, 2},      {9999, 2},    {10000, 3},
      {15000, 4},   {20000, 5},    {30000, 8},     {50000, 10},  {319999, 10},
      {320000, 10}, {640000, 20},  {INT32_MAX, INT32_MAX / 32000},
  };
  for (auto [jtmax, density] : cases) EXPECT_EQ(DefaultDensity(jtmax), density) << jtmax;
}

TEST(TimeRangeTest, MinimumDensityAndLastRegularPoint) {
  struct Case {
    int32_t lo, hi, density;
    int32_t minDensity, usedDensity, n;
    bool actualSave;
  } cases[] = {
      {0, 32766, 1, 1, 1, 32765, true},
      {0, 32767, 1, 2, 2, 16383, false},  // raised to the minimum
      {1, 32767, 1, 1, 1, 32765, false},  // hi must stay below 32767
      {7, 7, 1, 1, 1, -1, true},          // one step: (-1) div 1
      {7, 7, 2, 1, 2, 0, false},          // (-1) div 2 rounds towards zero
      {10, 20, 3, 1, 3, 3, false},
      {0, INT32_MAX, 1, 65539, 65539, 32766, false},
  };
  for (const Case& c : cases) {
    TimeRange r;
    r.lo = c.lo;
    r.hi = c.hi;
    r.density = c.density;
    r.Update();
    EXPECT_EQ(r.minDensity, c.minDensity) << c.hi;
    EXPECT_EQ(r.density, c.usedDensity) << c.hi;
    EXPECT_EQ(r.n, c.n) << c.hi;
    EXPECT_EQ(r.ActualSaveAllowed(), c.actualSave) << c.hi;
  }
  TimeRange huge;
  huge.hi = 100;
  huge.density = INT32_MAX;
  huge.Update();
  EXPECT_EQ(huge.LargeStep(), INT32_MAX);  // 20 x density cannot overflow
  huge.density = 3;
  EXPECT_EQ(huge.LargeStep(), 60);
}

TEST(TimeRangeTest, DensityEntriesAndTheLimitLine) {
  struct Case {
    const char* text;
    int32_t minDensity;
    int32_t result;  // 0: refused
  } cases[] = {
      {"5", 1, 5},     {" 12 ", 2, 12}, {"2", 2, 2},   {"1", 2, 0},          {"0", 1, 0},
      {"-3", 1, 0},    {"2.5", 1, 0},   {"abc", 1, 0}, {"99999999999", 1, 0}, {"", 1, 0},
      {"2147483647", 1, INT32_MAX},     {"2147483648", 1, 0},                {"4x", 1, 0},
  };
  for (const Case& c : cases) {
    std::optional<int32_t> d = ParseDensityEntry(c.text, c.minDensity);
    EXPECT_EQ(d.value_or(0), c.result) << c.text;
  }
  EXPECT_EQ(DensityLimitText(1), "Most points which can be used is every point");
  EXPECT_EQ(DensityLimitText(2), "Most points which can be used is every 2nd point");
  EXPECT_EQ(DensityLimitText(3), "Most points which can be used is every 3th point");
}

}  // namespace
}  // namespace krv::view
