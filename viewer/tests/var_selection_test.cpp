// The viewer's variable selection: ranges, masks, kind filters, limits.
#include <gtest/gtest.h>

#include "platform/user_prompts.h"
#include "testing/temp_dir.h"
#include "viewer/tests/ttr_fixture.h"
#include "viewer/var_selection.h"

namespace krv::view {
namespace {

using krv::testing::TempDir;

// Variables 0..5 with their kinds and names.
const char* const kMap =
    ">12-10-2026 10: 5:29 CASE1\r\n"
    "   0 IO  _X.TANK.LEVEL\r\n"
    "   1 CO  _X.TANK.FLOW_IN\r\n"
    "   2 IC  _X.PUMP.LEVEL\r\n"
    "   3 I*  _X.PUMP.SPEED\r\n"
    "   4 *O  _X.T\r\n"
    "   5 **  _X.TANK.AREA\r\n"
    "     #\r\n\x1a";

struct SelectionFixture : ::testing::Test {
  TempDir dir;
  platform::ScriptedPrompts prompts;
  ViewerState viewer;
  void SetUp() override {
    testing::TTRSpec desc;
    desc.d = 5;
    dir.Write("CASE1.TTR", testing::MakeTTRBytes(desc));
    dir.Write("CASE1.VNM", kMap);
    ASSERT_EQ(viewer.Attach(dir.File("CASE1.TTR")), AttachStatus::Attached);
  }
  std::vector<int16_t> Select(const std::string& first, const std::string& last,
                              const std::string& mask) {
    viewer.ClearDisplayList();
    SelectVariables(viewer, first, last, mask);
    return viewer.DisplayList();
  }
};

using List = std::vector<int16_t>;

TEST_F(SelectionFixture, OpeningShowsTheDefaultsAndTheRange) {
  SelectionTexts t = SelectionOpening(viewer);
  EXPECT_EQ(t.first, "0");
  EXPECT_EQ(t.last, "5");
  EXPECT_EQ(t.mask, "&");
  EXPECT_EQ(t.caption, "Variable Selection: (max 5)");
  SelectVariables(viewer, "2", "4", "&");
  t = SelectionOpening(viewer);
  EXPECT_EQ(t.first, "2");
  EXPECT_EQ(t.last, "4");
}

TEST_F(SelectionFixture, MasksAndKindFilters) {
  struct Case {
    const char* first;
    const char* last;
    const char* mask;
    List expected;
  } cases[] = {
      {"0", "5", "&", {0, 1, 2, 3, 4, 5}},
      {"1", "3", "&", {1, 2, 3}},
      {"3", "1", "&", {}},
      {"0", "5", "", {}},
      {"0", "5", "   ", {0, 1, 2, 3, 4, 5}},
      {"0", "5", "(IO)&", {0}},
      {"0", "5", "(io)&", {0}},
      {"0", "5", "(CO)_X.TANK.&", {1}},
      {"0", "5", "(*O)&", {4, 5}},
      {"0", "5", "(I*)&", {3}},
      {"0", "5", "(IC)&", {2}},
      {"0", "5", "_X.A(IO)", {0}},
      {"0", "5", "&.LEVEL", {0, 2}},
      {"0", "5", "_x.tank.&", {0, 1, 5}},
      {"0", "5", "_X.TANK_FLOW.IN", {1}},
      {"0", "5", "&.*EED", {3}},
      {"0", "5", "_X.T", {4}},
      {" 0 ", " 5", "&.AREA", {5}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Select(c.first, c.last, c.mask), c.expected) << c.mask;
  }
  EXPECT_EQ(prompts.beeps, 0);
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(SelectionFixture, InvalidEntriesBeepAndAddNothing) {
  struct Case {
    const char* first;
    const char* last;
    const char* mask;
    bool resetFirst, resetLast;
    bool syntaxMessage;
  } cases[] = {
      {"-1", "5", "&", true, false, false},  {"0", "6", "&", false, true, false},
      {"x", "2.5", "&", true, true, false},  {"", "5", "&", true, false, false},
      {"0", "5", "(IO&", false, false, false}, {"0", "5", "(XX)&", false, false, false},
      {"0", "5", "(CC)&", false, false, false}, {"0", "5", "A.B", false, false, true},
      {"0", "5", "_X..B", false, false, true},
  };
  for (const Case& c : cases) {
    prompts.beeps = 0;
    prompts.messages.clear();
    viewer.ClearDisplayList();
    SelectionResult r = SelectVariables(viewer, c.first, c.last, c.mask);
    EXPECT_FALSE(r.valid) << c.first << " " << c.last << " " << c.mask;
    EXPECT_EQ(r.resetFirst, c.resetFirst) << c.first;
    EXPECT_EQ(r.resetLast, c.resetLast) << c.last;
    EXPECT_EQ(prompts.beeps, 1) << c.mask;
    EXPECT_EQ(viewer.Last(), -1) << c.mask;
    EXPECT_EQ(prompts.messages.size(), c.syntaxMessage ? 1u : 0u) << c.mask;
    if (c.syntaxMessage) {
      EXPECT_EQ(prompts.messages[0], "Name syntax err");
    }
  }
  // Invalid numbers leave the defaults alone.
  EXPECT_EQ(viewer.selectFirst, 0);
  EXPECT_EQ(viewer.selectLast, 5);
}

TEST_F(SelectionFixture, SelectingTwiceListsTwice) {
  SelectVariables(viewer, "4", "5", "&");
  SelectVariables(viewer, "4", "5", "&");
  EXPECT_EQ(viewer.DisplayList(), (List{4, 5, 4, 5}));
}

TEST_F(SelectionFixture, AFullListShowsTheNoticeOncePerSelection) {
  for (int i = 0; i < 3666; ++i) SelectVariables(viewer, "0", "5", "&");  // 21996 entries
  EXPECT_EQ(viewer.Last(), 21995);
  EXPECT_TRUE(prompts.messages.empty());
  SelectionResult r = SelectVariables(viewer, "0", "5", "&");
  EXPECT_TRUE(r.valid);
  EXPECT_EQ(viewer.Last(), 21999);
  EXPECT_EQ(viewer.DisplayList().back(), 3);
  EXPECT_EQ(prompts.messages, std::vector<std::string>{"Too many displayed X"});
  SelectVariables(viewer, "0", "5", "&");
  EXPECT_EQ(prompts.messages.size(), 2u);
}

TEST_F(SelectionFixture, AppendingLeavesThePlottedMarksAlone) {
  viewer.PlottedMarks()[0] = 1;
  viewer.PlottedMarks()[5] = 1;
  SelectVariables(viewer, "0", "5", "&");
  SelectVariables(viewer, "0", "5", "&");
  EXPECT_EQ(viewer.PlottedMarks()[0], 1);
  EXPECT_EQ(viewer.PlottedMarks()[5], 1);
}

}  // namespace
}  // namespace krv::view
