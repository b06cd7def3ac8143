// Qt Test of the least-squares road through Helmsman's windows: "Edit",
// "LSQ setup", "New LSQ problem", "Open Worksheet", data typed, "Close
// Worksheet, saving current problem", "Set up for run"; then, where the
// installed layout and a fitting solver exist, Preprocess, Sequence,
// Compile, Start Solver, and "Open Worksheet" showing the estimate.
#include <QApplication>
#include <QPushButton>
#include <QtTest>

#include <cmath>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "guide/forms/DGW1.h"
#include "guide/forms/edit_source_form.h"
#include "platform/qt/latin1.h"
#include "platform/user_prompts.h"
#include "series/WkUnit.h"
#include "series/forms/TLSQfrm.h"
#include "series/forms/TLSQrunfrm.h"
#include "series/forms/TWkFrm.h"
#include "series/forms/series_windows.h"
#include "testing/qt_test_helpers.h"
#include "testing/temp_dir.h"
#include "lsq_fit_model.h"
#include "road_helpers.h"

namespace fs = std::filesystem;
using krv::platform::Answer;
using krv::platform::FromBytes;
using krv::platform::ScriptedPrompts;
using krv::testing::ScopedCwd;
using krv::testing::TempDir;
using krv::testing::WhenModal;

namespace {

using lsqfit::kModel;
using lsqfit::kTrueK;


float Stored(const std::string& path, int index) {
  krv::series::SeriesStore store;
  store.SeriesUnitInit();
  store.AttachDSFReadOnly("FIT");
  krv::series::ColumnSlot c;
  store.OpenSeries(c, path);
  return store.FailureFlag ? -999.f : store.GetVal(c, int16_t(index));
}

QPushButton* Find(QWidget* w, const char* name) { return w->findChild<QPushButton*>(name); }

void Click(QWidget* w, const char* name) {
  QPushButton* b = Find(w, name);
  QVERIFY2(b && b->isEnabled(), name);
  QTest::mouseClick(b, Qt::LeftButton);
}

// Types `text` into the worksheet's cell (column, index): the cursor moves
// there, which commits the cell it leaves.
void Type(krv::series::Worksheet& ws, int column, int index, const std::string& text) {
  QVERIFY(ws.SG1SelectCell(column + 2, ws.RowOf(index)));
  ws.SetCellText(column, index, text);
}

// From choosing the problem to "Ready for LSQ run", all through the windows.
void SetUpThroughHelmsman(TForm1& f, ScriptedPrompts& prompts, TempDir& work) {
  work.Write("LSQFIT.QTL", kModel);
  prompts.files = {work.File("LSQFIT.QTL")};
  Click(&f, "FileButton");
  Click(&f, "EditButton");
  auto* edit = f.findChild<TEditFrm*>();
  QVERIFY(edit->isVisible());
  krv::series::SeriesWindows& sw = f.SeriesForms();

  prompts.messages.clear();
  prompts.answers = {Answer::Yes};  // "LSQ source code in final form for PR1 now?"
  bool ready = false;
  WhenModal("LSQfrm", [&](QWidget* dialog) {
    QCOMPARE(dialog->windowTitle(), QString("PR1 in FIT.DSF"));
    Click(dialog, "SetupBt");
    QCOMPARE(prompts.messages.back(), std::string("Finished"));
    Click(dialog, "OpenBt");
    QVERIFY(sw.WkFrm->isVisible());
    krv::series::Worksheet& ws = sw.Sheet;
    // A Controls, B..F K's Start, Value, RangeLo, RangeUp, Delta, G L.Value,
    // H L.Weight, I L0.Value. Each observation with its weight.
    QCOMPARE(ws.Slot(8).Descriptor().path, std::string(".PR1.L0.Value"));
    Type(ws, 1, 0, "0.3");
    for (int i = 0; i < 3; ++i) {
      double start = i + 1;
      Type(ws, 8, i, std::to_string(start));
      std::ostringstream l;
      l.precision(9);
      l << start * std::exp(-kTrueK);
      Type(ws, 6, i, l.str());
      Type(ws, 7, i, "1");
    }
    Click(dialog, "CloseWksBt");  // the last cell is committed by the close
    QVERIFY(!sw.WkFrm->isVisible());
    WhenModal("LSQrunfrm", [&](QWidget* run) {
      QCOMPARE(run->windowTitle(), QString("Options for PR1"));
      Click(run, "Button1");
    });
    Click(dialog, "RunBt");
    ready = prompts.messages.back() == "Ready for LSQ run";
  });
  Click(edit, "Button5");
  QVERIFY(ready);
  QVERIFY(!sw.LSQfrm->isVisible());
  QCOMPARE(Stored(".PR1.K.Start", 0), 0.3f);
  QCOMPARE(Stored(".PR1.L0.Value", 2), 3.f);
  QCOMPARE(Stored(".PR1.L.Value", 1), float(2 * std::exp(-kTrueK)));
  QCOMPARE(Stored(".PR1.Controls", 0), 1.f);  // a nonlinear search
  Click(edit, "Button2");  // nothing edited: the editor closes
  QVERIFY(!edit->isVisible());
}

// The runtime in this tree fits when its units know the markers.
bool RuntimeFits() {
  const fs::path runtime = fs::path(KRV_SOURCE_DIR) / "runtime";
  if (!fs::is_directory(runtime)) return false;
  for (const auto& e : fs::directory_iterator(runtime)) {
    std::string ext = e.path().extension().string();
    for (char& c : ext) c = char(std::toupper(static_cast<unsigned char>(c)));
    if (ext != ".PAS" && ext != ".PP") continue;
    std::ifstream in(e.path(), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    if (text.find("PROCEDURE LSQSETUP") != std::string::npos) return true;
  }
  return false;
}

}  // namespace

// A click and keys that go through the window system, as a person's do,
// so that a modal window can block them.
void ClickOnScreen(QWidget* w) {
  QTest::mouseClick(w->window()->windowHandle(), Qt::LeftButton, {},
                    w->mapTo(w->window(), w->rect().center()));
}
void TypeOnScreen(QWidget* window, const char* text) {
  for (const char* c = text; *c; ++c) QTest::keyClick(window->windowHandle(), *c);
}

class LsqRoadTest : public QObject {
  Q_OBJECT

 private slots:
  // The data-control dialog blocks the windows that were showing when it
  // opened (the main window, the editors); the worksheet it opens takes
  // clicks and keys beside it, and the dialog's own buttons still work.
  void worksheetTakesInputBesideTheDialog() {
    ScopedCwd keep(".");
    TempDir pgm, work;
    ScriptedPrompts prompts;
    TForm1 f(pgm.path() + "/");
    f.show();
    work.Write("LSQFIT.QTL", kModel);
    prompts.files = {work.File("LSQFIT.QTL")};
    Click(&f, "FileButton");
    Click(&f, "EditButton");
    auto* edit = f.findChild<TEditFrm*>();
    krv::series::SeriesWindows& sw = f.SeriesForms();
    prompts.answers = {Answer::Yes};
    bool reached = false;
    WhenModal("LSQfrm", [&](QWidget* dialog) {
      ClickOnScreen(Find(dialog, "SetupBt"));
      QCOMPARE(prompts.messages.back(), std::string("Finished"));
      ClickOnScreen(Find(dialog, "OpenBt"));
      QVERIFY(sw.WkFrm->isVisible());
      QVERIFY(QTest::qWaitForWindowExposed(sw.WkFrm));

      // Behind the dialog: neither the main window nor the editor answers.
      const size_t dialogs = prompts.dialogs.size();
      ClickOnScreen(f.findChild<QPushButton*>("FileButton"));
      ClickOnScreen(edit->findChild<QPushButton*>("Button2"));
      QCOMPARE(prompts.dialogs.size(), dialogs);
      QVERIFY(edit->isVisible());

      // The worksheet: a click on K.Start's cell at index 0, a value typed.
      krv::series::TWkFrm* wk = sw.WkFrm;
      QModelIndex cell = wk->SG1->model()->index(sw.Sheet.RowOf(0) - 1, 1);
      QTest::mouseClick(wk->windowHandle(), Qt::LeftButton, {},
                        wk->SG1->viewport()->mapTo(wk, wk->SG1->visualRect(cell).center()));
      QCOMPARE(sw.Sheet.CurrentColumn(), 1);
      TypeOnScreen(wk, "0.3");
      QTest::keyClick(wk->windowHandle(), Qt::Key_Down);
      QCOMPARE(sw.Store.GetVal(sw.Sheet.Slot(1), 0), 0.3f);

      ClickOnScreen(Find(dialog, "CloseWksBt"));
      QVERIFY(!sw.WkFrm->isVisible());
      QCOMPARE(Stored(".PR1.K.Start", 0), 0.3f);
      reached = true;
    });
    Click(edit, "Button5");
    QVERIFY(reached);
    QVERIFY(!sw.LSQfrm->isVisible());
  }

  void setUpThroughHelmsman() {
    ScopedCwd keep(".");
    TempDir pgm, work;
    ScriptedPrompts prompts;
    TForm1 f(pgm.path() + "/");
    f.show();
    SetUpThroughHelmsman(f, prompts, work);
  }

  void fitAndSeeTheEstimate() {
    const fs::path pgm = fs::path(KRV_BIN_DIR).parent_path() / "Kravenor" / "PGM";
    QStringList missing = road::MissingPrograms(pgm);
    if (!RuntimeFits()) missing << "a runtime that fits";
    if (!missing.isEmpty()) QSKIP(qPrintable("not there yet: " + missing.join(", ")));

    ScopedCwd keep(".");
    TempDir work;
    ScriptedPrompts prompts;
    road::ChildStarter starter;
    TForm1 f(pgm.string() + "/");
    f.SetTerminalLookup([] { return std::string(); });
    f.show();
    SetUpThroughHelmsman(f, prompts, work);
    if (QTest::currentTestFailed()) return;
    road::Travel(f, starter, work, "LSQFIT");
    if (QTest::currentTestFailed()) return;
    QVERIFY2(fs::exists(work.File("LSQFIT.LSQ")), work.Read("LSQFIT.LOG").c_str());

    // The report's estimate; the model integrates in steps, so it lies
    // near the exponential's rate, not on it.
    const std::string report = work.Read("LSQFIT.LSQ");
    size_t at = report.find("K = ");
    QVERIFY2(at != std::string::npos, report.c_str());
    double reported = 0;
    const char* number = report.c_str() + at + 4;
    std::from_chars(number, report.c_str() + report.size(), reported);
    QVERIFY2(std::fabs(reported - kTrueK) < 0.02, report.c_str());

    // "Open Worksheet" shows it in K.Value (column C).
    Click(&f, "EditButton");
    krv::series::SeriesWindows& sw = f.SeriesForms();
    float estimate = -1;
    std::string cell;
    WhenModal("LSQfrm", [&](QWidget* dialog) {
      Click(dialog, "OpenBt");
      QCOMPARE(sw.Sheet.Slot(2).Descriptor().path, std::string(".PR1.K.Value"));
      estimate = sw.Store.GetVal(sw.Sheet.Slot(2), 0);
      cell = sw.Sheet.CellText(2, 0);
      Click(dialog, "CloseWinBt");
    });
    Click(f.findChild<TEditFrm*>(), "Button5");
    QCOMPARE(estimate, float(reported));
    QVERIFY2(cell.find("0.71") != std::string::npos, cell.c_str());
  }
};

QTEST_MAIN(LsqRoadTest)
#include "lsq_road_test.moc"
