// Plotvane's windows driven offscreen: attaching, the lines, the bars and
// their keys, the menus and the selection dialog.
#include <QAction>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QProcess>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>
#include <functional>

#include "platform/qt/latin1.h"
#include "platform/qt/qt_prompts.h"
#include "platform/user_prompts.h"
#include "testing/qt_test_helpers.h"
#include "testing/temp_dir.h"
#include "viewer/forms/Plotvane1.h"
#include "viewer/forms/XSelect.h"
#include "viewer/forms/plot_frm.h"
#include "viewer/forms/range_dialogs.h"
#include "viewer/forms/ttr_root_dlg.h"
#include "viewer/tests/ttr_fixture.h"

using namespace krv::view;

namespace {

const char* const kMap =
    ">12-10-2026 10: 5:29 CASE1\r\n"
    "   0 IO  _X.A.B_C[2]\r\n"
    "   1 CO  _X.TANK.FLOW\r\n"
    "   2 IO  _X.TANK.LEVEL\r\n"
    "   3 I*  _X.T\r\n"
    "     #\r\n\x1a";

struct Window {
  krv::testing::TempDir dir;
  krv::platform::ScriptedPrompts prompts;
  TForm1 form;
  TXSelect xselect{form.State(), &form};
  Window() {
    form.SetSelectDialog(&xselect);
    testing::TTRSpec desc;
    desc.jtmax = 30;
    desc.value = [](int32_t jt, int i) { return i == 0 ? 505.0f + float(jt) : float(i); };
    dir.Write("CASE1.TTR", testing::MakeTTRBytes(desc));
    dir.Write("CASE1.VNM", kMap);
  }
  template <typename T>
  T* Find(const char* name) {
    T* w = form.findChild<T*>(name);
    if (!w) qFatal("no %s", name);
    return w;
  }
  QString Text(const char* name) { return Find<QLabel>(name)->text(); }
  bool Enabled(const char* action) { return Find<QAction>(action)->isEnabled(); }
};

// Runs `fill` on the selection dialog once it is shown modally, then OK.
void AnswerSelection(std::function<void(TXSelect*)> fill) {
  krv::testing::WhenModal({}, [fill](QWidget* shown) {
    auto* dlg = qobject_cast<TXSelect*>(shown);
    if (!dlg) qFatal("no selection dialog");
    fill(dlg);
    dlg->findChild<QPushButton*>("OKbutton")->click();
    if (dlg->isVisible()) dlg->findChild<QPushButton*>("CancelButton")->click();
  });
}

void SetField(TXSelect* dlg, const char* name, const char* text) {
  dlg->findChild<QLineEdit*>(name)->setText(text);
}

// Runs `act` on the density dialog once it is shown modally.
void AnswerDensity(std::function<void(TDensityDlg*)> act) {
  krv::testing::WhenModal({}, [act](QWidget* shown) {
    auto* dlg = qobject_cast<TDensityDlg*>(shown);
    if (!dlg) qFatal("no density dialog");
    act(dlg);
    if (dlg->isVisible()) dlg->reject();
  });
}

void AttachAll(Window& w) {
  w.prompts.files.push_back(w.dir.File("CASE1.TTR"));
  AnswerSelection([](TXSelect* dlg) {
    QCOMPARE(dlg->windowTitle(), QString("Variable Selection: (max 3)"));
    QCOMPARE(dlg->findChild<QLineEdit*>("XSelectStr")->text(), QString("&"));
  });
  w.Find<QAction>("AttachTTR1")->trigger();
}

}  // namespace

class PlotvaneFormTest : public QObject {
  Q_OBJECT

 private slots:
  void StartsWithOnlyTheFileFreeCommands() {
    Window w;
    QCOMPARE(w.form.windowTitle(), QString("Plotvane"));
    QCOMPARE(w.Text("TimeLbl"), QString("_T = 0"));
    QCOMPARE(w.Text("At_T"), QString("at"));
    for (const char* on : {"AttachTTR1", "Quit1", "TogglePlotsF61", "DropAll1", "TilePlotsF121",
                           "About1"})
      QVERIFY2(w.Enabled(on), on);
    for (const char* off : {"ReAttach1", "SavetoDSF1", "SaveDSFat0index1", "SaveTXT1", "Print1",
                            "CopyTruncatingAfterCurrentPosition1", "DisplayAdd1"})
      QVERIFY2(!w.Enabled(off), off);
    QVERIFY(!w.Find<QMenu>("View1")->menuAction()->isEnabled());
    QCOMPARE(w.Find<QAction>("DisplayAdd1")->shortcut(), QKeySequence(Qt::Key_F4));
    QCOMPARE(w.Find<QAction>("SavetoDSF1")->text(), QString("Save  DSF actual indices"));
    for (int i = 0; i < 16; ++i) {
      QLabel* line = w.Find<QLabel>(qPrintable("DLine" + QString::number(i)));
      QCOMPARE(line->pos(), QPoint(88, 77 + 21 * i));
      QPushButton* b = w.Find<QPushButton>(qPrintable("SBt" + QString::number(i)));
      QCOMPARE(b->geometry(), QRect(64, 77 + 21 * i, 17, 15));
    }
    QCOMPARE(w.Find<QScrollBar>("TimeBar")->width(), 553);
    QCOMPARE(w.Find<QScrollBar>("ScrollBar1")->pageStep(), 14);
  }

  void AttachShowsTheSelectionAndTheLines() {
    Window w;
    AttachAll(w);
    QCOMPARE(w.form.windowTitle(), "Plotvane -- " + krv::platform::FromBytes(w.dir.File("CASE1")));
    QCOMPARE(w.Text("DLine0"), QString("   0 IO  5.050000E+02 _X.A.B[2]_C"));
    QCOMPARE(w.Text("DLine3"), QString("   3 I*  3.000000E+00 _X.T"));
    QCOMPARE(w.Text("DLine4"), QString(" "));
    QCOMPARE(w.Text("TimeLbl"), QString("_T =    0.000000"));
    QCOMPARE(w.Text("At_T"), QString("at _JT=0"));
    QCOMPARE(w.Text("THiLbl"), QString("Hi _T =   15.000000"));
    QCOMPARE(w.Text("AtHI"), QString("at _JT=30"));
    QCOMPARE(w.Text("TLowLbl"), QString("Low _T =    0.000000"));
    for (const char* on : {"ReAttach1", "SavetoDSF1", "SaveDSFat0index1", "SaveTXT1", "Print1",
                           "CopyTruncatingAfterCurrentPosition1", "DisplayAdd1"})
      QVERIFY2(w.Enabled(on), on);
    QVERIFY(w.Find<QMenu>("View1")->menuAction()->isEnabled());
    QCOMPARE(w.Find<QScrollBar>("ScrollBar1")->maximum(), 3);
    QCOMPARE(w.Find<QScrollBar>("TimeBar")->maximum(), 30);
  }

  void TimeBarMovesTheStepAndListKeysScrollTheList() {
    Window w;
    AttachAll(w);
    // Two more selections: twelve entries, so the list can scroll.
    for (int k = 0; k < 2; ++k) {
      AnswerSelection([](TXSelect*) {});
      w.Find<QAction>("DisplayAdd1")->trigger();
    }
    QCOMPARE(w.form.State().Last(), 11);
    auto* timeBar = w.Find<QScrollBar>("TimeBar");
    timeBar->setValue(7);
    QCOMPARE(w.Text("At_T"), QString("at _JT=7"));
    QCOMPARE(w.Text("DLine0"), QString("   0 IO  5.120000E+02 _X.A.B[2]_C"));
    w.form.ScrollListToEnd();  // top 0: the whole list fits
    QTest::keyClick(timeBar, Qt::Key_Down);
    QCOMPARE(w.form.State().Top(), 1);
    QCOMPARE(w.form.State().CurrentJT(), 7);
    QCOMPARE(w.Text("DLine0"), QString("   1 CO  1.000000E+00 _X.TANK.FLOW"));
    QTest::keyClick(timeBar, Qt::Key_End);
    QCOMPARE(w.form.State().Top(), 11);
    QTest::keyClick(timeBar, Qt::Key_Home);
    QCOMPARE(w.form.State().Top(), 0);
    QCOMPARE(w.form.State().CurrentJT(), 7);
    auto* list = w.Find<QScrollBar>("ScrollBar1");
    QTest::keyClick(list, Qt::Key_Right);
    QCOMPARE(w.form.State().CurrentJT(), 8);
    QCOMPARE(timeBar->value(), 8);
    QCOMPARE(w.Text("DLine0"), QString("   0 IO  5.130000E+02 _X.A.B[2]_C"));
    QTest::keyClick(list, Qt::Key_Left);
    QCOMPARE(w.form.State().CurrentJT(), 7);
    QCOMPARE(w.form.State().Top(), 0);
    timeBar->setValue(30);
    QTest::keyClick(list, Qt::Key_Right);  // at hi: only redraws
    QCOMPARE(w.form.State().CurrentJT(), 30);
  }

  void AnEmptyListKeepsTheStep() {
    Window w;
    w.prompts.files.push_back(w.dir.File("CASE1.TTR"));
    AnswerSelection([](TXSelect* dlg) { SetField(dlg, "XSelectStr", ""); });
    w.Find<QAction>("AttachTTR1")->trigger();
    QCOMPARE(w.form.State().Last(), -1);
    auto* timeBar = w.Find<QScrollBar>("TimeBar");
    timeBar->setValue(5);
    QCOMPARE(w.form.State().CurrentJT(), 0);
    QCOMPARE(timeBar->value(), 0);
    QTest::keyClick(timeBar, Qt::Key_Right);
    QCOMPARE(w.form.State().CurrentJT(), 0);
  }

  void InvalidSelectionBeepsAndRestoresTheField() {
    Window w;
    w.prompts.files.push_back(w.dir.File("CASE1.TTR"));
    bool stayedOpen = false;
    QString restored;
    krv::testing::WhenModal({}, [&](QWidget* shown) {
      auto* dlg = qobject_cast<TXSelect*>(shown);
      QVERIFY(dlg);
      SetField(dlg, "BegXNUM", "abc");
      dlg->findChild<QPushButton*>("OKbutton")->click();
      stayedOpen = dlg->isVisible();
      restored = dlg->findChild<QLineEdit*>("BegXNUM")->text();
      SetField(dlg, "XSelectStr", "(IO)&");
      dlg->findChild<QPushButton*>("OKbutton")->click();
    });
    w.Find<QAction>("AttachTTR1")->trigger();
    QVERIFY(stayedOpen);
    QCOMPARE(restored, QString("0"));
    QCOMPARE(w.prompts.beeps, 1);
    QCOMPARE(w.form.State().DisplayList(), (std::vector<int16_t>{0, 2}));
  }

  void AFailedAttachDisablesTheCommands() {
    Window w;
    AttachAll(w);
    w.prompts.files.push_back(w.dir.File("NONE.TTR"));
    w.Find<QAction>("AttachTTR1")->trigger();
    QCOMPARE(w.prompts.messages, std::vector<std::string>{"No file\n" + w.dir.File("NONE.TTR") +
                                                          ": No such file or directory"});
    QCOMPARE(w.form.windowTitle(), QString("Plotvane"));
    for (const char* off : {"ReAttach1", "SaveTXT1", "CopyTruncatingAfterCurrentPosition1",
                            "DisplayAdd1"})
      QVERIFY2(!w.Enabled(off), off);
    QCOMPARE(w.Text("DLine0"), QString(" "));
  }

  void CopyTruncatesAtTheCurrentStep() {
    Window w;
    AttachAll(w);
    w.Find<QScrollBar>("TimeBar")->setValue(4);
    w.prompts.answers.push_back(krv::platform::Answer::Yes);
    w.prompts.files.push_back(w.dir.File("SHORT.TTR"));
    w.Find<QAction>("CopyTruncatingAfterCurrentPosition1")->trigger();
    QCOMPARE(w.prompts.questions, std::vector<std::string>{"Copy, Deleting after _JT=4"});
    QCOMPARE(w.dir.Read("SHORT.TTR").size(), size_t(64 * 6));
    // Cancelled at the question: nothing asked further.
    w.Find<QAction>("CopyTruncatingAfterCurrentPosition1")->trigger();
    QCOMPARE(w.prompts.dialogs.size(), size_t(2));
  }

  void ReAttachKeepsTheListAndDropAllEmptiesIt() {
    Window w;
    AttachAll(w);
    w.Find<QAction>("ReAttach1")->trigger();
    QCOMPARE(w.form.State().Last(), 3);
    QCOMPARE(w.Text("DLine1"), QString("   1 CO  1.000000E+00 _X.TANK.FLOW"));
    w.prompts.answers.push_back(krv::platform::Answer::Yes);
    w.Find<QAction>("DropAll1")->trigger();
    QCOMPARE(w.prompts.questions.back(), std::string("All variables and plots will be dropped!"));
    QCOMPARE(w.form.State().Last(), -1);
    QCOMPARE(w.Text("DLine0"), QString(" "));
  }

  void RightStepsForwardOnBothBars() {
    Window w;
    AttachAll(w);
    auto* list = w.Find<QScrollBar>("ScrollBar1");
    auto* timeBar = w.Find<QScrollBar>("TimeBar");
    QTest::keyClick(list, Qt::Key_Right);
    QCOMPARE(w.form.State().CurrentJT(), 1);
    // The focus is on the time bar now; Right goes on forward there.
    QTest::keyClick(timeBar, Qt::Key_Right);
    QCOMPARE(w.form.State().CurrentJT(), 2);
    QCOMPARE(timeBar->value(), 2);
    QTest::keyClick(timeBar, Qt::Key_Left);
    QCOMPARE(w.form.State().CurrentJT(), 1);
    QCOMPARE(w.Text("At_T"), QString("at _JT=1"));
  }

  void RestrictingAndUnrestrictingTheRange() {
    Window w;
    AttachAll(w);
    auto* timeBar = w.Find<QScrollBar>("TimeBar");
    TTimeChgDlg* dlg = w.form.TimeChgDlg();
    w.Find<QAction>("RestrictTrange1")->trigger();
    QVERIFY(dlg->isVisible());
    QVERIFY(!dlg->isModal());
    QCOMPARE(dlg->findChild<QLabel*>("Label1")->text(), QString("Move to UPPER   _T, then click:"));
    timeBar->setValue(20);
    dlg->findChild<QPushButton*>("Button1")->click();
    QCOMPARE(w.form.State().Range().hi, 20);
    QCOMPARE(w.form.State().CurrentJT(), 0);
    QCOMPARE(timeBar->maximum(), 20);
    QCOMPARE(w.Text("AtHI"), QString("at _JT=20"));
    QCOMPARE(dlg->findChild<QLabel*>("Label1")->text(), QString("Move to LOWER   _T, then click:"));
    timeBar->setValue(5);
    dlg->findChild<QPushButton*>("Button1")->click();
    QVERIFY(!dlg->isVisible());
    QCOMPARE(w.form.State().Range().lo, 5);
    QCOMPARE(w.Text("AtLO"), QString("at _JT=5"));
    QCOMPARE(timeBar->minimum(), 5);

    w.Find<QAction>("UnrestrictTrange1")->trigger();
    QCOMPARE(w.form.State().Range().lo, 0);
    QCOMPARE(w.form.State().Range().hi, 30);

    // A pending range change never acts on the next file.
    w.Find<QAction>("RestrictTrange1")->trigger();
    timeBar->setValue(10);
    w.Find<QAction>("ReAttach1")->trigger();
    QVERIFY(!dlg->isVisible());
    QVERIFY(!dlg->restrictStep);
    dlg->findChild<QPushButton*>("Button1")->click();
    QCOMPARE(w.form.State().Range().hi, 30);
  }

  void EveryDialogTextIsWhole() {
    Window w;
    TimeRange r;
    r.hi = 200000;
    r.Update();  // a minimum density of 7: "... every 7th point"
    w.form.DensityDlg()->FormActivate(r);
    QDialog* dialogs[] = {w.form.DensityDlg(), w.form.TimeChgDlg(), &w.xselect,
                          w.form.RootDlg()};
    for (QDialog* d : dialogs) {
      for (QLabel* l : d->findChildren<QLabel*>()) {
        QString what = d->objectName() + "." + l->objectName() + ": " + l->text();
        QVERIFY2(l->width() >= l->sizeHint().width(), qPrintable(what));
        QVERIFY2(l->height() >= l->sizeHint().height(), qPrintable(what));
        QVERIFY2(QRect(QPoint(0, 0), d->size()).contains(l->geometry()), qPrintable(what));
      }
    }
  }

  void TheDensityDialogTakesOnlyAWholeNumberAboveTheMinimum() {
    Window w;
    AttachAll(w);
    QStringList shown;
    AnswerDensity([&](TDensityDlg* dlg) {
      shown << dlg->findChild<QLineEdit*>("Edit1")->text()
            << dlg->findChild<QLabel*>("Label3")->text();
      for (const char* bad : {"0", "-3", "2.5", "abc", "99999999999"}) {
        dlg->findChild<QLineEdit*>("Edit1")->setText(bad);
        dlg->findChild<QPushButton*>("Button1")->click();
        if (!dlg->isVisible()) qFatal("closed on %s", bad);
      }
      dlg->findChild<QLineEdit*>("Edit1")->setText("3");
      dlg->findChild<QPushButton*>("Button1")->click();
    });
    w.Find<QAction>("Changepointdensity1")->trigger();
    QCOMPARE(shown, QStringList({"1", "Most points which can be used is every point"}));
    QCOMPARE(w.prompts.beeps, 5);
    QCOMPARE(w.form.State().Range().density, 3);
    QCOMPARE(w.Find<QScrollBar>("TimeBar")->pageStep(), 60);
    QVERIFY(!w.Enabled("SavetoDSF1"));
  }

  void SaveTextWritesTheListedValues() {
    Window w;
    AttachAll(w);
    w.Find<QScrollBar>("TimeBar")->setValue(2);
    w.prompts.files.push_back(w.dir.File("NOW.TXT"));
    w.Find<QAction>("SaveTXT1")->trigger();
    QCOMPARE(w.prompts.dialogs.back().filter, std::string(" Text file for current _T soln|*.TXT"));
    std::string text = w.dir.Read("NOW.TXT");
    QVERIFY(text.rfind("   0 IO _X.A.B[2]_C\r\n 5.070000E+02\r\n", 0) == 0);
    QCOMPARE(std::count(text.begin(), text.end(), '\n'), 8);
  }

  void SaveAsksForTheFileAndTheRootAndWritesOverOnlyAfterYes() {
    Window w;
    AttachAll(w);
    std::vector<QString> offered;
    int stayedOpen = 0;
    w.prompts.files.push_back(w.dir.File("RES.DSF"));
    w.prompts.answers.push_back(krv::platform::Answer::Yes);  // create it
    krv::testing::WhenModal({}, [&](QWidget* shown) {
      auto* dlg = qobject_cast<TTTRrootF*>(shown);
      if (!dlg) qFatal("no root dialog");
      offered.push_back(dlg->findChild<QLineEdit*>("Edit1")->text());
      dlg->findChild<QLineEdit*>("Edit1")->setText("A.B");
      dlg->findChild<QPushButton*>("Button1")->click();
      stayedOpen += dlg->isVisible();
      dlg->findChild<QLineEdit*>("Edit1")->setText(" CASE1 x");
      dlg->findChild<QPushButton*>("Button1")->click();
    });
    w.Find<QAction>("SaveDSFat0index1")->trigger();
    QCOMPARE(w.prompts.questions.back(), "Create " + w.dir.File("RES.DSF") + "?");
    QCOMPARE(offered.front(), QString("CASE1"));
    QCOMPARE(stayedOpen, 1);
    QCOMPARE(w.prompts.beeps, 1);
    QVERIFY(w.prompts.messages.empty());
    size_t first = w.dir.Read("RES.DSF").size();
    QVERIFY(first > 10 * 128);

    // Again: the root exists; No asks for another name.
    w.prompts.files.push_back(w.dir.File("RES.DSF"));
    w.prompts.answers.push_back(krv::platform::Answer::No);
    offered.clear();
    krv::testing::WhenModal({}, [&](QWidget* shown) {
      auto* dlg = qobject_cast<TTTRrootF*>(shown);
      offered.push_back(dlg->findChild<QLineEdit*>("Edit1")->text());
      dlg->findChild<QPushButton*>("Button1")->click();
      krv::testing::WhenModal({}, [&](QWidget* shown) {
        auto* again = qobject_cast<TTTRrootF*>(shown);
        if (!again) qFatal("the name was not asked again");
        offered.push_back(again->findChild<QLineEdit*>("Edit1")->text());
        again->findChild<QLineEdit*>("Edit1")->setText("RUN2");
        again->findChild<QPushButton*>("Button1")->click();
      });
    });
    w.Find<QAction>("SaveDSFat0index1")->trigger();
    QCOMPARE(w.prompts.questions.back(), std::string("Overwrite existing data?"));
    QCOMPARE(w.prompts.placedAt, (std::vector<std::pair<int, int>>{{300, 200}}));
    QCOMPARE(offered, (std::vector<QString>{"CASE1", "CASE1"}));
    QVERIFY(w.dir.Read("RES.DSF").size() > first);
  }

  // The Qt box of a placed question: a warning with Yes and No standing
  // where it was placed, not centred on its parent.
  void APlacedQuestionIsAWarningAtItsPlace() {
    QWidget parent;
    parent.setGeometry(600, 500, 400, 300);
    parent.show();
    krv::platform::QtPrompts qt(&parent);
    QPoint at;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    krv::testing::WhenModal({}, [&](QWidget* shown) {
      auto* box = qobject_cast<QMessageBox*>(shown);
      if (!box) qFatal("no question box");
      at = box->pos();
      icon = box->icon();
      buttons = box->standardButtons();
      box->button(QMessageBox::No)->click();
    });
    QVERIFY(!qt.ConfirmWarningAt("Overwrite existing data?", 300, 200));
    QCOMPARE(at, QPoint(300, 200));
    QCOMPARE(icon, QMessageBox::Warning);
    QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No);
  }

  // Last: ending the program also ends every later event loop.
  void AnOldFormatEndsTheProgram() {
    Window w;
    testing::TTRSpec desc;
    desc.mark = 12345;
    w.dir.Write("OLD.TTR", testing::MakeTTRBytes(desc));
    w.prompts.files.push_back(w.dir.File("OLD.TTR"));
    w.Find<QAction>("AttachTTR1")->trigger();
    QVERIFY(w.form.Ended());
    QCOMPARE(w.prompts.messages, std::vector<std::string>{"OLD TTR FILE FORMAT, MUST CONVERT"});
  }
};

QTEST_MAIN(PlotvaneFormTest)
#include "plotvane_form_test.moc"
