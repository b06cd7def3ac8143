// Series arithmetic: a table of operations on small series, each with the
// values it leaves, FailureFlag and the messages shown; then the choices
// that a table row cannot show (precision, modified marks, untouched slots).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <sstream>

#include "platform/user_prompts.h"
#include "series/series_arithmetic.h"
#include "series/tests/series_text.h"
#include "testing/case_name.h"

namespace krv::series {
namespace {

struct Fx {
  platform::ScriptedPrompts prompts;
  SeriesStore store;
  ColumnSlot& Col(int c) { return store.ColumnSlots[size_t(c)]; }
  void Set(int c, int lo, const std::string& values) { SetValues(store, Col(c), lo, values); }
  std::string Dump(int c) { return ValuesText(Col(c)); }
};

struct Row {
  const char* name;
  std::function<void(Fx&)> run;  // prepares and runs, result in column 9
  const char* result;
  bool flag;
  std::vector<std::string> messages = {};
};

class Arithmetic : public ::testing::TestWithParam<Row> {};

TEST_P(Arithmetic, Case) {
  const Row& r = GetParam();
  Fx f;
  r.run(f);
  bool flag = f.store.FailureFlag;
  EXPECT_EQ(f.Dump(9), r.result);
  EXPECT_EQ(flag, r.flag);
  EXPECT_EQ(f.prompts.messages, r.messages);
}

const char* const kE887 = "0: 3.325977e+38 -";  // exp(88.7), then a gap

const Row kRows[] = {
    // UnaryCalcs.
    {"CumulateStopsAtTheFirstGap",
     [](Fx& f) { f.Set(0, 0, "1 2 - 4"), UnaryCalcs(f.store, 'C', f.Col(9), f.Col(0)); },
     "0: 1 3 - -", true},
    {"CumulateStartsAtRowUseLow",
     [](Fx& f) {
       f.Set(0, 0, "1 2 3 4");
       f.store.RowUseLow = 1;
       UnaryCalcs(f.store, 'c', f.Col(9), f.Col(0));
     },
     "1: 2 5 9", false},
    {"ExpOfBothSidesOfTheLimitWithoutTheMark",
     [](Fx& f) { f.Set(0, 0, "88.7 88.8"), UnaryCalcs(f.store, 'E', f.Col(9), f.Col(0)); },
     kE887, false},
    {"LogOfZeroAndNegativeIsAGapWithoutTheMark",
     [](Fx& f) { f.Set(0, 0, "1 0 -1"), UnaryCalcs(f.store, 'L', f.Col(9), f.Col(0)); },
     "0: 0 - -", false},
    {"NegationPassesGapsWithTheMark",
     [](Fx& f) { f.Set(0, 0, "1 - -2.5"), UnaryCalcs(f.store, 'n', f.Col(9), f.Col(0)); },
     "0: -1 - 2.5", true},
    {"InverseOfZerosWarnsOncePerCall",
     [](Fx& f) { f.Set(0, 0, "0 4 0 0"), UnaryCalcs(f.store, 'I', f.Col(9), f.Col(0)); },
     "0: - 0.25 - -", false, {"Inverse OVFL"}},
    {"UnaryInvalidLetterStopsAtTheFirstValue",
     [](Fx& f) { f.Set(0, 0, "- 1 2"), UnaryCalcs(f.store, 'Q', f.Col(9), f.Col(0)); },
     "0: -", true, {"Invalid op.,UNARYCALCS"}},
    {"UnaryWithoutSource",
     [](Fx& f) { UnaryCalcs(f.store, 'n', f.Col(9), f.Col(0)); },
     "free", true, {"No source for UNARYCALCS N"}},
    {"CumulateBeyondTheSingleRangeIsAGap",
     [](Fx& f) { f.Set(0, 0, "3e38 3e38 -3e38"), UnaryCalcs(f.store, 'C', f.Col(9), f.Col(0)); },
     "0: 3e+38 - 3e+38", true},
    {"NothingWhenTheRowUseLimitsCross",
     [](Fx& f) {
       f.Set(0, 0, "1 2 3 4 5");
       f.store.RowUseLow = 3;
       f.store.RowUseHigh = 1;
       UnaryCalcs(f.store, 'N', f.Col(9), f.Col(0));
     },
     "empty", false},

    // ConstCalcs.
    {"PowerOfZeroAndNegatives",
     [](Fx& f) { f.Set(0, 0, "0 -2 4"), ConstCalcs(f.store, 'X', f.Col(9), f.Col(0), 0.5); },
     "0: 0 - 2", true},
    {"ZeroToTheZero",
     [](Fx& f) { f.Set(0, 0, "0"), ConstCalcs(f.store, 'x', f.Col(9), f.Col(0), 0); },
     "0: 0", false},
    {"ZeroToMinusOne",
     [](Fx& f) { f.Set(0, 0, "0"), ConstCalcs(f.store, 'X', f.Col(9), f.Col(0), -1); },
     "0: -", true},
    {"MinusTwoSquared",
     [](Fx& f) { f.Set(0, 0, "-2"), ConstCalcs(f.store, 'X', f.Col(9), f.Col(0), 2); },
     "0: -", true},
    {"DivideByAConstant",
     [](Fx& f) { f.Set(0, 0, "1 - 3"), ConstCalcs(f.store, '/', f.Col(9), f.Col(0), 2); },
     "0: 0.5 - 1.5", true},
    {"DivideByConstantZero",
     [](Fx& f) { f.Set(0, 0, "1 2"), ConstCalcs(f.store, '/', f.Col(9), f.Col(0), 1e-40); },
     "free", true, {"Div by const zero"}},
    {"ProductBeyondTheSingleRangeIsAGap",
     [](Fx& f) { f.Set(0, 0, "2 1e20"), ConstCalcs(f.store, '*', f.Col(9), f.Col(0), 1e20); },
     "0: 2e+20 -", true},
    {"ConstInvalidLetter",
     [](Fx& f) { f.Set(0, 0, "1"), ConstCalcs(f.store, '-', f.Col(9), f.Col(0), 1); },
     "free", true, {"Invalid op.,CONSTCALCS"}},
    {"ConstWithoutSource",
     [](Fx& f) { ConstCalcs(f.store, '+', f.Col(9), f.Col(0), 1); },
     "free", true, {"No source for CONSTCALCS +"}},
    {"ShiftUpOntoItself",
     [](Fx& f) { f.Set(9, 0, "0 1 2 3 4 5 6 7 8 9"), ConstCalcs(f.store, 'S', f.Col(9), f.Col(9), 2); },
     "0: 0 1 0 1 2 3 4 5 6 7 8 9", false},
    {"ShiftDownOntoItself",
     [](Fx& f) { f.Set(9, 0, "0 1 2 3 4 5 6 7 8 9"), ConstCalcs(f.store, 's', f.Col(9), f.Col(9), -2); },
     "-2: 0 1 2 3 4 5 6 7 8 9 8 9", false},
    {"ShiftCopiesGapsWithoutTheMarkAndRoundsHalfToEven",
     [](Fx& f) { f.Set(0, 0, "1 - 3"), ConstCalcs(f.store, 'S', f.Col(9), f.Col(0), 2.5); },
     "2: 1 - 3", false},
    {"ShiftBeyondTheLastIndexSkipsWithTheMark",
     [](Fx& f) {
       f.store.RowUseHigh = 32767;
       f.Set(0, 32764, "1 2 3 4");
       ConstCalcs(f.store, 'S', f.Col(9), f.Col(0), 2);
     },
     "32766: 1 2", true},
    {"ShiftBeyondTheFirstIndexSkipsWithTheMark",
     [](Fx& f) {
       f.store.RowUseLow = -32768;
       f.Set(0, -32768, "1 2 3");
       ConstCalcs(f.store, 'S', f.Col(9), f.Col(0), -1);
     },
     "-32768: 2 3", true},

    // BinaryCalcs.
    {"OnlyTheCommonRange",
     [](Fx& f) {
       f.Set(0, 0, "0 1 2 3 4 5 6 7 8 9 10");
       f.Set(1, 5, "100 100 100 100 100 100 100 100 100 100 100 100 100 100 100 100");
       BinaryCalcs(f.store, '+', f.Col(9), f.Col(0), f.Col(1));
     },
     "5: 105 106 107 108 109 110", false},
    {"DivisionByZeroIsAGapWithTheMark",
     [](Fx& f) {
       f.Set(0, 0, "1 1 - 6"), f.Set(1, 0, "2 0 1 3");
       BinaryCalcs(f.store, '/', f.Col(9), f.Col(0), f.Col(1));
     },
     "0: 0.5 - - 2", true},
    {"DifferenceAndProduct",
     [](Fx& f) {
       f.Set(0, 0, "5 7"), f.Set(1, 0, "2 3");
       BinaryCalcs(f.store, '-', f.Col(8), f.Col(0), f.Col(1));
       BinaryCalcs(f.store, '*', f.Col(9), f.Col(8), f.Col(1));
     },
     "0: 6 12", false},
    {"ProductBeyondTheSingleRange",
     [](Fx& f) {
       f.Set(0, 0, "1e38 -1e38 1"), f.Set(1, 0, "10 10 10");
       BinaryCalcs(f.store, '*', f.Col(9), f.Col(0), f.Col(1));
     },
     "0: - - 10", true},
    {"BinaryInvalidLetter",
     [](Fx& f) { f.Set(0, 0, "1"), BinaryCalcs(f.store, 'X', f.Col(9), f.Col(0), f.Col(0)); },
     "free", true, {"Invalid op.,BINARYCALCS"}},
    {"BinaryWithoutSecondSource",
     [](Fx& f) { f.Set(0, 0, "1"), BinaryCalcs(f.store, '*', f.Col(9), f.Col(0), f.Col(1)); },
     "free", true, {"No source for BINARYCALCS *"}},

    // ModifyBinary.
    {"ModifyInPlaceOverTheTargetsRange",
     [](Fx& f) {
       f.store.RowUseHigh = 5;
       f.Set(9, 1, "1 - 3 4 5 6 7"), f.Set(0, 0, "2 2 2 0 2 2");
       ModifyBinary(f.store, '/', f.Col(9), f.Col(0));
     },
     "1: 0.5 - - 2 2.5 6 7", true},
    {"ModifyTinyProductsBecomeZero",
     [](Fx& f) {
       f.store.RowUseHigh = 1;
       f.Set(9, 0, "1e-20 3"), f.Set(0, 0, "1e-20 2");
       ModifyBinary(f.store, '*', f.Col(9), f.Col(0));
     },
     "0: 0 6", false},
    {"ModifyBeyondTheSingleRange",
     [](Fx& f) {
       f.store.RowUseHigh = 1;
       f.Set(9, 0, "3e38 1"), f.Set(0, 0, "3e38 1");
       ModifyBinary(f.store, '+', f.Col(9), f.Col(0));
     },
     "0: - 2", true},
    {"ModifySourceShorterThanTheRowUseRange",
     [](Fx& f) {
       f.store.RowUseHigh = 3;
       f.Set(9, 0, "1 2 3 4"), f.Set(0, 0, "1 1 1");
       ModifyBinary(f.store, '+', f.Col(9), f.Col(0));
     },
     "0: 1 2 3 4", true, {"No source for MODIFYBIN +"}},
    {"ModifyWithoutSource",
     [](Fx& f) { f.Set(9, 0, "1"), ModifyBinary(f.store, '-', f.Col(9), f.Col(0)); },
     "0: 1", true, {"No source for MODIFYBIN -"}},
    {"ModifyBinaryInvalidLetter",
     [](Fx& f) {
       f.store.RowUseHigh = 0;
       f.Set(9, 0, "1"), f.Set(0, 0, "1");
       ModifyBinary(f.store, 'E', f.Col(9), f.Col(0));
     },
     "0: 1", true, {"Invalid op.,MODIFYBIN"}},

    // ModifyUnary.
    {"ModifyExpOfBothSidesOfTheLimitWithTheMark",
     [](Fx& f) { f.Set(9, 0, "88.7 88.8"), ModifyUnary(f.store, 'E', f.Col(9)); }, kE887, true},
    {"ModifyInverseOfZerosWarnsOncePerCall",
     [](Fx& f) { f.Set(9, 0, "0 0 0.5 0"), ModifyUnary(f.store, 'i', f.Col(9)); },
     "0: - - 2 -", true, {"Inverse OVFL"}},
    {"ModifyLogAndNegate",
     [](Fx& f) {
       f.Set(9, 0, "1 -1 - 4");
       ModifyUnary(f.store, 'L', f.Col(9));
       ModifyUnary(f.store, 'N', f.Col(9));
     },
     "0: 0 - - -1.386294", true},
    {"ModifyUnaryInvalidLetter",
     [](Fx& f) { f.Set(9, 0, "1"), ModifyUnary(f.store, 'C', f.Col(9)); },
     "0: 1", true, {"Invalid op.,MODIFYUN"}},

    // Generated series.
    {"IndexSeries",
     [](Fx& f) {
       f.store.RowUseLow = -2, f.store.RowUseHigh = 2;
       f.Set(9, 5, "7");
       MakeIndexSeries(f.store, f.Col(9));
     },
     "-2: -2 -1 0 1 2", false},
    {"DifferenceSeriesReplacesTheSeries",
     [](Fx& f) {
       f.store.RowUseHigh = 3;
       f.Set(9, 5, "7");
       MakeDifferenceSeries(f.store, f.Col(9), 1, 0.5);
     },
     "0: 1 1.5 2 2.5", false},
    {"DifferenceSeriesBeyondTheSingleRange",
     [](Fx& f) {
       f.store.RowUseHigh = 3;
       MakeDifferenceSeries(f.store, f.Col(9), 2e38, 1e38);
     },
     "0: 2e+38 3e+38 - -", true},
    {"FillKeepsValuesOutsideTheRange",
     [](Fx& f) {
       f.store.RowUseLow = 1, f.store.RowUseHigh = 2;
       f.Set(9, 0, "9 9 9 9");
       FillSeriesConstant(f.store, f.Col(9), -1);
     },
     "0: 9 -1 -1 9", false},
    {"FillBeyondTheSingleRange",
     [](Fx& f) {
       f.store.RowUseHigh = 1;
       FillSeriesConstant(f.store, f.Col(9), 1e39);
     },
     "0: - -", true},
    {"GeneratedSeriesStopWhenTheLimitsCross",
     [](Fx& f) {
       f.store.RowUseLow = 3, f.store.RowUseHigh = 1;
       f.Set(9, 0, "5");
       MakeIndexSeries(f.store, f.Col(9));
       MakeDifferenceSeries(f.store, f.Col(9), 0, 1);
       FillSeriesConstant(f.store, f.Col(9), 0);
     },
     "0: 5", false},
};

INSTANTIATE_TEST_SUITE_P(Table, Arithmetic, ::testing::ValuesIn(kRows), testing::CaseName());

TEST(Arithmetic, IndexSeriesNamesItsLimits) {
  Fx f;
  f.store.RowUseLow = -5, f.store.RowUseHigh = 20;
  MakeIndexSeries(f.store, f.Col(3));
  EXPECT_EQ(f.Col(3).Descriptor().path, "ixM5to20");
  EXPECT_EQ(f.Col(3).Header().comment, "Index series");
  f.store.RowUseLow = 0, f.store.RowUseHigh = 400;
  MakeIndexSeries(f.store, f.Col(3));
  EXPECT_EQ(f.Col(3).Descriptor().path, "ix0to400");
  EXPECT_EQ(f.store.GetVal(f.Col(3), 400), 400);
}

TEST(Arithmetic, LongSumsAreAccumulatedInDouble) {
  // A single-precision running sum of 0.1 is off by about 0.1 after
  // 10,000 steps; in double it stays at 1000 to the last bit of a single.
  Fx f;
  f.store.RowUseHigh = 10000;
  MakeDifferenceSeries(f.store, f.Col(0), 0.1, 0.1);
  EXPECT_EQ(f.store.GetVal(f.Col(0), 9999), 1000.0f);
  FillSeriesConstant(f.store, f.Col(1), 0.1);
  UnaryCalcs(f.store, 'C', f.Col(2), f.Col(1));
  EXPECT_EQ(f.store.GetVal(f.Col(2), 9999), 1000.0f);
}

TEST(Arithmetic, InPlaceRoutinesMarkOnlyChanges) {
  Fx f;
  f.store.RowUseHigh = 2;
  f.Set(0, 0, "1 2 3");
  f.Set(1, 0, "0 0 0");
  f.Col(0).modified = false;
  ModifyBinary(f.store, '+', f.Col(0), f.Col(1));
  EXPECT_FALSE(f.Col(0).modified);
  ModifyBinary(f.store, '*', f.Col(0), f.Col(1));
  EXPECT_TRUE(f.Col(0).modified);
  EXPECT_EQ(f.Dump(0), "0: 0 0 0");
}

TEST(Arithmetic, InPlaceOnAFreeTargetLeavesEverything) {
  Fx f;
  f.Set(0, 0, "1");
  f.store.FailureFlag = true;  // untouched: nothing happened
  ModifyUnary(f.store, 'N', f.Col(9));
  ModifyBinary(f.store, '+', f.Col(9), f.Col(0));
  EXPECT_TRUE(f.store.FailureFlag);
  EXPECT_FALSE(f.Col(9).IsOpen());
  EXPECT_TRUE(f.prompts.messages.empty());
}

TEST(Arithmetic, MessagesOffSilenceTheBoxesNotTheFlag) {
  Fx f;
  f.store.MessagesOn = false;
  f.Set(0, 0, "0");
  UnaryCalcs(f.store, 'I', f.Col(9), f.Col(0));
  UnaryCalcs(f.store, 'Z', f.Col(9), f.Col(1));
  EXPECT_TRUE(f.store.FailureFlag);
  EXPECT_TRUE(f.prompts.messages.empty());
}

}  // namespace
}  // namespace krv::series
