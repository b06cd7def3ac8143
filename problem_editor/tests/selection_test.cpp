// Selection on the fixture: ranges, masks, kind filters, "Empty only".
#include <gtest/gtest.h>

#include "platform/user_prompts.h"
#include "problem_editor/LDSAVE.h"
#include "problem_editor/name_mask.h"
#include "problem_editor/selection.h"
#include "problem_editor/tests/prb_fixture.h"

namespace krv::pe {
namespace {

using namespace krv::pe::testing;

class Selection : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ParsePrb(FixturePrb(), false, buf)); }

  std::vector<int> Rows() const {
    return std::vector<int>(buf.display.begin(), buf.display.begin() + buf.lastDisplayed + 1);
  }
  SelectionOutcome Run(const std::string& mask, const std::string& b = "0",
                       const std::string& e = "10") {
    req.beginText = b;
    req.endText = e;
    req.maskText = mask;
    return RunSelection(buf, req);
  }

  EditorBuffer buf;
  SelectionRequest req;
  platform::ScriptedPrompts prompts;
};

TEST_F(Selection, FiltersAndMasks) {
  struct Case {
    const char* mask;
    std::vector<int> rows;
  } cases[] = {
      {"&", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {"  ", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {"(IO)&", {0, 1, 9, 10}},
      {"(IC)&", {2, 3}},
      {"(I*)&", {5, 8}},
      {"(CO)&", {4}},
      {"(*O)&", {6, 7}},
      {"(io)", {0, 1, 9, 10}},  // lower case, and no mask: every name
      {"(IO)&.IN", {0}},
      {"_x.flow.&", {0, 1}},
      {"&.D", {8, 10}},
      {"_X.PUMP.*D", {4}},
      {"*.A.&", {8, 9, 10}},
      {"_X.A.B", {9}},
      {"_X.?", {6}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mask);
    buf.lastDisplayed = -1;
    EXPECT_TRUE(Run(c.mask).accepted);
    EXPECT_EQ(Rows(), c.rows);
  }
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_EQ(buf.marks[0], 1);
}

TEST_F(Selection, RefusedEntriesAddNothing) {
  const char* refused[] = {"(XX)&", "(IO&", "X.A", "_X..A", "*"};
  for (const char* m : refused) {
    SCOPED_TRACE(m);
    EXPECT_FALSE(Run(m).accepted);
    EXPECT_EQ(buf.lastDisplayed, -1);
  }
  // Only the mask errors give a message; a bad filter just beeps.
  EXPECT_EQ(prompts.messages.size(), 3u);
  auto o = Run("&", "65541", "x");
  EXPECT_FALSE(o.accepted);
  EXPECT_FALSE(o.beginValid);
  EXPECT_FALSE(o.endValid);
  EXPECT_FALSE(Run("&", "0", "11").accepted);
  EXPECT_FALSE(Run("&", "-1", "3").accepted);
  EXPECT_EQ(buf.lastDisplayed, -1);
}

TEST_F(Selection, RangesDuplicatesAndDropAll) {
  EXPECT_TRUE(Run("&", " 2 ", "3").accepted);
  EXPECT_TRUE(Run("&", "2", "3").accepted);
  EXPECT_EQ(Rows(), (std::vector<int>{2, 3, 2, 3}));
  EXPECT_EQ(buf.beginNumber, 2);
  EXPECT_EQ(buf.endNumber, 3);
  // A reversed range adds nothing but is accepted and remembered.
  EXPECT_TRUE(Run("&", "9", "4").accepted);
  EXPECT_EQ(buf.beginNumber, 9);
  EXPECT_EQ(buf.lastDisplayed, 3);
  // An empty mask text adds nothing.
  EXPECT_TRUE(Run("").accepted);
  EXPECT_EQ(buf.lastDisplayed, 3);
  // Drop All empties the list even when the mask is then refused.
  req.dropAll = true;
  EXPECT_FALSE(Run("_X..").accepted);
  EXPECT_EQ(buf.lastDisplayed, -1);
}

TEST_F(Selection, EmptyOnlyOnTheMainBuffer) {
  req.anyVariables = false;
  Run("&");
  // Range exactly 0 and a code of at most 4.
  EXPECT_EQ(Rows(), (std::vector<int>{2, 4, 9}));
  buf.lastDisplayed = -1;
  req.mainBuffer = false;  // the transfer window ignores "Empty only"
  Run("&");
  EXPECT_EQ(buf.lastDisplayed, 10);
}

TEST(SelectionLimit, TooManyDisplayedOncePerRun) {
  EditorBuffer buf;
  buf.records.resize(8000);
  for (auto& r : buf.records) r.name = "V";
  platform::ScriptedPrompts prompts;
  SelectionRequest req{"0", "7999", "&"};
  for (int run = 0; run < 3; ++run) EXPECT_TRUE(RunSelection(buf, req).accepted);
  EXPECT_EQ(buf.lastDisplayed, 21999);
  EXPECT_EQ(prompts.messages, std::vector<std::string>{kTooManyDisplayed});
  EXPECT_TRUE(RunSelection(buf, req).accepted);
  EXPECT_EQ(prompts.messages.size(), 2u);
}

TEST(SelectionNames, BrokenNamesReportOnce) {
  EditorBuffer buf;
  buf.records.resize(50);
  for (auto& r : buf.records) r.name = "A..B";
  platform::ScriptedPrompts prompts;
  SelectionRequest req{"0", "49", "&"};
  EXPECT_TRUE(RunSelection(buf, req).accepted);
  EXPECT_EQ(prompts.messages, std::vector<std::string>{kNameSyntaxErr});
}

}  // namespace
}  // namespace krv::pe
