// The grid over the display list: row texts, header, paging and commits.
#include <gtest/gtest.h>

#include "problem_editor/LDSAVE.h"
#include "problem_editor/selection.h"
#include "problem_editor/tests/prb_fixture.h"
#include "problem_editor/variable_grid.h"

namespace krv::pe {
namespace {

using namespace krv::pe::testing;

class Grid : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ParsePrb(FixturePrb(), false, buf));
    SelectionRequest req{"0", "10", "&"};
    ASSERT_TRUE(RunSelection(buf, req).accepted);
  }
  void Show(int count) {
    buf.lastDisplayed = count - 1;
    buf.top = 0;
    buf.cursor = 0;
  }
  EditorBuffer buf;
};

TEST_F(Grid, RowTextsByKind) {
  struct Want {
    const char* caption;
    const char* xout;
    const char* range;
    const char* err;
    const char* p;
  } want[] = {
      {"   0 IO  _X.FLOW.IN", " 3.5000000E+00", " 2.000E+00", " 1.000E+00", "P"},
      {"   1 IO  _X.FLOW.OUT", "-5.0000000E-01", " 1.000E+04", "-1.300E-05", " "},
      {"   2 IC  _X.TANK.LEVEL", " ", " 0.000E+00", " ", "P"},
      {"   3 IC  _X.TANK.VOL", " ", " 4.000E+00", " ", " "},
      {"   4 CO  _X.PUMP_SPEED", " 9.0000000E+00", " 0.000E+00", " ", " "},
      {"   5 I*  _X.PUMP_RATE", " ", " ", " ", " "},
      {"   6 *O  _X.T", " ", " ", " ", " "},
      {"   7 *O  _X.X[1]", " ", " ", " ", " "},
      {"   8 I*  _X.A.B.C.D", " ", " ", " ", " "},
      {"   9 IO  _X.A.B", " 0.0000000E+00", " 0.000E+00", " ", " "},
      {"  10 IO  _X.A.B.C.D", " 4.0000000E+00", "-1.000E+00", " ", " "},
  };
  for (int d = 0; d <= 10; ++d) {
    SCOPED_TRACE(d);
    RowView v = DrawRow(buf, d, false);
    EXPECT_EQ(v.caption, want[d].caption);
    EXPECT_EQ(v.xout, want[d].xout);
    EXPECT_EQ(v.range, want[d].range);
    EXPECT_EQ(v.err, want[d].err);
    EXPECT_EQ(v.pLabel, want[d].p);
    EXPECT_EQ(v.marker, "I");
    EXPECT_TRUE(v.editable);
  }
  EXPECT_EQ(DrawRow(buf, 0, false).xin, " 1.5000000E+00");
  RowView blank = DrawRow(buf, 11, false);
  EXPECT_EQ(blank.caption, " ");
  EXPECT_EQ(blank.xin, " ");
  EXPECT_FALSE(blank.editable);
  buf.marks[3] = 0;
  EXPECT_EQ(DrawRow(buf, 3, false).marker, " ");
  buf.cursor = 3;
  EXPECT_EQ(DrawRow(buf, 3, true).marker, "I");
  EXPECT_EQ(DrawRow(buf, 4, true).marker, " ");
}

TEST_F(Grid, Header) {
  std::string h = HeaderText(buf);
  EXPECT_EQ(h.substr(0, 4), "X in");
  EXPECT_EQ(h.substr(32, 5), "X out");
  EXPECT_EQ(h.substr(63, 5), "Range");
  EXPECT_EQ(h.substr(83, 3), "Err");
  EXPECT_EQ(h.substr(100), "11 disp");
  DropAllRows(buf);
  EXPECT_EQ(HeaderText(buf).substr(100), "0 disp");
}

TEST_F(Grid, PagingKeys) {
  struct Case {
    int rows, top, cursor;
    GridKey key;
    bool transfer;
    int wantTop, wantCursor;
  } cases[] = {
      {30, 0, 0, GridKey::PageUp, false, 0, 3},
      {30, 12, 12, GridKey::PageUp, false, 3, 6},
      {30, 0, 0, GridKey::PageDown, false, 9, 9},
      {30, 27, 27, GridKey::PageDown, false, 29, 29},
      {30, 15, 15, GridKey::Home, false, 0, 0},
      {30, 0, 0, GridKey::End, false, 20, 29},
      {30, 0, 0, GridKey::End, true, 26, 29},
      {30, 0, 0, GridKey::PageDown, true, 4, 4},
      {5, 0, 0, GridKey::End, false, 0, 4},
      // A short list keeps the cursor inside it.
      {2, 0, 0, GridKey::PageUp, false, 0, 1},
      {1, 0, 0, GridKey::PageUp, true, 0, 0},
      {30, 5, 5, GridKey::Up, true, 4, 4},
      {30, 5, 6, GridKey::Up, true, 5, 5},
      {30, 0, 0, GridKey::Up, true, 0, 0},
      {30, 5, 8, GridKey::Down, true, 6, 9},
      {30, 26, 29, GridKey::Down, true, 26, 29},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.rows << " rows, top " << c.top << ", key " << int(c.key));
    buf.lastDisplayed = c.rows - 1;
    buf.top = c.top;
    buf.cursor = c.cursor;
    EXPECT_TRUE(ApplyGridKey(buf, c.key, c.transfer));
    EXPECT_EQ(buf.top, c.wantTop);
    EXPECT_EQ(buf.cursor, c.wantCursor);
  }
  EXPECT_FALSE(ApplyGridKey(buf, GridKey::Up, false));
  DropAllRows(buf);
  EXPECT_FALSE(ApplyGridKey(buf, GridKey::End, false));
}

TEST_F(Grid, ScrollingAndMarks) {
  buf.lastDisplayed = 29;
  ScrollToEnd(buf);
  EXPECT_EQ(buf.top, 20);
  EXPECT_EQ(buf.cursor, 20);
  EXPECT_EQ(ScrollMaximum(buf), 29);
  ScrollTo(buf, 7);
  EXPECT_EQ(buf.top, 7);
  EXPECT_EQ(buf.cursor, 10);
  Show(3);
  ScrollTo(buf, 2);
  EXPECT_EQ(buf.cursor, 2);
  DropAllRows(buf);
  EXPECT_EQ(ScrollMaximum(buf), 0);

  Show(5);
  EXPECT_TRUE(MarkOrSetCursor(buf, 2, false));
  EXPECT_EQ(buf.marks[2], 0);
  EXPECT_TRUE(MarkOrSetCursor(buf, 2, false));
  EXPECT_EQ(buf.marks[2], 1);
  EXPECT_FALSE(MarkOrSetCursor(buf, 5, false));
  EXPECT_EQ(MarkerText(buf, 2), "I");
  EXPECT_TRUE(MarkOrSetCursor(buf, 2, false));
  EXPECT_EQ(MarkerText(buf, 2), " ");
  EXPECT_EQ(MarkerText(buf, 5), " ");
  EXPECT_TRUE(MarkOrSetCursor(buf, 4, true));
  EXPECT_EQ(buf.cursor, 4);
}

// The focus-in, commit, refusal and Escape rules of the two grid edits.
TEST_F(Grid, PendingEditStateMachine) {
  GridEdits edits;
  bool modified = false;
  using Outcome = GridEdits::Outcome;
  EXPECT_TRUE(edits.PendingEdits().empty());

  // Entering remembers at most 31 characters for Escape.
  const std::string longText(40, '7');
  EXPECT_TRUE(edits.Enter(2, false, longText));
  EXPECT_EQ(edits.EscapeText(false), longText.substr(0, 31));
  // Unchanged text stores nothing, and the edit stays pending until it exits.
  EXPECT_EQ(edits.Store(buf, modified, 2, false, "5", false).outcome, Outcome::Unchanged);
  EXPECT_EQ(buf.records[2].XIn(), 0.0);
  EXPECT_FALSE(modified);
  EXPECT_FALSE(edits.EntersOnReturn(2, false));
  EXPECT_TRUE(edits.EntersOnReturn(3, false));

  // Both edits pending: X in is committed first.
  EXPECT_TRUE(edits.Enter(4, true, " 1.000E+00"));
  auto pending = edits.PendingEdits();
  ASSERT_EQ(pending.size(), 2u);
  EXPECT_FALSE(pending[0].range);
  EXPECT_EQ(pending[0].row, 2);
  EXPECT_TRUE(pending[1].range);
  EXPECT_EQ(pending[1].row, 4);

  // A refused value: the edit comes back with its Escape text and pending.
  auto c = edits.Exit(buf, modified, 4, true, "abc", true);
  EXPECT_EQ(c.outcome, Outcome::Refused);
  EXPECT_FALSE(modified);
  EXPECT_FALSE(edits.Enter(4, true, "abc"));
  EXPECT_EQ(edits.EscapeText(true), " 1.000E+00");
  EXPECT_EQ(edits.PendingEdits().size(), 2u);
  // Entered again afterwards, it takes the new text.
  c = edits.Exit(buf, modified, 4, true, "2", true);
  EXPECT_EQ(c.outcome, Outcome::Stored);
  EXPECT_EQ(c.shown, " 2.000E+00");
  EXPECT_TRUE(modified);
  EXPECT_EQ(buf.records[4].Range(), 2.0f);
  ASSERT_EQ(edits.PendingEdits().size(), 1u);
  EXPECT_TRUE(edits.EntersOnReturn(4, true));
  EXPECT_TRUE(edits.Enter(4, true, " 2.000E+00"));
  EXPECT_EQ(edits.EscapeText(true), " 2.000E+00");

  // A refusal on another edit does not swallow this edit's next entry.
  modified = false;
  EXPECT_EQ(edits.Store(buf, modified, 2, false, "x", true).outcome, Outcome::Refused);
  EXPECT_TRUE(edits.Enter(2, true, "9"));
  EXPECT_EQ(edits.EscapeText(true), "9");
  EXPECT_FALSE(modified);
}

TEST_F(Grid, CommitValues) {
  buf.top = 1;
  auto shown = CommitValue(buf, 0, "  2.5  ", false);
  ASSERT_TRUE(shown);
  EXPECT_EQ(*shown, " 2.5000000E+00");
  EXPECT_EQ(buf.records[1].XIn(), 2.5);
  EXPECT_FALSE(CommitValue(buf, 0, "2,5", false));
  EXPECT_EQ(buf.records[1].XIn(), 2.5);

  shown = CommitValue(buf, 1, "1e3", true);
  ASSERT_TRUE(shown);
  EXPECT_EQ(*shown, " 1.000E+03");
  EXPECT_EQ(buf.records[2].Range(), 1000.0f);
  // Beyond the single range is refused, not stored as infinity.
  EXPECT_FALSE(CommitValue(buf, 1, "1e39", true));
  EXPECT_EQ(buf.records[2].Range(), 1000.0f);
  Show(2);
  EXPECT_FALSE(CommitValue(buf, 5, "1", false));
}

}  // namespace
}  // namespace krv::pe
