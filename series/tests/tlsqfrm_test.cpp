// The least-squares dialogs offscreen: "LSQ data control" from "New LSQ
// problem" through the worksheet to "Set up for run", the run options'
// controls, Cancel and "Format err", and the worksheet closing by itself.
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <functional>

#include "platform/user_prompts.h"
#include "series/forms/TLSQfrm.h"
#include "series/forms/TLSQrunfrm.h"
#include "series/forms/TWkFrm.h"
#include "series/forms/series_windows.h"
#include "testing/qt_test_helpers.h"
#include "testing/temp_dir.h"

using namespace krv::series;
using krv::platform::Answer;
using krv::platform::ScriptedPrompts;
using krv::testing::ScopedCwd;
using krv::testing::TempDir;
using krv::testing::WhenModal;
using Messages = std::vector<std::string>;

namespace {

const char* const kSource =
    "procedure PARSET;\nbegin\n  DLSQSETUP('FIT','PR1');\n  _LSQBETA('K1',K1);\n  _LSQBETA('K2',K2);\n"
    "  LSQDEP('Y',_X.Y);\n  _LSQINDEP('U',_X.U);\nend;\n";

float StoredValue(const std::string& path, int index) {
  SeriesStore store;
  store.SeriesUnitInit();
  store.AttachDSFReadOnly("FIT");
  ColumnSlot c;
  store.OpenSeries(c, path);
  return store.FailureFlag ? -999.f : store.GetVal(c, int16_t(index));
}

struct Session {
  TempDir dir;
  ScopedCwd cwd{dir.path()};
  ScriptedPrompts prompts;
  SeriesWindows w{nullptr, [] {}};
  QPushButton* Button(const char* name) { return w.LSQfrm->findChild<QPushButton*>(name); }
};

}  // namespace

class LsqFormsTest : public QObject {
  Q_OBJECT

 private slots:
  void fromNewProblemToRunOptions() {
    Session s;
    s.prompts.answers = {Answer::Yes};  // "LSQ source code in final form for PR1 now?"
    bool reached = false;
    WhenModal("LSQfrm", [&](QWidget* dialog) {
      QCOMPARE(dialog->windowTitle(), QString("PR1 in FIT.DSF"));
      QVERIFY(s.Button("SetupBt")->isEnabled());
      QVERIFY(!s.Button("ShowWkBt")->isEnabled() && !s.Button("CloseWksBt")->isEnabled());
      QCOMPARE(s.prompts.messages, Messages{"FIT.DSF not found in the current directory"});
      s.prompts.messages.clear();
      QTest::mouseClick(s.Button("SetupBt"), Qt::LeftButton);
      QCOMPARE(s.prompts.messages, Messages{"Finished"});
      QVERIFY(!s.Button("SetupBt")->isEnabled());

      QTest::mouseClick(s.Button("OpenBt"), Qt::LeftButton);
      QVERIFY(s.w.WkFrm->isVisible());
      QCOMPARE(s.w.WkFrm->Label4->text(), QString("Current DSDir path in file FIT"));
      QCOMPARE(s.w.WkFrm->DSDirLbl->text(), QString(".PR1"));
      QVERIFY(!s.Button("OpenBt")->isEnabled() && s.Button("CloseWksBt")->isEnabled());
      // K1.Start (column B) typed at index 0, still in the cell's editor.
      Worksheet& ws = s.w.Sheet;
      QCOMPARE(ws.Slot(1).Descriptor().path, std::string(".PR1.K1.Start"));
      ws.SetCurrentColumn(1);
      ws.SetCurrentIndex(0);
      ws.SetCellText(1, 0, "0.75");
      QTest::mouseClick(s.Button("CloseWksBt"), Qt::LeftButton);
      QVERIFY(!s.w.WkFrm->isVisible());
      QCOMPARE(StoredValue(".PR1.K1.Start", 0), 0.75f);
      QVERIFY(s.Button("OpenBt")->isEnabled() && !s.Button("CloseWksBt")->isEnabled());

      // The run options: with runs, the observations and the start file are hidden.
      WhenModal("LSQrunfrm", [&](QWidget* w) {
        auto* run = static_cast<TLSQrunfrm*>(w);
        QCOMPARE(run->windowTitle(), QString("Options for PR1"));
        QVERIFY(run->CB1->isHidden() && run->RG2->isHidden() && run->SG1->isHidden());
        QVERIFY(!run->CB4->isEnabled());
        QVERIFY(run->Button1->isEnabled());
        run->RG1Items[2]->click();
        QVERIFY(!run->SG1->isHidden() && run->CB4->isEnabled());
        QCOMPARE(run->SG1->rowCount(), 2);
        QCOMPARE(run->SG1->item(1, 0)->text(), QString("K2"));
        run->SG1->item(1, 1)->setText("x");
        QTest::mouseClick(run->Button1, Qt::LeftButton);
        QCOMPARE(s.prompts.messages.back(), std::string("Format err"));
        QVERIFY(run->isVisible());
        run->SG1->item(1, 1)->setText("9");
        QTest::mouseClick(run->Button1, Qt::LeftButton);
      });
      QTest::mouseClick(s.Button("RunBt"), Qt::LeftButton);
      QCOMPARE(s.prompts.messages.back(), std::string("Ready for LSQ run"));
      reached = true;
    });
    s.w.Lsq.Button5Click({kSource, "", ""});
    QVERIFY(reached);
    QVERIFY(!s.w.LSQfrm->isVisible());
    QCOMPARE(StoredValue(".PR1.Controls", 0), 2.f);
    QCOMPARE(StoredValue(".PR1.Controls", 7), 9.f);
    QCOMPARE(StoredValue(".PR1.Controls", 8), 1.f);
    QVERIFY(!s.w.Store.IsAttached());
  }

  void cancelAndFailedActivation() {
    Session s;
    s.prompts.answers = {Answer::Yes};
    bool reached = false;
    WhenModal("LSQfrm", [&](QWidget* dialog) {
      QTest::mouseClick(s.Button("SetupBt"), Qt::LeftButton);
      WhenModal("LSQrunfrm", [&](QWidget* w) {
        auto* run = static_cast<TLSQrunfrm*>(w);
        run->RG1Items[0]->click();
        QVERIFY(!run->RG2->isHidden() && !run->CB1->isHidden());
        QVERIFY(run->Edit1->isHidden());
        run->RG2Items[1]->click();
        QVERIFY(!run->Edit1->isHidden() && !run->findChild<QLabel*>("Label1")->isHidden());
        QTest::mouseClick(run->Button2, Qt::LeftButton);
      });
      QTest::mouseClick(s.Button("RunBt"), Qt::LeftButton);
      QVERIFY(dialog->isVisible());  // no OK: no "Ready"
      QCOMPARE(StoredValue(".PR1.Controls", 0), 1.f);

      // Without a Controls series OK is not offered.
      s.w.Store.EraseSeries(".PR1.Controls");
      WhenModal("LSQrunfrm", [&](QWidget* w) {
        auto* run = static_cast<TLSQrunfrm*>(w);
        QVERIFY(!run->Button1->isEnabled());
        QTest::mouseClick(run->Button2, Qt::LeftButton);
      });
      QTest::mouseClick(s.Button("RunBt"), Qt::LeftButton);
      QCOMPARE(s.prompts.messages.back(), std::string("No Controls series"));
      QTest::mouseClick(s.Button("CloseWinBt"), Qt::LeftButton);
      reached = true;
    });
    // A source without runs.
    std::string src = kSource;
    src.erase(src.find("DLSQSETUP"), 1);
    s.w.Lsq.Button5Click({src, "", ""});
    QVERIFY(reached);
    QVERIFY(!s.w.LSQfrm->isVisible());
  }

  void worksheetClosingByItself() {
    Session s;
    s.prompts.answers = {Answer::Yes};
    int opened = 0;
    WhenModal("LSQfrm", [&](QWidget*) {
      ++opened;
      QTest::mouseClick(s.Button("SetupBt"), Qt::LeftButton);
      QTest::mouseClick(s.Button("OpenBt"), Qt::LeftButton);
      // The worksheet closed on its own: the dialog follows, and opens it again.
      QVERIFY(s.w.WkFrm->close());
      QVERIFY(s.Button("OpenBt")->isEnabled() && !s.Button("ShowWkBt")->isEnabled());
      s.prompts.messages.clear();
      QTest::mouseClick(s.Button("OpenBt"), Qt::LeftButton);
      QVERIFY(s.prompts.messages.empty());
      QVERIFY(s.w.WkFrm->isVisible());
      // Unsaved data, and the answer "Return to worksheet": it stays open.
      s.w.Store.PutVal(s.w.Sheet.Slot(1), 0, 5);
      s.w.Sheet.Slot(1).modified = true;
      s.prompts.answers = {Answer::Yes};
      QTest::mouseClick(s.Button("CloseWinBt"), Qt::LeftButton);
    });
    s.w.Lsq.Button5Click({kSource, "", ""});
    QCOMPARE(opened, 1);
    QVERIFY(s.w.WkFrm->isVisible());
    QVERIFY(s.w.Lsq.WorksheetOpen);
    // Opened again: no reload over the unsaved value.
    WhenModal("LSQfrm", [&](QWidget*) {
      QVERIFY(!s.Button("OpenBt")->isEnabled() && s.Button("ShowWkBt")->isEnabled());
      QTest::mouseClick(s.Button("CloseWksBt"), Qt::LeftButton);
      QVERIFY(!s.w.WkFrm->isVisible());
      QTest::mouseClick(s.Button("CloseWinBt"), Qt::LeftButton);
    });
    s.w.Lsq.Button5Click({kSource, "", ""});
    QCOMPARE(StoredValue(".PR1.K1.Start", 0), 5.f);
  }
};

QTEST_MAIN(LsqFormsTest)
#include "tlsqfrm_test.moc"
