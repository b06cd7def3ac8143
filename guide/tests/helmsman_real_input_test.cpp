// Helmsman as a modeller meets it: the installed program on a real display
// with a window manager, driven by real clicks and keys, with no terminal
// program on the PATH. The road to a fitted least-squares problem with its
// data typed into the worksheet, and the windows and messages that must come
// in front and say what went wrong.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <thread>


#include "guide/forms/DGW1.h"
#include "guide/forms/edit_source_form.h"
#include "guide/forms/find_form.h"
#include "guide/tests/lsq_fit_model.h"
#include "testing/read_only_dir.h"
#include "series/WkUnit.h"
#include "series/forms/TLSQfrm.h"
#include "series/forms/TLSQrunfrm.h"
#include "series/forms/TWkFrm.h"
#include "series/forms/series_windows.h"
#include "series/series_store.h"
#include "testing/form_places.h"
#include "testing/temp_dir.h"
#include "testing/x_session.h"

namespace fs = std::filesystem;
using namespace krv::testing;

namespace {

const char* const kMainTitle = "KRVGuide for v.6.04";
const char* const kBoxTitle = "Guide";  // every message box and question
constexpr auto kRunTimeout = std::chrono::seconds(120);

std::string Pgm() { return (fs::path(KRV_BIN_DIR).parent_path() / "Kravenor" / "PGM").string(); }

// Helmsman from the installed layout in a problem directory of its own, on
// a display of its own, with a PATH that holds every program of the
// machine's but x-terminal-emulator.
class HelmsmanWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(Pgm() + "/Helmsman")) GTEST_SKIP() << "no installed layout";
    const char* path = ::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
      std::error_code ec;
      for (const auto& e : fs::directory_iterator(dir, ec)) {
        const std::string name = e.path().filename().string();
        if (name != "x-terminal-emulator" && !fs::exists(tools_.File(name)))
          fs::create_symlink(e.path(), tools_.File(name), ec);
      }
    }
    env_["PATH"] = tools_.path();
  }

  // Starts Helmsman in `dir`; `unprivileged` so that permission bits bind
  // it also when the tests run as root.
  Window Start(const std::string& dir, bool unprivileged = false) {
    std::vector<std::string> args =
        unprivileged ? krv::testing::Unprivileged(Pgm() + "/Helmsman", {})
                     : std::vector<std::string>{Pgm() + "/Helmsman"};
    const std::string program = args.front();
    args.erase(args.begin());
    helmsman_ = StartProgram(program, args, dir, env_);
    return x_.WaitForWindow(kMainTitle);
  }

  // File: the problem `name` in `dir` chosen in the open dialog by its path.
  Window Choose(Window main, const std::string& dir, const std::string& name) {
    x_.Click(main, CenterOf(form_, "FileButton"));
    const Window open = x_.WaitForWindow("Open");
    x_.Type(open, dir + "/" + name + ".QTL");
    x_.Key(open, "Return");
    x_.WaitUntilGone(open);
    return main;
  }

  // Helmsman on LSQFIT in the work directory with its source editor open:
  // the main window, then the "Edit Source" window.
  std::pair<Window, Window> EditLsqFit() {
    const Window main = Choose(Start(work_.path()), work_.path(), "LSQFIT");
    x_.WaitForWindow("Guide:LSQFIT");
    return {main, OpenEditor(main)};
  }
  Window OpenEditor(Window main) {
    x_.Click(main, CenterOf(form_, "EditButton"));
    return x_.WaitForWindow("Edit Source LSQFIT");
  }

  // The message box or question in front, with the keyboard: answered by
  // `keys`, then gone.
  void Answer(const std::string& keys) {
    const Window box = x_.WaitForWindow(kBoxTitle);
    ExpectInFront(box);
    x_.Key(box, keys);
    x_.WaitUntilGone(box);
  }

  // `w` is the window on top and the one with the keyboard.
  void ExpectInFront(Window w) {
    EXPECT_TRUE(WaitUntil([&] { return x_.ActiveWindow() == w; }, kWindowTimeout, "the keyboard for " + x_.Title(w)));
    std::vector<Window> shown = x_.Windows();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), w) << x_.Title(shown.back()) << " is on top of " << x_.Title(w);
  }

  // No window titled `title` comes within `quiet`.
  bool NoneComes(const std::string& title, std::chrono::milliseconds quiet = 2s) {
    const auto end = std::chrono::steady_clock::now() + quiet;
    do {
      for (Window w : x_.Windows())
        if (x_.Title(w) == title) return false;
      std::this_thread::sleep_for(50ms);
    } while (std::chrono::steady_clock::now() < end);
    return true;
  }

  // Whether `file` in `dir` has come and holds `text`.
  bool WaitForText(const TempDir& dir, const std::string& file, const std::string& text,
                   std::chrono::milliseconds timeout = kRunTimeout) {
    return WaitUntil([&] { return dir.Has(file) && dir.Read(file).find(text) != std::string::npos; },
                     timeout, "\"" + text + "\" in " + file);
  }

  // Moves the dates of the directory's files back, as time passing would:
  // the next step's files are then plainly newer at two-second resolution.
  static void AgeFiles(const TempDir& dir) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir.path(), ec)) {
      const auto when = fs::last_write_time(e.path(), ec);
      if (!ec) fs::last_write_time(e.path(), when - std::chrono::seconds(10), ec);
    }
  }

  QApplication& app_ = OffscreenApplication();  // before any form
  XSession x_;
  TempDir tools_, work_;
  Environment env_;
  Program helmsman_;
  // The same windows offscreen, asked where their controls are.
  TForm1 form_{Pgm() + "/"};
  TEditFrm& edit_ = *form_.findChild<TEditFrm*>();
  krv::series::SeriesWindows& series_ = form_.SeriesForms();
};

// The worksheet's places, asked of the same window offscreen at the size of
// the real one (it opens maximized).
struct WorksheetPlaces {
  WorksheetPlaces(krv::series::TWkFrm& wk, Rect client) : wk(wk) {
    wk.resize(client.width, client.height);
    wk.show();
    PlaceOf(wk, "SG1");  // lays the window out
  }
  // The cell of `column` at `index`, inside its grid lines.
  Rect Cell(int column, int index) {
    const QRect r = wk.SG1->visualRect(wk.SG1->model()->index(wk.State().RowOf(index) - 1, column));
    const QPoint at = wk.SG1->viewport()->mapTo(&wk, r.topLeft());
    return {at.x() + 3, at.y() + 2, r.width() - 6, r.height() - 4};
  }
  krv::series::TWkFrm& wk;
};

// Clicks the cell of `column` at index 0 and types `values` down from there.
void TypeColumn(XSession& x, Window wk, WorksheetPlaces& places, int column,
                const std::vector<std::string>& values) {
  x.Click(wk, places.Cell(column, 0).Center());
  for (const std::string& v : values) {
    x.Type(wk, v);
    x.Key(wk, "Down");  // the cell is stored as the cursor leaves it
  }
}

float StoredValue(const std::string& dir, const std::string& path) {
  krv::series::SeriesStore store;
  store.SeriesUnitInit();
  store.AttachDSFReadOnly(dir + "/FIT");
  krv::series::ColumnSlot c;
  store.OpenSeries(c, path);
  return store.FailureFlag ? -999.f : store.GetVal(c, 0);
}

}  // namespace

// "LSQ setup", "New LSQ problem", "Open Worksheet", the start value and the
// observations typed into the worksheet while the data-control dialog is up,
// "Close Worksheet, saving current problem", "Set up for run"; Preprocess,
// Sequence, Compile and Start Solver, each program's output in a window of
// Helmsman's own; then the estimate shows in the worksheet.
TEST_F(HelmsmanWindows, TypedDataAreFittedAndTheEstimateShowsInTheWorksheet) {
  work_.Write("LSQFIT.QTL", lsqfit::kModel);
  const auto [main, source] = EditLsqFit();
  x_.Click(source, CenterOf(edit_, "Button5"));  // "LSQ setup"
  Answer("Return");                             // "FIT.DSF not found in the current directory"
  Answer("alt+y");                              // "LSQ source code in final form for PR1 now?"
  const Window dialog = x_.WaitForWindow("PR1 in FIT.DSF");
  krv::series::TLSQfrm& lsq = *series_.LSQfrm;
  x_.Click(dialog, CenterOf(lsq, "SetupBt"));
  Answer("Return");  // "Finished"
  x_.Click(dialog, CenterOf(lsq, "OpenBt"));
  const Window wk = x_.WaitForWindow("Worksheet");

  // Behind the dialog the main window takes no click.
  x_.Click(main, CenterOf(form_, "FileButton"));
  EXPECT_TRUE(NoneComes("Open"));

  // A Controls, B..F K's Start, Value, RangeLo, RangeUp, Delta, G L.Value,
  // H L.Weight, I L0.Value: the start value, then each observation with its
  // weight and its input.
  WorksheetPlaces places(*series_.WkFrm, x_.ClientArea(wk));
  const std::string emptyEstimate = x_.Pixels(wk, places.Cell(2, 0));
  TypeColumn(x_, wk, places, 1, {"0.3"});
  std::vector<std::string> levels, weights, inputs;
  for (int i = 1; i <= 3; ++i) {
    char l[32];
    auto end = std::to_chars(l, l + sizeof l, i * std::exp(-lsqfit::kTrueK), std::chars_format::fixed, 7).ptr;
    levels.emplace_back(l, end);
    weights.push_back("1");
    inputs.push_back(std::to_string(i));
  }
  TypeColumn(x_, wk, places, 6, levels);
  TypeColumn(x_, wk, places, 7, weights);
  TypeColumn(x_, wk, places, 8, inputs);
  x_.Key(wk, "F9");  // RecalcAll: no formulas, nothing changes

  // The dialog's own buttons beside the worksheet.
  x_.Activate(dialog);
  x_.Click(dialog, CenterOf(lsq, "CloseWksBt"));
  x_.WaitUntilGone(wk);
  EXPECT_FLOAT_EQ(StoredValue(work_.path(), ".PR1.K.Start"), 0.3f);
  x_.Click(dialog, CenterOf(lsq, "RunBt"));
  const Window options = x_.WaitForWindow("Options for PR1");
  x_.Click(options, CenterOf(*series_.LSQrunfrm, "Button1"));  // OK
  Answer("Return");  // "Ready for LSQ run"
  x_.WaitUntilGone(dialog);
  x_.Click(source, CenterOf(edit_, "Button2"));  // "Cancel": nothing was edited
  x_.WaitUntilGone(source);

  // The road, each step once the one before has written its files. The
  // window shows Sequence and Start Solver off until their inputs are
  // there; each is clicked once it shows on.
  x_.Activate(main);
  const auto on = [&](const char* button) {
    const Rect place = PlaceOf(form_, button);
    const std::string off = x_.Pixels(main, place);
    return [this, main, place, off, button] {
      return WaitUntil([&] { return x_.Pixels(main, place) != off; }, kWindowTimeout,
                       std::string(button) + " on");
    };
  };
  const auto sequenceOn = on("SeqButton");
  const auto solverOn = on("ExeStart");
  x_.Click(main, CenterOf(form_, "PrepButton"));
  ASSERT_TRUE(WaitForText(work_, "LSQFIT.PSY", ""));
  ASSERT_TRUE(WaitUntil([&] { return work_.Has("LSQFIT.VNM"); }, kRunTimeout, "LSQFIT.VNM"));
  AgeFiles(work_);
  x_.Activate(main);
  ASSERT_TRUE(sequenceOn());  // the status follows the files
  x_.Click(main, CenterOf(form_, "SeqButton"));
  ASSERT_TRUE(WaitUntil([&] { return work_.Has("LSQFIT.PRB"); }, kRunTimeout, "LSQFIT.PRB"));
  AgeFiles(work_);
  x_.Activate(main);
  x_.Click(main, CenterOf(form_, "bComp"));
  const Window compile = x_.WaitForWindow("Compile LSQFIT");
  ASSERT_TRUE(WaitForText(work_, "TMPTMP.LOG", "Compiled: the solver LSQFIT was produced."));
  x_.Activate(main);
  ASSERT_TRUE(solverOn());
  x_.Click(main, CenterOf(form_, "ExeStart"));
  const Window solver = x_.WaitForWindow("Solver LSQFIT");
  ASSERT_TRUE(WaitForText(work_, "LSQFIT.LOG", "Solver ended: status 0 (the run is complete)"));
  EXPECT_TRUE(x_.Shown(compile) && x_.Shown(solver));  // kept until closed

  const std::string report = work_.Has("LSQFIT.LSQ") ? work_.Read("LSQFIT.LSQ") : "";
  const size_t at = report.find("K = ");
  ASSERT_NE(at, std::string::npos) << report;
  double reported = 0;
  std::from_chars(report.data() + at + 4, report.data() + report.size(), reported);
  EXPECT_NEAR(reported, lsqfit::kTrueK, 0.02) << report;
  EXPECT_FLOAT_EQ(StoredValue(work_.path(), ".PR1.K.Value"), float(reported));

  // "Open Worksheet" again: K.Value (column C) now shows the estimate.
  x_.Activate(main);
  const Window again = OpenEditor(main);
  x_.Click(again, CenterOf(edit_, "Button5"));
  const Window dialog2 = x_.WaitForWindow("PR1 in FIT.DSF");
  x_.Click(dialog2, CenterOf(lsq, "OpenBt"));
  const Window wk2 = x_.WaitForWindow("Worksheet");
  EXPECT_TRUE(WaitUntil([&] { return x_.Pixels(wk2, places.Cell(2, 0)) != emptyEstimate; }, kWindowTimeout,
                        "the estimate in K.Value's first cell"));
  EXPECT_EQ(x_.Pixels(wk2, places.Cell(3, 0)), emptyEstimate);  // RangeLo stays empty
  x_.Activate(dialog2);
  x_.Click(dialog2, CenterOf(lsq, "CloseWinBt"));
  x_.WaitUntilGone(dialog2);
  EXPECT_FALSE(x_.Shown(wk2));
}

// Every box and dialog opens in front of the window that asked and takes
// the keyboard: "No find" over Find/Replace, the any-file editor's Open
// dialog over it. A paste there with nothing on the clipboard changes
// nothing.
TEST_F(HelmsmanWindows, BoxesAndDialogsOpenInFrontOfTheEditors) {
  work_.Write("LSQFIT.QTL", lsqfit::kModel);
  const auto [main, source] = EditLsqFit();
  x_.Key(source, "ctrl+f");  // SearchBoth
  const Window find = x_.WaitForWindow("Find/Replace in both QTL and PSY");
  TFindFrm& findForm = *form_.findChild<TFindFrm*>();
  x_.Click(find, CenterOf(findForm, "Edit1"));
  x_.Key(find, "ctrl+a");
  x_.Type(find, "no such text");
  x_.Click(find, CenterOf(findForm, "LookDwn"));
  Answer("Return");  // "No find" in the QTL text
  Answer("Return");  // and in the PSY text

  x_.Activate(main);
  x_.Click(main, CenterOf(form_, "Aedit"));
  const Window any = x_.WaitForWindow("Edit Any File");
  x_.Key(any, "ctrl+v");
  EXPECT_TRUE(helmsman_.Running());
  x_.Key(any, "alt+f o");
  const Window open = x_.WaitForWindow("Open");
  ExpectInFront(open);
  x_.Key(open, "Escape");
  x_.WaitUntilGone(open);
  EXPECT_TRUE(helmsman_.Running());
}

// Without a terminal program, a model that does not compile shows the
// compiler's error in Helmsman's window "Compile NAME", kept until closed,
// and TMPTMP.LOG holds it too. The window's text is copied by keys into the
// any-file editor and saved from there, as a modeller would keep it.
TEST_F(HelmsmanWindows, ACompileErrorIsSeenWithoutATerminal) {
  std::string broken = lsqfit::kModel;
  broken.replace(broken.find("Q := K*LEVEL;"), 13, "Q := K*LEVEL + NOSUCHNAME;");
  work_.Write("BROKEN.QTL", broken);
  const Window main = Choose(Start(work_.path()), work_.path(), "BROKEN");
  x_.WaitForWindow("Guide:BROKEN");
  x_.Click(main, CenterOf(form_, "PrepButton"));
  ASSERT_TRUE(WaitUntil([&] { return work_.Has("BROKEN.PSY") && work_.Has("BROKEN.VNM"); }, kRunTimeout,
                        "Foreparse's files"));
  AgeFiles(work_);
  x_.Activate(main);
  x_.Click(main, CenterOf(form_, "bComp"));
  const Window compile = x_.WaitForWindow("Compile BROKEN");
  ASSERT_TRUE(WaitForText(work_, "TMPTMP.LOG", "Compiling BROKEN failed"));
  const std::string log = work_.Read("TMPTMP.LOG");
  EXPECT_NE(log.find("NOSUCHNAME"), std::string::npos) << log;

  x_.Activate(compile);
  x_.Key(compile, "ctrl+a ctrl+c");
  x_.Activate(main);
  x_.Click(main, CenterOf(form_, "Aedit"));
  const Window any = x_.WaitForWindow("Edit Any File");
  x_.Key(any, "ctrl+v alt+f s");  // "&Save" without a file name asks for one
  const Window save = x_.WaitForWindow("Save As");
  x_.Type(save, work_.File("seen.txt"));
  x_.Key(save, "Return");
  ASSERT_TRUE(WaitForText(work_, "seen.txt", "Compiling BROKEN failed"));
  const std::string seen = work_.Read("seen.txt");
  EXPECT_NE(seen.find("NOSUCHNAME"), std::string::npos) << seen;
  EXPECT_TRUE(x_.Shown(compile));
}

// A problem chosen in a directory that cannot be written: one message, in
// front, and nothing written there (the text, with each file's path and the
// system's reason, is checked where the set-up is tested).
TEST_F(HelmsmanWindows, AProblemInAReadOnlyDirectoryIsSaidOnce) {
  work_.Write("RO.QTL", "{ a model in a directory that cannot be written }\r\n");
  ::chmod(work_.path().c_str(), 0555);
  Choose(Start(work_.path(), true), work_.path(), "RO");
  Answer("Return");  // "Problem with setting up files", KRVUSER.PAS and RO.LPR
  EXPECT_TRUE(NoneComes(kBoxTitle));
  x_.WaitForWindow("Guide:RO");
  ::chmod(work_.path().c_str(), 0755);
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(work_.path())) files.push_back(e.path().filename().string());
  EXPECT_EQ(files, std::vector<std::string>{"RO.QTL"});
}

// "LSQ setup" on a damaged data-series file: one message, then nothing.
TEST_F(HelmsmanWindows, ADamagedStoreAtLsqSetupIsOneMessage) {
  work_.Write("LSQFIT.QTL", lsqfit::kModel);
  {
    // The problem's store, made as "New LSQ problem" makes it, then cut short.
    krv::series::SeriesStore store;
    store.SeriesUnitInit();
    store.CreateDSF(work_.File("FIT"));
    store.MakeDSDir(".PR1");
    for (const char* d : {".PR1.K", ".PR1.L", ".PR1.L0"}) store.MakeDSDir(d);
    store.CloseDSF();
    std::string bytes = work_.Read("FIT.DSF");
    std::fill(bytes.begin() + 256, bytes.end(), '\xa5');
    bytes += std::string(128, '\0');
    work_.Write("FIT.DSF", bytes);
  }
  const auto [main, source] = EditLsqFit();
  x_.Click(source, CenterOf(edit_, "Button5"));
  Answer("Return");  // ".../FIT.DSF: DSF file has been damaged"
  EXPECT_TRUE(NoneComes(kBoxTitle));
  EXPECT_TRUE(NoneComes("PR1 in FIT.DSF", 500ms));
}
