// The least-squares set-up without its windows: the source scan and its
// messages, the check against the store, the data-control commands with
// the problem's series layout, and the run options.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "platform/byte_io.h"
#include "platform/user_prompts.h"
#include "series/LSQU.h"
#include "series/LSQrunU.h"
#include "series/WkUnit.h"
#include "testing/case_name.h"
#include "testing/temp_dir.h"

namespace krv::series {
namespace {

using Messages = std::vector<std::string>;
using krv::testing::ScopedCwd;
using krv::testing::TempDir;

// A model's parameter block with two parameters, one commented out, an
// observed and an input variable and a run: the example the layout is
// checked against.
const char* const kFixtureF =
    "PROCEDURE PARSET;\n"
    "BEGIN\n"
    "  dLSQSETUP('FIT','PR1');\n"
    "  _LSQBETA('K1',K1);\n"
    "  { _LSQBETA('HID',HID); }\n"
    "  _LSQBETA('K2',K2);\n"
    "  LSQDEP('Y',_X.Y);\n"
    "  _LSQINDEP('U',_X.U);\n"
    "  _DLSQRUN('R1');\n"
    "END;\n";

std::string Betas(int n, int from = 1) {
  std::string s;
  for (int k = from; k < from + n; ++k) s += "_LSQBETA('B" + std::to_string(k) + "');\n";
  return s;
}

// ---- The scanner ----

TEST(SourceScanner, SkipsBothCommentKindsButNotQuotesOrSlashes) {
  SourceScanner s("{ LSQDEP } (* LSQDEP *) (*) LSQDEP *) 'LSQDEP' // LSQDEP");
  ASSERT_TRUE(s.FindSourceKeyword("lsqdep"));
  EXPECT_EQ(s.Position, s.Text().find("'LSQDEP'") + 1);
  s.Position += 6;
  ASSERT_TRUE(s.FindSourceKeyword("LSQDEP"));
  EXPECT_EQ(s.Position, s.Text().rfind("LSQDEP"));
}

TEST(SourceScanner, AMatchMayEndOnTheLastCharacter) {
  SourceScanner s("x LSQDEP");
  EXPECT_TRUE(s.FindSourceKeyword("LSQDEP"));
  SourceScanner q("LSQDEP('Y'");  // the closing quote is the last character
  ASSERT_TRUE(q.FindSourceKeyword("LSQDEP"));
  EXPECT_EQ(q.ReadQuotedArgument(), "Y");
  EXPECT_TRUE(q.ArgumentOk);
  EXPECT_EQ(q.Position, q.Text().size());
}

TEST(SourceScanner, AMissingQuoteEmptiesEveryLaterArgument) {
  SourceScanner s("'A' 'B");
  EXPECT_EQ(s.ReadQuotedArgument(), "A");
  EXPECT_EQ(s.ReadQuotedArgument(), "");
  EXPECT_FALSE(s.ArgumentOk);
  s.Position = 0;
  EXPECT_EQ(s.ReadQuotedArgument(), "");
  SourceScanner longOne("'" + std::string(200, 'x') + "'");
  EXPECT_EQ(longOne.ReadQuotedArgument().size(), 127u);
}

// ---- The scan with its messages, as "LSQ setup" shows them ----

struct ScanCase {
  std::string name;
  std::string psy, qtl, anyFile;
  Messages messages;  // everything "LSQ setup" shows, up to the check
  int betas = -1, deps = -1, indeps = -1, runs = -1;
  bool runEnabled = false;
  std::string firstBeta;
};

class Scan : public ::testing::TestWithParam<ScanCase> {};

TEST_P(Scan, FillsTheRecordAndShowsTheMessages) {
  const ScanCase& c = GetParam();
  TempDir dir;
  ScopedCwd cwd(dir.path());
  platform::ScriptedPrompts prompts;  // the question about the missing store: No
  SeriesStore store;
  Worksheet sheet(store);
  LsqControl lsq(store, sheet);
  LsqSetupRecord before = lsq.Current;
  lsq.Button5Click({c.psy, c.qtl, c.anyFile});
  Messages shown = prompts.messages;
  // A scan that gets as far as the check finds no store here.
  if (!shown.empty() && shown.back() == "FIT.DSF not found in the current directory") shown.pop_back();
  EXPECT_EQ(shown, c.messages);
  EXPECT_EQ(int(lsq.Scan.BetaCount), c.betas);
  EXPECT_EQ(int(lsq.Scan.DepCount), c.deps);
  EXPECT_EQ(int(lsq.Scan.IndepCount), c.indeps);
  EXPECT_EQ(int(lsq.Scan.RunCount), c.runs);
  EXPECT_EQ(lsq.Scan.RunEnabled, c.runEnabled);
  if (c.betas >= 0) { EXPECT_EQ(lsq.Scan.BetaNames[0], c.firstBeta); }
  // Declined: the current record stays as it was.
  EXPECT_EQ(lsq.Current.BetaCount, before.BetaCount);
}

const std::string kHead = "LSQSETUP('FIT','PR1');\n";
const std::string kTwenty = "{ twenty characters and more }";

INSTANTIATE_TEST_SUITE_P(
    Table, Scan,
    ::testing::Values(
        ScanCase{"FixtureF", kFixtureF, "", "", {}, 1, 0, 0, 0, true, "K1"},
        ScanCase{"CommentedMarkersIgnoredQuotedAndSlashedFound",
                 kHead + "{ _LSQBETA('A') } (* _LSQBETA('B') *) // _LSQBETA('C')\nS := ' _LSQBETA 'D';", "", "", {},
                 1, -1, -1, -1, false, "C"},
        ScanCase{"LowerCaseDEnablesRuns", "x dlsqsetup('FIT','PR1'); _LSQBETA('K'); _DLSQRUN('R')" + kTwenty, "",
                 "", {}, 0, -1, -1, 0, true, "K"},
        ScanCase{"RunsUnreadWithoutD", kHead + "_LSQBETA('K'); _DLSQRUN('R')", "", "", {}, 0, -1, -1, -1, false,
                 "K"},
        ScanCase{"ShortPsyScansTheModelSource", "LSQSETUP('A','B')", kHead + "_LSQBETA('Q')", "", {}, 0, -1, -1,
                 -1, false, "Q"},
        ScanCase{"AnyFileEditorLast", kTwenty, "no markers", kHead + "_LSQBETA('Z')", {}, 0, -1, -1, -1, false,
                 "Z"},
        ScanCase{"NoSetupAnywhere", kTwenty, "", "", {"No LSQ code found", "No LSQ source code found."}},
        ScanCase{"SetupWithoutParameters", kHead + kTwenty + "LSQDEP('Y')", "", "", {"No LSQ source code found."},
                 -1, 0, -1, -1},
        ScanCase{"MissingClosingQuote", "LSQSETUP('FIT','PR1); _LSQBETA(K)" + kTwenty, "", "",
                 {"LSQSETUP err", "No LSQ source code found."}},
        ScanCase{"OneMarkerCountsOnce", kHead + "_LSQBETA('K')" + kTwenty, "", "", {}, 0, -1, -1, -1, false, "K"},
        ScanCase{"SixteenthParameter", kHead + Betas(16) + "LSQDEP('Y'); _LSQINDEP('U');", "", "",
                 {"Too many B"}, 14, -1, -1, -1, false, "B1"},
        ScanCase{"NinthObserved",
                 kHead + Betas(1) +
                     "LSQDEP('D1') LSQDEP('D2') LSQDEP('D3') LSQDEP('D4') LSQDEP('D5') LSQDEP('D6') LSQDEP('D7') "
                     "LSQDEP('D8') LSQDEP('D9') _LSQINDEP('U')",
                 "", "", {"Too many D"}, 0, 7, -1, -1, false, "B1"},
        ScanCase{"FortyFirstRun", "D" + kHead + Betas(1) + [] {
          std::string s;
          for (int k = 0; k < 41; ++k) s += "_DLSQRUN('R" + std::to_string(k) + "')";
          return s;
        }(), "", "", {"Too many R"}, 0, -1, -1, 39, true, "B1"},
        // Names that cannot be a DSDir of their own below the problem.
        ScanCase{"EmptyName", kHead + "_LSQBETA('')" + kTwenty, "", "", {"Bad LSQ name: "}},
        ScanCase{"LongName", kHead + "_LSQBETA('" + std::string(26, 'N') + "')", "", "",
                 {"Bad LSQ name: " + std::string(26, 'N')}},
        ScanCase{"DottedName", kHead + "_LSQBETA('A.B')" + kTwenty, "", "", {"Bad LSQ name: A.B"}},
        ScanCase{"BlankInName", kHead + "_LSQBETA('A B')" + kTwenty, "", "", {"Bad LSQ name: A B"}},
        ScanCase{"WildcardName", kHead + "_LSQBETA('K1') LSQDEP('Y*')" + kTwenty, "", "", {"Bad LSQ name: Y*"}, 0,
                 -1, -1, -1, false, "K1"},
        ScanCase{"RepeatedAcrossLists", kHead + "_LSQBETA('K1') _LSQINDEP('k1')" + kTwenty, "", "",
                 {"Bad LSQ name: k1"}, 0, -1, -1, -1, false, "K1"},
        ScanCase{"ControlsName", kHead + "_LSQBETA('controls')" + kTwenty, "", "", {"Bad LSQ name: controls"}},
        ScanCase{"TimeWithD", "D" + kHead + "_LSQBETA('Time')" + kTwenty, "", "", {"Bad LSQ name: Time"}, -1, -1,
                 -1, -1, true},
        ScanCase{"TimeWithoutD", kHead + "_LSQBETA('Time')" + kTwenty, "", "", {}, 0, -1, -1, -1, false, "Time"},
        ScanCase{"BadProblemName", "LSQSETUP('FIT','P&Q') _LSQBETA('K')" + kTwenty, "", "",
                 {"Bad LSQ name: P&Q"}},
        ScanCase{"EmptyStoreName", "LSQSETUP('','PR1') _LSQBETA('K')" + kTwenty, "", "", {"Bad LSQ name: "}}),
    krv::testing::CaseName());

// ---- The check against the store ----

struct Stores {
  TempDir dir;
  ScopedCwd cwd{dir.path()};
  platform::ScriptedPrompts prompts;
  SeriesStore store;
  Worksheet sheet{store};
  LsqControl lsq{store, sheet};

  // The fixture's record as "LSQ setup" would take it, the store made
  // through "New LSQ problem".
  void NewFixtureProblem() {
    ASSERT_EQ(ScanLsqSetup({kFixtureF, "", ""}, lsq.Scan), ScanResult::Read);
    lsq.Current = lsq.Scan;
    lsq.SetupBtClick();
    ASSERT_EQ(prompts.messages, Messages{"Finished"});
    prompts.messages.clear();
  }
  std::vector<std::string> Paths() {
    store.Log.Reset();
    store.ListDSFNames("&");
    return store.Log.Lines();
  }
  int32_t Record(const std::string& path) {
    bool failure;
    DSDirEntry e;
    store.FindDSFEntry(path, failure, e);
    return failure ? -2 : e.record;
  }
};

struct Dialogs : LsqWindows {
  std::vector<std::string> captions;
  bool worksheetCloses = true;
  int worksheetShown = 0, closes = 0;
  std::optional<std::string> line;
  bool runOk = false;
  void ShowDialog(const std::string& caption) override { captions.push_back(caption); }
  void ShowWorksheet() override { ++worksheetShown; }
  bool CloseWorksheet() override { return worksheetCloses; }
  void CloseDialog() override { ++closes; }
  std::optional<std::string> SelectLogLine(const std::string&) override { return line; }
  bool RunOptions() override { return runOk; }
};

TEST(CheckLSQProblemSeries, ResultsZeroToThreeWithTheirMessages) {
  Stores s;
  LsqSetupRecord r;
  ASSERT_EQ(ScanLsqSetup({kFixtureF, "", ""}, r), ScanResult::Read);
  EXPECT_EQ(CheckLSQProblemSeries(r), 0);
  EXPECT_EQ(s.prompts.messages, Messages{"FIT.DSF not found in the current directory"});

  s.store.CreateDSF("FIT");
  s.store.MakeDSDir(".OTHER");
  s.prompts.messages.clear();
  EXPECT_EQ(CheckLSQProblemSeries(r), 3);
  EXPECT_EQ(s.prompts.messages, Messages{"PR1 not found in FIT"});

  s.store.MakeDSDir(".PR1");
  for (const char* d : {".PR1.K1", ".PR1.K2", ".PR1.U"}) s.store.MakeDSDir(d);
  s.prompts.messages.clear();
  EXPECT_EQ(CheckLSQProblemSeries(r), 2);  // Y, the observed variable, is checked last
  EXPECT_EQ(s.prompts.messages, Messages{"Y not found in PR1"});

  s.store.MakeDSDir(".PR1.Y");
  s.prompts.messages.clear();
  EXPECT_EQ(CheckLSQProblemSeries(r), 1);
  EXPECT_TRUE(s.prompts.messages.empty());
  // The check looks through a store of its own: the one attached stays.
  EXPECT_TRUE(s.store.IsAttached());
}

TEST(LsqSetupCommand, OpensTheDialogForEachState) {
  Stores s;
  Dialogs d;
  s.lsq.SetWindows(&d);
  // No store: asked, No stops.
  s.lsq.Button5Click({kFixtureF, "", ""});
  EXPECT_EQ(s.prompts.questions, Messages{"LSQ source code in final form for PR1 now?"});
  EXPECT_TRUE(d.captions.empty());
  EXPECT_EQ(s.lsq.Current.BetaCount, -1);
  // Yes opens it for state 0: "New LSQ problem" offered, the worksheet closed.
  s.prompts.answers = {platform::Answer::Yes};
  s.lsq.Button5Click({kFixtureF, "", ""});
  EXPECT_EQ(d.captions, Messages{"PR1 in FIT.DSF"});
  EXPECT_EQ(s.lsq.ProblemState, 0);
  EXPECT_EQ(s.lsq.Buttons, EnableLSQButtons(0, false));
  EXPECT_TRUE(s.lsq.Buttons.SetupBt && s.lsq.Buttons.OpenBt && !s.lsq.Buttons.ShowWkBt);
  EXPECT_EQ(s.lsq.Current.BetaNames[1], "K2");

  // Present problem: no question, state 1.
  s.lsq.SetupBtClick();
  s.store.CloseDSF();
  s.prompts.messages.clear();
  s.prompts.questions.clear();
  s.lsq.Button5Click({kFixtureF, "", ""});
  EXPECT_TRUE(s.prompts.questions.empty());
  EXPECT_EQ(s.lsq.ProblemState, 1);
  EXPECT_FALSE(s.lsq.Buttons.SetupBt);

  // A source naming a variable the store lacks: three messages, no dialog.
  std::string more = std::string(kFixtureF) + "_LSQINDEP('W',_X.W);";
  d.captions.clear();
  s.lsq.Button5Click({more, "", ""});
  EXPECT_EQ(s.prompts.messages,
            (Messages{"W not found in PR1", "Source code does not agree with database--reconcile.",
                      "LSQ problem in database is missing some variables that are in source.",
                      "One way to reconcile is to change to new problem name."}));
  EXPECT_TRUE(d.captions.empty());
}

// A store that cannot be read is said once, with the file and what is
// wrong, and "LSQ setup" stops there: no question, no dialog, and nothing
// in the file is changed.
TEST(LsqSetupCommand, AnUnusableStoreIsOneMessageAndStops) {
  struct Case {
    const char* name;
    std::function<void(std::string&)> spoil;
    const char* fault;
  } cases[] = {
      {"cut short by a record", [](std::string& b) { b.resize(b.size() - 128); }, "DSF file has been damaged"},
      {"grown by a record", [](std::string& b) { b += std::string(128, '\0'); }, "DSF file has been damaged"},
      {"root DSDir block garbled", [](std::string& b) { std::fill(b.begin() + 128, b.begin() + 256, '\xff'); },
       "DSF file has been damaged"},
      {"the problem's blocks garbled, and grown",
       [](std::string& b) {
         std::fill(b.begin() + 256, b.end(), '\xa5');
         b += std::string(128, '\0');
       },
       "DSF file has been damaged"},
      {"an old layout", [](std::string& b) { b.replace(0, 4, std::string(4, '\0')); },
       "DSF file must be converted to new format"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Stores s;
    s.NewFixtureProblem();
    s.store.CloseDSF();
    std::string bytes;
    ASSERT_TRUE(platform::ReadFileBytes("FIT.DSF", bytes));
    c.spoil(bytes);
    ASSERT_TRUE(platform::WriteFileAtomic("FIT.DSF", bytes));
    Dialogs d;
    s.lsq.SetWindows(&d);
    s.prompts.answers = {platform::Answer::Yes};
    s.lsq.Button5Click({kFixtureF, "", ""});
    EXPECT_EQ(s.prompts.messages, Messages{s.dir.File("FIT.DSF") + ": " + c.fault});
    EXPECT_TRUE(s.prompts.questions.empty());
    EXPECT_TRUE(d.captions.empty());
    std::string after;
    ASSERT_TRUE(platform::ReadFileBytes("FIT.DSF", after));
    EXPECT_EQ(after, bytes);
  }
}

TEST(EnableLSQButtons, FollowTheStateAndTheWorksheet) {
  for (int r : {0, 1, 3})
    for (bool open : {false, true}) {
      LsqButtons b = EnableLSQButtons(r, open);
      EXPECT_EQ(b.SetupBt, r != 1);
      EXPECT_EQ(b.OpenBt, !open);
      EXPECT_EQ(b.CopyBt, !open);
      EXPECT_EQ(b.RunBt, !open);
      EXPECT_EQ(b.ShowWkBt, open);
      EXPECT_EQ(b.CloseWksBt, open);
      EXPECT_TRUE(b.CloseWinBt);
    }
}

// ---- "New LSQ problem" ----

TEST(NewLsqProblem, WritesTheLayoutInTheOrderOfItsSteps) {
  Stores s;
  s.NewFixtureProblem();  // the store did not exist: made without a word
  EXPECT_EQ(s.lsq.ProblemState, 1);
  EXPECT_EQ(s.lsq.Buttons, EnableLSQButtons(1, false));
  struct {
    const char* path;
    int32_t record;
  } at[] = {{".PR1", 2},          {".PR1.Controls", 3}, {".PR1.K1", 5},        {".PR1.K1.Start", 6},
            {".PR1.K1.Value", 8}, {".PR1.K1.RangeLo", 10}, {".PR1.K1.RangeUp", 12}, {".PR1.K1.Delta", 15},
            {".PR1.K2", 17}};
  for (auto& a : at) EXPECT_EQ(s.Record(a.path), a.record) << a.path;
  EXPECT_EQ(s.Paths(),
            (Messages{"     .PR1.Controls", "     .PR1.K1.Start", "     .PR1.K1.Value", "     .PR1.K1.RangeLo",
                      "     .PR1.K1.RangeUp", "     .PR1.K1.Delta", "     .PR1.K2.Start", "     .PR1.K2.Value",
                      "     .PR1.K2.RangeLo", "     .PR1.K2.RangeUp", "     .PR1.K2.Delta", "     .PR1.Y.Value",
                      "     .PR1.Y.Weight", "     .PR1.Time.Value", "     .PR1.U.Value"}));
  ColumnSlot c;
  s.store.OpenSeries(c, ".PR1.Controls");
  for (int i = 0; i <= 21; ++i)
    EXPECT_EQ(s.store.GetVal(c, int16_t(i)), i == 21 ? MissingValue : (i >= 1 && i <= 5 ? 0.f : 1.f)) << i;
  s.store.OpenSeries(c, ".PR1.K2.Delta");
  EXPECT_TRUE(c.Header().Empty());
}

TEST(NewLsqProblem, StopsAtTheFirstFailureWithoutFinished) {
  Stores s;
  s.NewFixtureProblem();
  // The problem there already.
  s.lsq.SetupBtClick();
  EXPECT_EQ(s.prompts.messages, (Messages{"Directory already exists", "Unable to create PR1"}));

  // A record that did not come through the scan: a name given twice.
  s.prompts.messages.clear();
  s.lsq.Current.ProblemName = "PR2";
  s.lsq.Current.BetaNames[1] = "K1";
  s.lsq.SetupBtClick();
  EXPECT_EQ(s.prompts.messages, (Messages{"Directory already exists", "Unable to create .PR2.K1"}));
  EXPECT_EQ(s.Record(".PR2.Y"), -1);  // nothing after the failure
  EXPECT_EQ(s.lsq.ProblemState, 1);

  // A store that cannot be attached nor made closes the dialog.
  Dialogs d;
  s.lsq.SetWindows(&d);
  s.store.CloseDSF();
  s.dir.Write("BAD.DSF", "not a store");
  s.prompts.messages.clear();
  s.lsq.Current.DsfName = "BAD";
  s.lsq.SetupBtClick();
  EXPECT_EQ(s.prompts.messages.back(), kStoreNotAccessible);
  EXPECT_EQ(d.closes, 1);
  EXPECT_EQ(s.dir.Read("BAD.DSF"), "not a store");
}

// ---- The worksheet ----

TEST(OpenWorksheet, PutsTheProblemsSeriesInColumnOrder) {
  Stores s;
  Dialogs d;
  s.lsq.SetWindows(&d);
  s.sheet.FormCreate();
  s.NewFixtureProblem();
  s.store.CloseDSF();  // "Open Worksheet" attaches it again
  s.lsq.OpenBtClick();
  EXPECT_TRUE(s.prompts.messages.empty());
  EXPECT_EQ(d.worksheetShown, 1);
  EXPECT_TRUE(s.lsq.WorksheetOpen);
  EXPECT_EQ(s.lsq.Buttons, EnableLSQButtons(1, true));
  const char* columns[] = {".PR1.Controls",   ".PR1.K1.Start",   ".PR1.K1.Value",  ".PR1.K1.RangeLo",
                           ".PR1.K1.RangeUp", ".PR1.K1.Delta",   ".PR1.K2.Start",  ".PR1.K2.Value",
                           ".PR1.K2.RangeLo", ".PR1.K2.RangeUp", ".PR1.K2.Delta",  ".PR1.Y.Value",
                           ".PR1.Y.Weight",   ".PR1.Time.Value", ".PR1.U.Value"};
  for (int c = 0; c < 15; ++c) {
    ASSERT_TRUE(s.sheet.Slot(c).IsOpen()) << c;
    EXPECT_EQ(s.sheet.Slot(c).Descriptor().path, columns[c]) << c;
  }
  EXPECT_FALSE(s.sheet.Slot(15).IsOpen());
  EXPECT_EQ(s.sheet.Label4, "Current DSDir path in file FIT");
  EXPECT_EQ(s.sheet.DSDirLbl, ".PR1");
  EXPECT_EQ(s.store.CurrentDSDirPath, ".PR1");
}

TEST(CloseWorksheet, SavesTheProblemAndFollowsTheWorksheetsOwnClose) {
  Stores s;
  Dialogs d;
  s.lsq.SetWindows(&d);
  s.sheet.FormCreate();
  s.NewFixtureProblem();
  s.lsq.OpenBtClick();
  // Data typed: K1's start value, and an observation.
  s.store.PutVal(s.sheet.Slot(1), 0, 2.5);
  s.sheet.Slot(1).modified = true;
  s.store.PutVal(s.sheet.Slot(11), 3, 7.0);
  s.sheet.Slot(11).modified = true;
  // The worksheet's close runs when the window closes; here by hand.
  d.worksheetCloses = true;
  s.lsq.CloseWksBtClick();
  s.sheet.FormClose();
  EXPECT_FALSE(s.lsq.WorksheetOpen);
  EXPECT_EQ(s.lsq.Buttons, EnableLSQButtons(1, false));
  // The worksheet detached the store: the dialog knows, and attaches again.
  EXPECT_FALSE(s.lsq.Attached());
  s.lsq.OpenBtClick();
  EXPECT_TRUE(s.prompts.messages.empty());
  EXPECT_EQ(s.store.GetVal(s.sheet.Slot(1), 0), 2.5f);
  EXPECT_EQ(s.store.GetVal(s.sheet.Slot(11), 3), 7.0f);

  // A worksheet that refuses to close keeps the flag: no reload over it.
  d.worksheetCloses = false;
  s.lsq.FormClose();
  EXPECT_TRUE(s.lsq.WorksheetOpen);
  s.lsq.FormActivate();
  EXPECT_FALSE(s.lsq.Buttons.OpenBt);
  EXPECT_TRUE(s.store.IsAttached());
  // Closed with the dialog: the store stays as the worksheet left it.
  d.worksheetCloses = true;
  s.lsq.FormClose();
  EXPECT_FALSE(s.lsq.WorksheetOpen);
}

TEST(CloseDialog, DetachesTheStoreWhenNoWorksheetHoldsIt) {
  Stores s;
  s.NewFixtureProblem();
  EXPECT_TRUE(s.lsq.Attached());
  s.lsq.FormClose();
  EXPECT_FALSE(s.store.IsAttached());
}

// ---- Copying from a similar problem ----

TEST(CopyData, CopiesWhatThereIsAndNamesWhatIsMissing) {
  Stores s;
  Dialogs d;
  s.lsq.SetWindows(&d);
  s.NewFixtureProblem();
  // A source problem with K1's start value only, Y's values but no weights,
  // no Time and no U.
  for (const char* dir : {".OLD", ".OLD.K1", ".OLD.Y"}) s.store.MakeDSDir(dir);
  ColumnSlot c;
  s.store.OpenSeriesInSlot(c, "", "");
  s.store.PutVal(c, 0, 4.25);
  s.store.SaveSeries(c, ".OLD.K1.Start");
  s.store.PutVal(c, 1, 9);
  s.store.SaveSeries(c, ".OLD.Y.Value");
  d.line = "(dir).OLD";
  s.lsq.CopyBtClick();
  EXPECT_EQ(s.store.Log.Lines(), (Messages{"(dir).PR1", "(dir).OLD"}));
  EXPECT_EQ(s.prompts.messages,
            (Messages{"Cannot find .OLD.Time.Value", "Cannot find .OLD.U.Value", "Finished"}));
  s.store.OpenSeries(c, ".PR1.K1.Start");
  EXPECT_EQ(s.store.GetVal(c, 0), 4.25f);
  s.store.OpenSeries(c, ".PR1.Y.Value");
  EXPECT_EQ(s.store.GetVal(c, 1), 9.f);
  s.store.OpenSeries(c, ".PR1.K1.Value");
  EXPECT_TRUE(c.Header().Empty());

  // Cancel, or SELECT without a marked line, copies nothing.
  s.prompts.messages.clear();
  d.line.reset();
  s.lsq.CopyBtClick();
  EXPECT_TRUE(s.prompts.messages.empty());
}

TEST(CopyData, WithoutRunsTimeIsNotCopied) {
  Stores s;
  Dialogs d;
  s.lsq.SetWindows(&d);
  std::string src = kFixtureF;
  src.replace(src.find("dLSQSETUP"), 1, " ");
  ASSERT_EQ(ScanLsqSetup({src, "", ""}, s.lsq.Scan), ScanResult::Read);
  s.lsq.Current = s.lsq.Scan;
  s.lsq.SetupBtClick();
  EXPECT_EQ(s.Record(".PR1.Time"), -1);
  s.prompts.messages.clear();
  d.line = "(dir).PR1";
  s.lsq.CopyBtClick();
  EXPECT_EQ(s.prompts.messages, Messages{"Finished"});
}

TEST(SetUpForRun, ReadyOnlyAfterOk) {
  Stores s;
  Dialogs d;
  s.lsq.SetWindows(&d);
  s.lsq.RunBtClick();
  EXPECT_TRUE(s.prompts.messages.empty());
  EXPECT_EQ(d.closes, 0);
  d.runOk = true;
  s.lsq.RunBtClick();
  EXPECT_EQ(s.prompts.messages, Messages{"Ready for LSQ run"});
  EXPECT_EQ(d.closes, 1);
}

// ---- Run options ----

TEST(RunOptionControls, FollowRunsKindAndMode) {
  struct {
    bool d;
    int kind, mode;
    RunOptionControls c;
  } rows[] = {
      {false, 0, 0, {true, true, false, false, false}},  {false, 0, 1, {true, true, true, false, false}},
      {false, 1, 1, {true, false, false, false, false}}, {false, 2, 0, {true, false, false, true, true}},
      {true, 0, 1, {false, false, false, false, false}}, {true, 2, 1, {false, false, false, true, true}},
  };
  for (auto& r : rows)
    EXPECT_EQ(UpdateRunOptionControls(r.d, r.kind, r.mode), r.c) << r.d << r.kind << r.mode;
}

struct RunStores : Stores {
  LsqRunDialog run;
  RunOptionEntries shown;
  std::string caption;
  // A problem with `betas` parameters, made through "New LSQ problem".
  void Problem(int betas, bool d = false) {
    std::string src = std::string(d ? "D" : "") + "LSQSETUP('FIT','P') " + Betas(betas);
    ASSERT_EQ(ScanLsqSetup({src, "", ""}, lsq.Scan), ScanResult::Read);
    lsq.Current = lsq.Scan;
    lsq.SetupBtClick();
    prompts.messages.clear();
  }
  std::vector<float> Controls() {
    ColumnSlot c;
    store.OpenSeries(c, ".P.Controls");
    std::vector<float> v;
    for (int i = 0; i <= 21; ++i) v.push_back(store.GetVal(c, int16_t(i)));
    return v;
  }
  void PutControl(int i, double v) {
    ColumnSlot c;
    store.OpenSeries(c, ".P.Controls");
    store.PutVal(c, int16_t(i), v);
    store.SaveSeries(c, ".P.Controls");
  }
};

TEST(RunOptions, ThreeParametersFillTheRestWithOnes) {
  RunStores s;
  s.Problem(3);
  ASSERT_TRUE(s.run.FormActivate(s.store, s.lsq.Current, s.shown, s.caption));
  EXPECT_EQ(s.caption, "Options for P");
  EXPECT_EQ(s.shown.RunKind, 1);
  EXPECT_FALSE(s.shown.ConvergenceDebug);  // a new problem's [5] is 0
  EXPECT_EQ(s.shown.Names, (Messages{"B1", "B2", "B3"}));
  EXPECT_EQ(s.shown.Counts, (Messages{"1", "1", "1"}));
  RunOptionEntries e = s.shown;
  e.RunKind = 2;
  e.LogGrid = true;
  e.ObservationNumber = " 12 ";
  e.Counts = {"4", "-3", "7"};
  ASSERT_TRUE(s.run.Button1Click(s.store, s.lsq.Current, e));
  std::vector<float> want = {2, 0, 12, 1, 0, 0, 4, -3, 7, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, MissingValue};
  EXPECT_EQ(s.Controls(), want);
  EXPECT_EQ(s.run.Options.RunKind, 2);
  EXPECT_EQ(s.run.Options.GridCounts[1], -3);
  // Read back as written.
  ASSERT_TRUE(s.run.FormActivate(s.store, s.lsq.Current, s.shown, s.caption));
  EXPECT_EQ(s.shown.Counts, (Messages{"4", "-3", "7"}));
  EXPECT_EQ(s.shown.ObservationNumber, "12");
  EXPECT_TRUE(s.shown.LogGrid);
}

TEST(RunOptions, FifteenParametersLeaveNoIndexToFill) {
  RunStores s;
  s.Problem(15);
  ASSERT_TRUE(s.run.FormActivate(s.store, s.lsq.Current, s.shown, s.caption));
  RunOptionEntries e = s.shown;
  for (int k = 0; k < 15; ++k) e.Counts[size_t(k)] = std::to_string(k + 2);
  ASSERT_TRUE(s.run.Button1Click(s.store, s.lsq.Current, e));
  std::vector<float> v = s.Controls();
  for (int k = 0; k < 15; ++k) EXPECT_EQ(v[size_t(6 + k)], float(k + 2)) << k;
}

TEST(RunOptions, MissingAndOversizedEntriesTakeStartValues) {
  RunStores s;
  s.Problem(3);
  ColumnSlot c;
  s.store.OpenSeriesInSlot(c, "", "");
  s.store.PutVal(c, 0, 300);     // beyond a byte
  s.store.PutVal(c, 2, 1e6);     // beyond 16 bits
  s.store.PutVal(c, 4, 1);       // [1], [3], [5] missing
  s.store.PutVal(c, 6, 32000);   // counts of 32000 or more are 1
  s.store.PutVal(c, 7, 2.5);     // halves go to even
  s.store.SaveSeries(c, ".P.Controls");  // [8] missing
  ASSERT_TRUE(s.run.FormActivate(s.store, s.lsq.Current, s.shown, s.caption));
  EXPECT_EQ(s.shown.RunKind, 1);
  EXPECT_EQ(s.shown.ObservationMode, 0);
  EXPECT_EQ(s.shown.ObservationNumber, "0");
  EXPECT_TRUE(s.shown.UseStartFile);
  EXPECT_TRUE(s.shown.ConvergenceDebug);
  EXPECT_FALSE(s.shown.LogGrid);
  EXPECT_EQ(s.shown.Counts, (Messages{"1", "2", "1"}));
}

TEST(RunOptions, FormatErrorsKeepTheDialogAndTheStore) {
  RunStores s;
  s.Problem(2);
  ASSERT_TRUE(s.run.FormActivate(s.store, s.lsq.Current, s.shown, s.caption));
  std::vector<float> before = s.Controls();
  LsqRunOptions options = s.run.Options;
  for (auto [number, count] : std::vector<std::pair<std::string, std::string>>{
           {"x", "1"}, {"", "1"}, {"1.5", "1"}, {"40000", "1"}, {"1", "abc"}, {"1", ""}, {"1", "70000"}}) {
    RunOptionEntries e = s.shown;
    e.ObservationNumber = number;  // checked even when its box is hidden
    e.Counts[1] = count;
    s.prompts.messages.clear();
    EXPECT_FALSE(s.run.Button1Click(s.store, s.lsq.Current, e)) << number << "/" << count;
    EXPECT_EQ(s.prompts.messages, Messages{"Format err"});
  }
  EXPECT_EQ(s.Controls(), before);
  EXPECT_EQ(s.run.Options, options);
}

TEST(RunOptions, ActivationFailuresAndAFailedSave) {
  RunStores s;
  LsqSetupRecord r;
  r.DsfName = "NONE";
  r.ProblemName = "P";
  s.shown.Counts = {"kept"};
  EXPECT_FALSE(s.run.FormActivate(s.store, r, s.shown, s.caption));
  EXPECT_EQ(s.prompts.messages.back(), kStoreNotAccessible);
  s.Problem(1);
  r = s.lsq.Current;
  r.ProblemName = "Q";
  EXPECT_FALSE(s.run.FormActivate(s.store, r, s.shown, s.caption));
  EXPECT_EQ(s.prompts.messages.back(), "Cannot find problem");
  EXPECT_TRUE(s.caption.empty());
  s.store.EraseSeries(".P.Controls");
  EXPECT_FALSE(s.run.FormActivate(s.store, s.lsq.Current, s.shown, s.caption));
  EXPECT_EQ(s.prompts.messages.back(), "No Controls series");
  EXPECT_EQ(s.caption, "Options for P");
  EXPECT_EQ(s.shown.Counts, Messages{"kept"});
  // The store closed meanwhile: nothing is written, no OK result.
  s.store.CloseDSF();
  RunOptionEntries e;
  e.Counts = {"1"};
  s.prompts.messages.clear();
  EXPECT_FALSE(s.run.Button1Click(s.store, s.lsq.Current, e));
  EXPECT_EQ(s.prompts.messages, Messages{kStoreNotAccessible});
}

TEST(RunOptions, WithRunsTheHiddenValuesAreStillWritten) {
  RunStores s;
  s.Problem(1, true);
  ASSERT_TRUE(s.run.FormActivate(s.store, s.lsq.Current, s.shown, s.caption));
  RunOptionEntries e = s.shown;
  e.RunKind = 0;
  e.ObservationMode = 1;
  e.UseStartFile = true;
  e.ObservationNumber = "5";
  ASSERT_TRUE(s.run.Button1Click(s.store, s.lsq.Current, e));
  std::vector<float> v = s.Controls();
  EXPECT_EQ(v[1], 1.f);
  EXPECT_EQ(v[2], 5.f);
  EXPECT_EQ(v[4], 1.f);
}

}  // namespace
}  // namespace krv::series
