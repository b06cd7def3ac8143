// The worksheet without its window: cell texts, commits, the header list,
// the dialogs' rules, the pickers and the column-selection prompt.
#include <gtest/gtest.h>

#include "platform/user_prompts.h"
#include "series/WkUnit.h"
#include "series/series_picker.h"
#include "series/worksheet_dialogs.h"
#include "testing/case_name.h"
#include "testing/temp_dir.h"

namespace krv::series {
namespace {

using krv::testing::TempDir;

// A window that answers the dialogs the way a test says.
struct TestWindow : WorksheetWindow {
  Worksheet* ws = nullptr;
  std::vector<std::string> names;  // names typed into successive name dialogs; "" cancels
  int nameDialogs = 0;
  std::optional<int> digits;         // the number display choice; none cancels
  int startSpec = 99;
  bool EditSeriesName() override {
    ++nameDialogs;
    if (names.empty() || names.front().empty()) {
      if (!names.empty()) names.erase(names.begin());
      return false;
    }
    std::string n = names.front();
    names.erase(names.begin());
    return NameDialogAccept(ws->Store(), ws->FirstSelCol, n, "", "");
  }
  bool EditNumberDisplay(int& s) override {
    startSpec = s;
    if (!digits) return false;
    s = *digits;
    return true;
  }
};

struct Fixture {
  TempDir dir;
  platform::ScriptedPrompts prompts;
  SeriesStore store;
  Worksheet ws{store};
  TestWindow window;
  Fixture() {
    window.ws = &ws;
    ws.SetWindow(&window);
    ws.FormCreate();
  }
  ColumnSlot& Col(int c) { return store.ColumnSlots[size_t(c)]; }
  void Fill(int c, int from, int to, double scale = 1) {
    store.NewSeries(Col(c), false, "");
    for (int i = from; i <= to; ++i) store.PutVal(Col(c), int16_t(i), i * scale);
  }
  // Types `text` into cell (c, i) with the cursor on it, then commits it.
  bool Type(int c, int i, const std::string& text) {
    ws.CursorGridColumn = c + 2;
    ws.CursorRow = ws.RowOf(i);
    ws.CellTextBefore = ws.CellText(c, i);
    ws.SetCellText(c, i, text);
    return ws.StoreCellText(c, i);
  }
  void Attach() {
    store.CreateDSF(dir.File("W"));
    ASSERT_FALSE(store.FailureFlag);
  }
};

// ---- Column names and cell formats ----

struct LettersCase {
  std::string name;
  std::string text;
  int column;
};
class ParseLetters : public ::testing::TestWithParam<LettersCase> {};
TEST_P(ParseLetters, ClampsToTheGrid) { EXPECT_EQ(ParseColumnLetters(GetParam().text), GetParam().column); }
INSTANTIATE_TEST_SUITE_P(Table, ParseLetters,
                         ::testing::Values(LettersCase{"Lower", "aa", 26}, LettersCase{"LeadingBlank", " AA", 26},
                                           LettersCase{"ThirdIgnored", "AAX", 26}, LettersCase{"BeyondSP", "ZZ", 509},
                                           LettersCase{"Digit", "1", 0}, LettersCase{"Empty", "", 0},
                                           LettersCase{"OneLetter", "c", 2}, LettersCase{"LetterBlank", "B x", 1},
                                           LettersCase{"Last", "SP", 509}),
                         krv::testing::CaseName());

TEST(ColumnLetters, AreAlwaysTwoCharacters) {
  EXPECT_EQ(ColumnLetters(0), "A ");
  EXPECT_EQ(ColumnLetters(25), "Z ");
  EXPECT_EQ(ColumnLetters(26), "AA");
  EXPECT_EQ(ColumnLetters(509), "SP");
  for (int c = 0; c < kColumnCount; ++c) EXPECT_EQ(ParseColumnLetters(ColumnLetters(c)), c) << c;
}

struct FormatCase {
  std::string name;
  int width, digits;
  double value;
  std::string text;
};
class CellFormat : public ::testing::TestWithParam<FormatCase> {};
TEST_P(CellFormat, GivesTheText) {
  const FormatCase& c = GetParam();
  EXPECT_EQ(FormatCellValue(c.width, c.digits, c.value), c.text);
}
INSTANTIATE_TEST_SUITE_P(
    Table, CellFormat,
    ::testing::Values(FormatCase{"FlexibleFourPlaces", 12, -2, 123.456, "    123.4560"},
                      FormatCase{"FlexibleTooBig", 12, -2, 1e7, " 1.00000E+07"},
                      FormatCase{"FlexibleZero", 12, -2, 0, "    0.000000"},
                      FormatCase{"FlexibleNegative", 12, -2, -0.5, "   -0.500000"},
                      FormatCase{"ScientificShortExponent", 12, -1, 1.5, " 1.50000E+00"},
                      FormatCase{"ScientificLongExponent", 12, -1, 1e150, " 1.00000E+0150"},
                      FormatCase{"FixedTwo", 13, 2, 3.14159, "         3.14"},
                      FormatCase{"FixedNone", 13, 0, 2.5, "            2"},
                      FormatCase{"ValueEntry", 15, -2, 0.01, "     0.01000000"},
                      FormatCase{"CutTo27", 13, 9, 3e38, "300000000000000012135895401"}),
    krv::testing::CaseName());

// ---- Cells: what the grid shows and what a commit stores ----

TEST(Cells, ShowColumnWidthThirteenShowCellTwelveMissingDashes) {
  Fixture f;
  f.Fill(3, -2, 2);
  f.store.PutVal(f.Col(3), 1, double(MissingValue));
  f.ws.ShowColumn(3);
  EXPECT_EQ(f.ws.CellText(3, 0), "     0.000000");
  EXPECT_EQ(f.ws.CellText(3, 1), "----");
  EXPECT_EQ(f.ws.CellText(3, 5), "");
  f.ws.ShowCell(3, 2);
  EXPECT_EQ(f.ws.CellText(3, 2), "    2.000000");
  EXPECT_EQ(f.ws.CellText(3, -1), "    -1.000000");
  // Grid texts: headers and index labels.
  EXPECT_EQ(f.ws.GridText(0, 0), " Row");
  EXPECT_EQ(f.ws.GridText(1, 0), "  Xvals");
  EXPECT_EQ(f.ws.GridText(5, 0), "  D ");
  EXPECT_EQ(f.ws.GridText(511, 0), "  SP");
  EXPECT_EQ(f.ws.GridText(0, 1), "  -400");
  EXPECT_EQ(f.ws.GridText(0, 12401), " 12000");
  // A redraw of the column drops the width-12 cell.
  f.ws.ShowColumn(3);
  EXPECT_EQ(f.ws.CellText(3, 2), "     2.000000");
}

TEST(Cells, OneMessageForValuesWithoutAGridRow) {
  Fixture f;
  f.store.NewSeries(f.Col(0), false, "");
  f.store.PutVal(f.Col(0), -410, 1.0);
  f.store.PutVal(f.Col(0), 12010, 2.0);  // 12,420 values, most outside nothing, 20 outside
  f.ws.ShowColumn(0);
  ASSERT_EQ(f.prompts.messages.size(), 1u);
  EXPECT_EQ(f.prompts.messages[0], "JC=0 I=-410 S=     1.000000");
  EXPECT_EQ(f.ws.CellText(0, -400), "----");
}

TEST(Commit, DashesBeepInAnEmptyColumnAndMakeAGapInsideASeries) {
  Fixture f;
  EXPECT_FALSE(f.Type(0, 5, "----"));
  EXPECT_EQ(f.prompts.beeps, 1);
  EXPECT_FALSE(f.Col(0).IsOpen());
  EXPECT_EQ(f.ws.CellText(0, 5), "----");  // the typed text stays

  f.Fill(1, 0, 4);
  EXPECT_TRUE(f.Type(1, 2, "----"));
  EXPECT_TRUE(IsMissing(f.store.GetVal(f.Col(1), 2)));
  EXPECT_EQ(f.ws.CellTextBefore, "----");
}

TEST(Commit, EmptyingTheLowestAsksAndShrinksAnInnerOneComesBack) {
  Fixture f;
  f.Fill(0, 0, 4);
  f.ws.ShowColumn(0);
  f.prompts.answers = {platform::Answer::Yes};
  EXPECT_TRUE(f.Type(0, 0, ""));
  ASSERT_EQ(f.prompts.questions.size(), 1u);
  EXPECT_EQ(f.prompts.questions[0], "Data value deletion---Are you sure?");
  int16_t lo, hi;
  f.store.SeriesIndexRange(f.Col(0), lo, hi);
  EXPECT_EQ(lo, 1);
  EXPECT_EQ(f.ws.HeaderLines[0].substr(7, 3), "<c>");

  EXPECT_TRUE(f.Type(0, 2, ""));
  EXPECT_EQ(f.prompts.questions.size(), 1u);  // no question for an inner value
  EXPECT_EQ(f.ws.CellText(0, 2), "    2.000000");
  EXPECT_EQ(f.store.GetVal(f.Col(0), 2), 2.0f);

  // Refusing the deletion puts the value back as well.
  f.prompts.answers = {platform::Answer::No};
  EXPECT_TRUE(f.Type(0, 4, ""));
  EXPECT_EQ(f.ws.CellText(0, 4), "     4.00000");
}

TEST(Commit, AValueFiveAboveTheHighestFillsTheGap) {
  Fixture f;
  f.Fill(0, 0, 2);
  f.ws.ShowColumn(0);
  EXPECT_TRUE(f.Type(0, 7, "9"));
  for (int i = 3; i <= 6; ++i) EXPECT_EQ(f.ws.CellText(0, i), "----") << i;
  EXPECT_EQ(f.ws.CellText(0, 7), "      9.00000");  // the column was redrawn: width 13
  EXPECT_EQ(f.ws.CellText(0, 2), "     2.000000");
  // A value next to the range is drawn alone, at width 12.
  EXPECT_TRUE(f.Type(0, 8, "1e-3"));
  EXPECT_EQ(f.ws.CellText(0, 8), " 0.001000000");
}

TEST(Commit, RefusedTextsBeepAndKeepTheSeries) {
  Fixture f;
  f.Fill(0, 0, 2);
  for (std::string bad : {"1.5 ", "1e39", "-1e39", "abc", "1,5", "1.5x", "inf"}) {
    int beeps = f.prompts.beeps;
    EXPECT_FALSE(f.Type(0, 1, bad)) << bad;
    EXPECT_EQ(f.prompts.beeps, beeps + 1) << bad;
    EXPECT_EQ(f.store.GetVal(f.Col(0), 1), 1.0f) << bad;
  }
  EXPECT_TRUE(f.Type(0, 1, "   -2.5"));  // leading blanks are skipped
  EXPECT_EQ(f.store.GetVal(f.Col(0), 1), -2.5f);
  EXPECT_TRUE(f.Type(0, 1, "1e-40"));    // below the single range: zero
  EXPECT_EQ(f.store.GetVal(f.Col(0), 1), 0.0f);
}

TEST(Commit, ANewValueInAnEmptyColumnMakesASeriesMarkedChanged) {
  Fixture f;
  EXPECT_TRUE(f.Type(2, 0, "3.5"));
  ASSERT_TRUE(f.Col(2).IsOpen());
  EXPECT_EQ(f.ws.HeaderLines[2], " C     <c>***noname***");
}

TEST(Commit, AFailedCommitNamesColumnAndIndex) {
  Fixture f;
  f.ws.CursorGridColumn = 5;
  f.ws.CursorRow = f.ws.RowOf(7);
  f.ws.SetCellText(3, 7, "x");
  EXPECT_FALSE(f.ws.CommitCurrentCell());
  ASSERT_EQ(f.prompts.messages.size(), 1u);
  EXPECT_EQ(f.prompts.messages[0], "Error at 3,7");
  // A cursor move is refused without a message.
  EXPECT_FALSE(f.ws.SG1SelectCell(6, f.ws.RowOf(7)));
  EXPECT_EQ(f.ws.CursorGridColumn, 5);
  EXPECT_EQ(f.prompts.messages.size(), 1u);
  // Escape drops the edit; the move then goes through.
  f.ws.SG1KeyPress();
  EXPECT_EQ(f.ws.CellText(3, 7), "");
  EXPECT_TRUE(f.ws.SG1SelectCell(6, f.ws.RowOf(7)));
}

TEST(Commit, ACellDrawnFromTheSeriesIsNeverStoredBack) {
  Fixture f;
  f.Fill(0, 0, 2, 1.0 / 3);
  f.Col(0).modified = false;
  f.ws.ShowColumn(0);
  f.ws.CursorRow = f.ws.RowOf(1);
  f.ws.CellTextBefore = "stale";
  EXPECT_TRUE(f.ws.StoreCellText(0, 1));
  EXPECT_EQ(f.store.GetVal(f.Col(0), 1), float(1.0 / 3));  // not the 7-digit text
  EXPECT_FALSE(f.Col(0).modified);
}

// ---- Header list, X column, labels ----

TEST(Headers, NamesMarkersAndFormulas) {
  Fixture f;
  f.Fill(0, 0, 2);
  f.Col(0).Descriptor().path = ".PR1.Controls";
  f.Fill(2, 0, 2);
  f.Col(2).modified = true;
  f.Col(2).xSlot = &f.Col(1);
  f.Fill(1, 0, 2);
  f.ws.Formula[1] = "A+1";
  f.Col(0).modified = f.Col(1).modified = false;
  f.ws.RefreshColumnHeaders();
  EXPECT_EQ(f.ws.HeaderLines[0], " A        .PR1.Controls");
  EXPECT_EQ(f.ws.HeaderLines[2], " C (B )<c>***noname***");
  EXPECT_EQ(f.ws.HeaderLines[3], " D ");
  EXPECT_EQ(f.ws.HeaderSelected, 0);
  f.ws.NameSelClick(true);
  EXPECT_EQ(f.ws.HeaderLines[0], " A         ");  // markers, a blank, no formula
  EXPECT_EQ(f.ws.HeaderLines[1], " B         A+1");
  EXPECT_EQ(f.ws.HeaderLines[3], " D  ");  // a blank and the empty formula
  // Scrolling right rebuilds the lines; the last ones stay empty past SP.
  f.ws.SG1TopLeftChanged(506, f.ws.TopRow);
  EXPECT_EQ(f.ws.HeaderLines[0], " SK ");
  EXPECT_EQ(f.ws.HeaderLines[5], " SP ");
  EXPECT_EQ(f.ws.HeaderLines[6], "");
  EXPECT_EQ(f.ws.HeaderSelected, -1);
}

TEST(XColumn, YofXCopiesTheXColumnAndClearsIt) {
  Fixture f;
  f.Fill(1, 0, 3, 10);
  f.Col(1).Descriptor().path = ".T";
  f.Fill(0, 0, 3);
  f.Col(0).xSlot = &f.Col(1);
  f.ws.YofXClick(true);
  f.ws.XautClick(true);
  EXPECT_EQ(f.ws.XColumn, 1);
  EXPECT_EQ(f.ws.XnameLbl, "B  = x val: .T");
  EXPECT_EQ(f.ws.GridText(1, f.ws.RowOf(2)), "     20.00000");
  EXPECT_EQ(f.ws.GridText(1, 0), "  B ");
  EXPECT_EQ(f.ws.XLow, 0);
  EXPECT_EQ(f.ws.XHigh, 3);
  f.ws.YofXClick(false);
  EXPECT_EQ(f.ws.XnameLbl, "");
  EXPECT_EQ(f.ws.GridText(1, f.ws.RowOf(2)), "");
  EXPECT_FALSE(f.ws.XAuto);
}

TEST(Labels, RowUseAndFile) {
  Fixture f;
  EXPECT_EQ(f.ws.RowUseLbl, "Low=      0      High=    400");
  EXPECT_EQ(f.ws.Label4, "Current DSDir path in file <NO FILE>");
  EXPECT_EQ(f.ws.DecimalSpec[0], -2);
}

// ---- Window life ----

TEST(Close, AsksWhenUnsavedYesKeepsNoFreesEverything) {
  Fixture f;
  f.Attach();
  f.Fill(0, 0, 2);
  f.Col(0).modified = true;
  f.ws.Formula[0] = "B";
  f.prompts.answers = {platform::Answer::Yes};
  EXPECT_FALSE(f.ws.FormCloseQuery());
  EXPECT_EQ(f.prompts.questions.back(), "Some data may not have been saved!--Return to worksheet??");
  EXPECT_TRUE(f.Col(0).IsOpen());
  EXPECT_TRUE(f.Col(0).modified);
  f.prompts.answers = {platform::Answer::No};
  EXPECT_TRUE(f.ws.FormCloseQuery());
  f.ws.FormClose();
  EXPECT_FALSE(f.Col(0).IsOpen());
  EXPECT_EQ(f.ws.Formula[0], "");
  EXPECT_FALSE(f.store.IsAttached());
  EXPECT_EQ(f.ws.Label4, "Current DSDir path in file <NO FILE>");
  // Nothing modified: no question.
  size_t asked = f.prompts.questions.size();
  EXPECT_TRUE(f.ws.FormCloseQuery());
  EXPECT_EQ(f.prompts.questions.size(), asked);
}

// ---- Menu positions ----

TEST(Menu, ZeroTopBottom) {
  Fixture f;
  f.Fill(0, -398, 2);
  f.ws.BottomClick();
  EXPECT_EQ(f.ws.IndexOfRow(f.ws.TopRow), -2);
  EXPECT_EQ(f.ws.CurrentIndex(), 2);
  f.ws.TopClick();
  EXPECT_EQ(f.ws.IndexOfRow(f.ws.TopRow), -398);
  EXPECT_EQ(f.ws.CurrentIndex(), -398);
  f.store.NewSeries(f.Col(0), false, "");
  f.store.PutVal(f.Col(0), -399, 1);
  f.ws.BottomClick();  // would ask for index -403 on top
  EXPECT_EQ(f.ws.IndexOfRow(f.ws.TopRow), -400);
  EXPECT_EQ(f.ws.CurrentIndex(), -399);
  f.ws.ZeroClick();
  EXPECT_EQ(f.ws.IndexOfRow(f.ws.TopRow), 0);
  EXPECT_EQ(f.ws.CurrentIndex(), 0);
  f.ws.SetCurrentColumn(4);  // no series: Top and Bottom go to 0
  f.ws.ScrollToIndex(50);
  f.ws.BottomClick();
  EXPECT_EQ(f.ws.IndexOfRow(f.ws.TopRow), 0);
}

TEST(Menu, ChangeAllDecimalSpecsRedrawsEveryColumn) {
  Fixture f;
  f.Fill(0, 0, 1, 1.25);
  f.Fill(509, 0, 1, 1.25);
  f.window.digits = 1;
  f.ws.ChangeAllDecimalSpecsClick();
  EXPECT_EQ(f.window.startSpec, -2);
  EXPECT_EQ(f.ws.CellText(0, 1), "          1.2");
  EXPECT_EQ(f.ws.CellText(509, 1), "          1.2");
  f.window.digits.reset();
  f.ws.ChangeAllDecimalSpecsClick();  // Cancel changes nothing
  EXPECT_EQ(f.ws.DecimalSpec[3], 1);
}

// ---- Dialog rules ----

TEST(Dialogs, SeriesNameRule) {
  EXPECT_TRUE(IsLegalSeriesName("a.b.c"));
  EXPECT_TRUE(IsLegalSeriesName(".A." + std::string(27, 'x')));
  EXPECT_FALSE(IsLegalSeriesName(".A." + std::string(28, 'x')));
  EXPECT_FALSE(IsLegalSeriesName("x*y"));
  EXPECT_FALSE(IsLegalSeriesName("a&"));
  EXPECT_FALSE(IsLegalSeriesName("a?b"));
  EXPECT_FALSE(IsLegalSeriesName(kNoName));
  EXPECT_TRUE(IsLegalSeriesName(""));
  EXPECT_TRUE(IsLegalSeriesName("a..b"));
}

TEST(Dialogs, NameDialogStoresAndSplitsTheDescription) {
  Fixture f;
  std::string l1(53, 'a'), l2(53, 'b');
  EXPECT_FALSE(NameDialogAccept(f.store, 4, "x*y", l1, l2));
  EXPECT_EQ(f.prompts.messages.back(), "Name has illegal form");
  EXPECT_FALSE(f.Col(4).IsOpen());
  EXPECT_TRUE(NameDialogAccept(f.store, 4, ".P.S", l1, l2));
  EXPECT_EQ(f.Col(4).Header().comment.size(), 107u);
  NameDialogTexts t = NameDialogFill(f.store, 4);
  EXPECT_EQ(t.caption, "Edit Series Name and description for: E ");
  EXPECT_EQ(t.name, ".P.S");
  EXPECT_EQ(t.line1, l1);
  EXPECT_EQ(t.line2, l2);
  EXPECT_TRUE(NameDialogAccept(f.store, 4, ".P.S", "only", ""));
  EXPECT_EQ(f.Col(4).Header().comment, "only");
  t = NameDialogFill(f.store, 5);
  EXPECT_EQ(t.name, "");
}

TEST(Dialogs, RowUseLimits) {
  Fixture f;
  EXPECT_TRUE(RowUseAccept(f.store, "  -400", " 12000"));
  EXPECT_EQ(f.store.RowUseLow, -400);
  EXPECT_EQ(f.store.RowUseHigh, 12000);
  EXPECT_TRUE(RowUseAccept(f.store, "5", "5"));
  const std::string bad = "Row use limits are out of range or low is bigger than high!";
  for (auto [lo, hi] : {std::pair{"-401", "0"}, {"0", "12001"}, {"6", "5"}}) {
    EXPECT_FALSE(RowUseAccept(f.store, lo, hi)) << lo;
    EXPECT_EQ(f.prompts.messages.back(), bad);
  }
  EXPECT_EQ(f.store.RowUseLow, 5);
  EXPECT_FALSE(RowUseAccept(f.store, "1.5", "7"));
  EXPECT_EQ(f.prompts.beeps, 1);
  EXPECT_EQ(RowUseText(-400), "  -400");
}

TEST(Dialogs, ValueEntry) {
  platform::ScriptedPrompts prompts;
  EXPECT_EQ(RealEntryText(0.01), "     0.01000000");
  EXPECT_EQ(RealEntryAccept("     0.01000000"), 0.01);
  EXPECT_EQ(RealEntryAccept("-2e3"), -2000.0);
  EXPECT_FALSE(RealEntryAccept("two"));
  EXPECT_EQ(prompts.beeps, 1);
}

// ---- Pickers ----

struct PickerFixture : Fixture {
  PickerFixture() {
    Attach();
    store.MakeDSDir(".P");
    store.MakeDSDir(".A");
    store.MakeDSDir(".A.B");
    for (const char* p : {".P.S1", ".P.S2", ".A.S", ".A.B.T"}) {
      Fill(0, 0, 3);
      store.SaveSeries(Col(0), p);
      EXPECT_FALSE(store.FailureFlag) << p;
    }
    store.FreeSeries(Col(0));
  }
};

TEST(Pickers, SingleModeAsksAgainForWildcardsDropDownListsMatches) {
  PickerFixture f;
  PickerState st;
  BeginPickOne(st, false, "", "Select the X series:");
  EXPECT_EQ(st.caption, "Select one series in DSF");
  EXPECT_FALSE(PickerAccepts(st, ".P.*"));
  EXPECT_TRUE(PickerAccepts(st, ".P.S1"));
  std::vector<std::string> list = PickerDropDown(f.store, st, ".P.*");
  EXPECT_EQ(list, (std::vector<std::string>{".P.S1", ".P.S2"}));
  EXPECT_TRUE(PickerDropDown(f.store, st, ".P.S1").empty());
  BeginPickText(st, ".Q", "Series to load");
  EXPECT_TRUE(PickerAccepts(st, ".P.*"));
  EXPECT_EQ(st.rememberedPath, ".Q");
}

TEST(Pickers, TreePathsOfDSDirsAndSeries) {
  PickerFixture f;
  f.store.ShowDSFTree(true);
  const TreeNode& root = f.store.Tree;
  auto find = [](const TreeNode& n, const std::string& cap) {
    for (size_t k = 0; k < n.children.size(); ++k)
      if (n.children[k].caption == cap) return int(k);
    return -1;
  };
  int a = find(root, "A");
  ASSERT_GE(a, 0);
  int b = find(root.children[size_t(a)], "B");
  int s = find(root.children[size_t(a)], "S");
  ASSERT_GE(b, 0);
  ASSERT_GE(s, 0);
  EXPECT_EQ(PickTreePath(root, {a, b}, false), ".A.B&");
  EXPECT_EQ(PickTreePath(root, {a, b}, true), ".A.B");
  EXPECT_EQ(PickTreePath(root, {a, s}, false), ".A.S");
  EXPECT_EQ(PickTreePath(root, {}, false), "");
}

// ---- The selection prompt and its steps ----

TEST(Prompt, SingleAndRangeTakeTheGridSelectionOrTypedLetters) {
  Fixture f;
  f.ws.BeginColumnSelect("Column to name:", kOpName);
  EXPECT_TRUE(f.ws.PromptVisible);
  EXPECT_FALSE(f.ws.Edit2Shown);
  EXPECT_EQ(f.ws.Label2, " ");
  f.ws.SelectionLeft = f.ws.SelectionRight = 4;
  f.ws.UpdateSelectionEdits();
  EXPECT_EQ(f.ws.Edit1, "C ");
  f.window.names = {".N1"};
  f.ws.CSelOKClick();
  EXPECT_FALSE(f.ws.PromptVisible);
  EXPECT_EQ(f.window.nameDialogs, 1);
  EXPECT_EQ(f.Col(2).Descriptor().path, ".N1");
  EXPECT_EQ(f.ws.HeaderLines[2], " C        .N1");

  f.ws.BeginColumnRangeSelect("Range of columns to save:", kOpSaveRange);
  EXPECT_EQ(f.ws.Label2, "to");
  f.ws.Edit1 = "zz";  // typed letters are clamped
  f.ws.Edit2 = "zz";
  f.ws.CSelOKClick();
  EXPECT_EQ(f.ws.FirstSelCol, 509);
  EXPECT_EQ(f.ws.LastSelCol, 509);

  // Cancel runs nothing.
  f.ws.BeginColumnSelect("Column to name:", kOpName);
  f.ws.CSelCanClick();
  EXPECT_EQ(f.window.nameDialogs, 1);
  EXPECT_FALSE(f.ws.PromptVisible);
  EXPECT_FALSE(f.ws.SingleSelectActive);
}

TEST(Prompt, SaveRangeAsksForUnnamedColumnsAndStopsAtTheStoresFailure) {
  Fixture f;
  f.Attach();
  f.Fill(0, 0, 2);
  f.Col(0).Descriptor().path = ".S0";
  f.Fill(1, 0, 2);  // unnamed: asked, cancelled, skipped
  f.Fill(2, 0, 2);  // unnamed: asked, named
  f.Fill(3, 0, 2);
  f.Col(3).Descriptor().path = ".D.";  // legal by the rule, refused by the store
  f.Fill(4, 0, 2);
  f.Col(4).Descriptor().path = ".S4";
  f.window.names = {"", ".S2"};
  f.ws.BeginColumnRangeSelect("Range of columns to save:", kOpSaveRange);
  f.ws.Edit1 = "A";
  f.ws.Edit2 = "E";
  f.ws.CSelOKClick();
  EXPECT_EQ(f.window.nameDialogs, 2);
  EXPECT_EQ(f.ws.FirstSelCol, 2);
  EXPECT_FALSE(f.Col(0).modified);
  EXPECT_TRUE(f.store.FailureFlag);
  ASSERT_FALSE(f.prompts.messages.empty());
  // Saved before the failure, not after it.
  bool failure;
  DSDirEntry e;
  f.store.FindDSFEntry(".S2", failure, e);
  EXPECT_TRUE(e.Used());
  f.store.FindDSFEntry(".S4", failure, e);
  EXPECT_FALSE(e.Used());
}

TEST(Prompt, LoadXSetYofXSetAndDecimals) {
  Fixture f;
  f.Attach();
  f.store.MakeDSDir(".L");
  f.Fill(0, 0, 3);
  f.store.SaveSeries(f.Col(0), ".L.S1");
  f.Fill(0, 0, 3, 2);
  f.store.SaveSeries(f.Col(0), ".L.S2");
  f.store.FreeSeries(f.Col(0));
  f.ws.SeriesPath = ".L.&";
  f.ws.BeginColumnSelect("Column at which to start loading:", kOpLoadSeries);
  f.ws.Edit1 = "D";
  f.ws.CSelOKClick();
  ASSERT_TRUE(f.Col(3).IsOpen());
  ASSERT_TRUE(f.Col(4).IsOpen());
  EXPECT_EQ(f.ws.CellText(4, 3), "      6.00000");

  f.ws.BeginColumnSelect("Select a Current X Column", kOpXSet);
  f.ws.Edit1 = "D";
  f.ws.CSelOKClick();
  EXPECT_EQ(f.ws.XColumn, 3);
  f.ws.BeginColumnRangeSelect("", kOpYofXSet);
  f.ws.Edit1 = "E";
  f.ws.Edit2 = "F";
  f.ws.CSelOKClick();
  EXPECT_EQ(f.Col(4).xSlot, &f.Col(3));
  EXPECT_EQ(f.ws.HeaderLines[4], " E (D )   .L.S2");
  f.ws.ClearXClick();
  f.ws.BeginColumnRangeSelect("", kOpYofXSet);
  f.ws.Edit1 = "E";
  f.ws.Edit2 = "E";
  f.ws.CSelOKClick();
  EXPECT_EQ(f.Col(4).xSlot, nullptr);  // no X column: the link is cleared

  f.window.digits = 3;
  f.ws.BeginColumnRangeSelect("Specify range of columns", kOpDecimals);
  f.ws.Edit1 = "E";
  f.ws.Edit2 = "E";
  f.ws.CSelOKClick();
  EXPECT_EQ(f.window.startSpec, -2);
  EXPECT_EQ(f.ws.CellText(4, 3), "        6.000");
  EXPECT_EQ(f.ws.DecimalSpec[3], -2);
}

}  // namespace
}  // namespace krv::series
