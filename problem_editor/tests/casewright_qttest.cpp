// Casewright's windows driven offscreen by object name.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QTreeView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QMenu>
#include <QtTest>

#include "platform/qt/qt_prompts.h"
#include "platform/user_prompts.h"
#include "problem_editor/forms/TDispMerge.h"
#include "problem_editor/forms/TForm1.h"
#include "problem_editor/forms/TNumDlg.h"
#include "problem_editor/forms/TXSelect.h"
#include "problem_editor/LDSAVE.h"
#include "problem_editor/tests/prb_fixture.h"
#include "testing/qt_test_helpers.h"
#include "testing/temp_dir.h"

using namespace krv::pe;
using namespace krv::pe::testing;

namespace {

template <typename T>
T* Get(QObject* root, const QString& name) {
  T* w = root->findChild<T*>(name);
  if (!w) qFatal("no child %s", qPrintable(name));
  return w;
}

QString Text(QObject* root, const QString& name) {
  if (auto* l = root->findChild<QLabel*>(name)) return l->text();
  if (auto* e = root->findChild<QLineEdit*>(name)) return e->text();
  if (auto* b = root->findChild<QPushButton*>(name)) return b->text();
  qFatal("no text child %s", qPrintable(name));
}

QAction* Action(TForm1& f, const char* name) { return Get<QAction>(&f, name); }

// Focuses `e`, replaces its text by typing, then presses `key`.
void TypeInto(QLineEdit* e, const QString& text, Qt::Key key = Qt::Key_Tab) {
  e->setFocus();
  QApplication::processEvents();
  e->selectAll();
  QTest::keyClicks(e, text);
  QTest::keyClick(e, key);
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

// Runs the selection dialog from the form's menu with the given entries.
void SelectWith(TForm1& f, const QString& mask, const QString& b = QString(),
                const QString& e = QString()) {
  krv::testing::WhenModal<TXSelect>([&f, mask, b, e](TXSelect*) {
    TXSelect& d = f.XSelect();
    if (!b.isEmpty()) Get<QLineEdit>(&d, "BeginEdit")->setText(b);
    if (!e.isEmpty()) Get<QLineEdit>(&d, "EndEdit")->setText(e);
    Get<QLineEdit>(&d, "MaskEdit")->setText(mask);
    d.XSelOK();
    if (d.isVisible()) d.reject();
  });
  Action(f, "DisplayAdd1")->trigger();
  f.activateWindow();
  QVERIFY2(QTest::qWaitForWindowActive(&f), "the window did not become active again");
}

int CursorLeft(QLineEdit* e) { return e->inputMethodQuery(Qt::ImCursorRectangle).toRect().left(); }

// True when an edit shows its whole text: painted with the cursor at the
// end, it has not scrolled the start out of view.
bool ShowsWhole(QLineEdit* e) {
  const int cursor = e->cursorPosition();
  e->setCursorPosition(int(e->text().size()));
  e->grab();
  e->setCursorPosition(0);
  const int start = CursorLeft(e);
  QLineEdit unscrolled(e->parentWidget());
  unscrolled.setGeometry(e->geometry());
  unscrolled.setFont(e->font());
  unscrolled.setText("0");
  unscrolled.grab();
  unscrolled.setCursorPosition(0);
  e->setCursorPosition(cursor);
  return start == CursorLeft(&unscrolled);
}

bool ShowsWhole(QLabel* l) {
  return QFontMetrics(l->font()).horizontalAdvance(l->text()) <= l->contentsRect().width();
}

}  // namespace

class CasewrightTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<krv::testing::TempDir> dir_;
  std::unique_ptr<krv::platform::ScriptedPrompts> prompts_;

  std::unique_ptr<TForm1> LoadedForm() {
    auto f = std::make_unique<TForm1>();
    f->StartWith(dir_->File("FIX"), false);
    f->show();
    f->activateWindow();
    if (!QTest::qWaitForWindowActive(f.get()))
      QTest::qFail("the loaded window did not become active", __FILE__, __LINE__);
    return f;
  }

 private slots:
  void init() {
    dir_ = std::make_unique<krv::testing::TempDir>();
    dir_->Write("FIX.PRB", FixturePrb());
    prompts_ = std::make_unique<krv::platform::ScriptedPrompts>();
  }
  void cleanup() {
    prompts_.reset();
    dir_.reset();
  }

  void startsBare() {
    TForm1 f;
    QCOMPARE(f.windowTitle(), QString("Casewright for v. 6 :"));
    QVERIFY(Text(&f, "HeadLabel").endsWith("   0 disp"));
    QVERIFY(Text(&f, "HeadLabel").startsWith("X in"));
    for (const char* on : {"Load1", "Quit1", "About1"}) QVERIFY2(Action(f, on)->isEnabled(), on);
    for (const char* off : {"Saveas1", "SaveText1", "DisplayAdd1", "ViewLabel1", "Window1"})
      QVERIFY2(!Action(f, off)->isEnabled(), off);
    for (const char* menu : {"Edit1", "Drop1", "Merge1"})
      QVERIFY2(!Get<QMenu>(&f, menu)->menuAction()->isEnabled(), menu);
    QVERIFY(Get<QMenu>(&f, "File1")->menuAction()->isEnabled());
    QCOMPARE(Text(&f, "CapLabel0"), QString(" "));
    QVERIFY(Get<QLineEdit>(&f, "XINedit0")->isReadOnly());
  }

  // The header is padded with blanks; in the grid's fixed font its titles
  // would drift right of their columns and the count would fall off the window.
  void headerTitlesStandOverTheirColumns() {
    auto f = LoadedForm();
    SelectWith(*f, "&");
    auto* head = Get<QLabel>(f.get(), "HeadLabel");
    const QString text = head->text();
    const QFontMetrics fm(head->font());
    struct {
      const char* title;
      const char* column;
    } cols[] = {{"X in", "XINedit0"}, {"X out", "XoutLabel0"}, {"Range", "RangeEdit0"},
                {"Err", "ErrLabel0"}};
    for (const auto& c : cols) {
      const int x = head->x() + fm.horizontalAdvance(text.left(text.indexOf(c.title)));
      const QWidget* w = Get<QWidget>(f.get(), c.column);
      QVERIFY2(x >= w->x() - 8 && x < w->x() + w->width(), c.title);
    }
    QVERIFY(head->x() + fm.horizontalAdvance(text) <= f->centralWidget()->width());
  }

  void commandLineStartValidates() {
    dir_->Write("OLD.PRB", "OLD\r\n#\r\n");
    TForm1 f;
    f.StartWith(dir_->File("MISSING"), true);
    f.StartWith(dir_->File("OLD"), true);
    QCOMPARE(f.windowTitle(), QString("Casewright for v. 6 :"));
    QVERIFY(!Action(f, "Saveas1")->isEnabled());
    QCOMPARE(prompts_->messages,
             (std::vector<std::string>{"NO FILE " + dir_->File("MISSING.PRB") + ": No such file or directory",
                                       "NOT A V.4 FILE " + dir_->File("OLD.PRB")}));
  }

  // Started with "/u": the values come over from the old file, the problem
  // is saved and the program ends by itself; without "/u" nothing is asked.
  void updateModeTakesValuesOverAndEnds() {
    dir_->Write("FIX.OLD.PRB", FixturePrbWith({{9, Block('U', 8.0, 3.0f, 0, 0)},
                                               {2, Block('U', 1.0, 1.0f, 0, 0)},
                                               {4, Block('U', 1.0, 1.0f, 0, 0)}}));
    prompts_->files = {dir_->File("FIX.OLD.PRB")};
    TForm1 f;
    f.show();
    f.StartWith(dir_->File("FIX"), true);
    QCOMPARE(prompts_->messages,
             (std::vector<std::string>{"11 variables merged", "Updated " + dir_->File("FIX")}));
    QTRY_VERIFY(!f.isVisible());
    EditorBuffer saved;
    QVERIFY(ParsePrb(dir_->Read("FIX.PRB"), false, saved));
    QCOMPARE(saved.records[9].XIn(), 8.0);

    // Variables left empty: the window stays open with the values taken.
    prompts_->messages.clear();
    dir_->Write("FIX.PRB", FixturePrb());
    prompts_->files = {dir_->File("FIX.PRB")};
    TForm1 g;
    g.show();
    g.StartWith(dir_->File("FIX"), true);
    QCOMPARE(prompts_->messages.back(), std::string("Some variables empty, need to add."));
    QApplication::processEvents();
    QVERIFY(g.isVisible());
    QVERIFY(g.Session().modified);

    TForm1 h;
    const size_t shown = prompts_->messages.size();
    h.StartWith(dir_->File("FIX"), false);
    QCOMPARE(prompts_->messages.size(), shown);
    QCOMPARE(prompts_->dialogs.size(), size_t(2));
  }

  void loadDialogRetriesUntilValid() {
    dir_->Write("OLD.PRB", "OLD\r\n#\r\n");
    TForm1 f;
    prompts_->files = {dir_->File("NONE.PRB"), dir_->File("OLD.prb"), dir_->File("fix.PRB")};
    Action(f, "Load1")->trigger();
    QCOMPARE(prompts_->dialogs.size(), size_t(3));
    QCOMPARE(prompts_->dialogs[0].title, std::string("PRB file:"));
    QCOMPARE(prompts_->dialogs[0].filter, std::string("PRB files|*.PRB"));
    QCOMPARE(f.windowTitle(), QString::fromStdString("Casewright--" + dir_->File("fix")));
    QVERIFY(Action(f, "Saveas1")->isEnabled());
    QVERIFY(Get<QMenu>(&f, "Edit1")->menuAction()->isEnabled());
    QVERIFY(Text(&f, "HeadLabel").endsWith(" 0 disp"));
    Action(f, "ViewLabel1")->trigger();
    QCOMPARE(prompts_->messages.back(), "Label=" + FixtureHeader().substr(1));
  }

  void selectionFillsTheGrid() {
    auto f = LoadedForm();
    SelectWith(*f, "(IO)&");
    QCOMPARE(Text(f.get(), "CapLabel0"), QString("   0 IO  _X.FLOW.IN"));
    QCOMPARE(Text(f.get(), "XINedit0"), QString(" 1.5000000E+00"));
    QCOMPARE(Text(f.get(), "XoutLabel0"), QString(" 3.5000000E+00"));
    QCOMPARE(Text(f.get(), "RangeEdit0"), QString(" 2.000E+00"));
    QCOMPARE(Text(f.get(), "ErrLabel0"), QString(" 1.000E+00"));
    QCOMPARE(Text(f.get(), "PLabel0"), QString("P"));
    QCOMPARE(Text(f.get(), "Mark0"), QString("I"));
    QCOMPARE(Text(f.get(), "CapLabel3"), QString("  10 IO  _X.A.B.C.D"));
    QCOMPARE(Text(f.get(), "CapLabel4"), QString(" "));
    QVERIFY(Get<QLineEdit>(f.get(), "RangeEdit4")->isReadOnly());
    QVERIFY(Text(f.get(), "HeadLabel").endsWith(" 4 disp"));
    // A marker button toggles the row's mark.
    QTest::mouseClick(Get<QPushButton>(f.get(), "Mark1"), Qt::LeftButton);
    QCOMPARE(Text(f.get(), "Mark1"), QString(" "));
    QCOMPARE(f->Session().main.marks[1], uint8_t(0));
  }

  // Every caption of the selection dialog is readable whole at its place.
  void selectionDialogTextsFit() {
    auto f = LoadedForm();
    TXSelect& d = f->XSelect();
    d.show();
    QApplication::processEvents();
    for (const char* label : {"BeginLabel", "EndLabel"})
      QVERIFY2(Get<QLabel>(&d, label)->x() + Get<QLabel>(&d, label)->sizeHint().width() <=
                   Get<QLineEdit>(&d, "BeginEdit")->x(),
               label);
    for (const char* radio : {"AnyVariables", "EmptyOnly"}) {
      auto* r = Get<QRadioButton>(&d, radio);
      QVERIFY2(r->width() >= r->sizeHint().width() && r->height() >= r->sizeHint().height(), radio);
      QVERIFY2(r->geometry().bottom() < r->parentWidget()->height(), radio);
    }
    d.hide();
  }

  void refusedSelectionBeepsAndStaysOpen() {
    auto f = LoadedForm();
    TXSelect& d = f->XSelect();
    d.SetBuffer(&f->Session().main, true);
    d.show();
    QCOMPARE(d.windowTitle(), QString("Variable Selection: (max 10)"));
    QCOMPARE(Text(&d, "MaskEdit"), QString("&"));
    Get<QLineEdit>(&d, "MaskEdit")->setText("(XX)&");
    Get<QLineEdit>(&d, "BeginEdit")->setText("65541");
    d.XSelOK();
    QCOMPARE(prompts_->beeps, 1);
    QVERIFY(prompts_->messages.empty());
    QVERIFY(d.isVisible());
    QCOMPARE(Text(&d, "BeginEdit"), QString("0"));
    QCOMPARE(f->Session().main.lastDisplayed, -1);
    Get<QCheckBox>(&d, "DropAll")->setChecked(true);
    Get<QRadioButton>(&d, "EmptyOnly")->setChecked(true);
    QVERIFY(!f->Session().anyVariables);
    Get<QLineEdit>(&d, "MaskEdit")->setText("&");
    d.XSelOK();
    QVERIFY(!d.isVisible());
    QCOMPARE(f->Session().main.lastDisplayed, 2);  // records 2, 4 and 9
    QVERIFY(!Get<QCheckBox>(&d, "DropAll")->isChecked());
  }

  void typingValuesWithTabAndEscape() {
    auto f = LoadedForm();
    SelectWith(*f, "&");  // 11 rows: the last page starts at row 1
    QLineEdit* x = Get<QLineEdit>(f.get(), "XINedit0");
    QCOMPARE(Text(f.get(), "CapLabel0"), QString("   1 IO  _X.FLOW.OUT"));
    TypeInto(x, " 2.5 ", Qt::Key_Tab);
    QCOMPARE(f->Session().main.records[1].XIn(), 2.5);
    QCOMPARE(x->text(), QString(" 2.5000000E+00"));
    QCOMPARE(Text(f.get(), "ErrLabel0"), QString(" "));
    QVERIFY(f->Session().modified);

    QLineEdit* r = Get<QLineEdit>(f.get(), "RangeEdit0");
    TypeInto(r, "7", Qt::Key_Escape);
    QCOMPARE(r->text(), QString(" 1.000E+04"));
    QTest::keyClick(r, Qt::Key_Tab);
    QApplication::processEvents();
    QCOMPARE(f->Session().main.records[1].Range(), 10000.0f);
  }

  void badNumberKeepsTheFocus() {
    auto f = LoadedForm();
    SelectWith(*f, "(IO)&");
    QLineEdit* x = Get<QLineEdit>(f.get(), "XINedit1");
    TypeInto(x, "2,5", Qt::Key_Tab);
    QVERIFY(x->hasFocus());
    QCOMPARE(x->text(), QString("2,5"));
    QCOMPARE(f->Session().main.records[1].XIn(), -0.37003730);
    QVERIFY(!f->Session().modified);
    QCOMPARE(prompts_->beeps, 1);
    // Escape still restores what the edit held before.
    QTest::keyClick(x, Qt::Key_Escape);
    QCOMPARE(x->text(), QString("-3.7003730E-01"));
    // A Range beyond the single range is refused the same way.
    QLineEdit* r = Get<QLineEdit>(f.get(), "RangeEdit1");
    TypeInto(r, "1e39", Qt::Key_Tab);
    QVERIFY(r->hasFocus());
    QCOMPARE(f->Session().main.records[1].Range(), 10000.0f);
  }

  void pagingAtTheEnds() {
    auto f = LoadedForm();
    SelectWith(*f, "&");
    SelectWith(*f, "&");  // 22 rows
    EditorBuffer& b = f->Session().main;
    QCOMPARE(b.top, 12);
    QCOMPARE(Get<QScrollBar>(f.get(), "ScrollBar1")->maximum(), 21);
    QTest::keyClick(f.get(), Qt::Key_PageDown);
    QCOMPARE(b.top, 21);
    QCOMPARE(Text(f.get(), "CapLabel0"), QString("  10 IO  _X.A.B.C.D"));
    QCOMPARE(Text(f.get(), "CapLabel1"), QString(" "));
    QTest::keyClick(f.get(), Qt::Key_Home);
    QCOMPARE(b.top, 0);
    QTest::keyClick(f.get(), Qt::Key_PageUp);
    QCOMPARE(b.top, 0);
    QCOMPARE(b.cursor, 3);
    QTest::keyClick(f.get(), Qt::Key_End);
    QCOMPARE(b.top, 12);
    QCOMPARE(Get<QScrollBar>(f.get(), "ScrollBar1")->value(), 12);
    // Keys in an edit reach the grid first and commit the edit.
    QLineEdit* x = Get<QLineEdit>(f.get(), "XINedit0");
    TypeInto(x, "9", Qt::Key_PageUp);
    QCOMPARE(b.records[1].XIn(), 9.0);  // display row 12 is record 1
    QCOMPARE(b.top, 3);
    Get<QScrollBar>(f.get(), "ScrollBar1")->setValue(7);
    QCOMPARE(b.top, 7);
    QCOMPARE(Text(f.get(), "CapLabel0"), QString("   7 *O  _X.X[1]"));
  }

  void closeQueryAndSaveAs() {
    auto f = LoadedForm();
    f->Session().modified = true;
    // Save dialog cancelled, then No: the window stays open, still modified.
    prompts_->answers = {krv::platform::Answer::No};
    QVERIFY(!f->close());
    QCOMPARE(prompts_->questions.back(), std::string("Close without saving?"));
    QVERIFY(f->Session().modified);

    prompts_->files = {dir_->File("FIX.PRB")};
    Action(*f, "Saveas1")->trigger();
    QCOMPARE(prompts_->dialogs.back().title, std::string("Save as:"));
    QCOMPARE(prompts_->dialogs.back().fileName, dir_->File("FIX") + ".PRB");
    QVERIFY(dir_->Has("FIX.PBK"));
    QVERIFY(!f->Session().modified);
    QVERIFY(f->close());

    auto g = LoadedForm();
    prompts_->files = {dir_->File("OTHER.PRB")};
    Action(*g, "Saveas1")->trigger();
    QCOMPARE(g->windowTitle(), QString::fromStdString("Casewright--" + dir_->File("OTHER")));
    QVERIFY(dir_->Has("OTHER.PRB"));
  }

  // Closing the window while an edit still holds a typed value: the value
  // counts as a change, so the close query asks instead of dropping it.
  void closingCommitsTheTypedValue() {
    auto f = LoadedForm();
    SelectWith(*f, "&");
    QLineEdit* x = Get<QLineEdit>(f.get(), "XINedit0");
    x->setFocus();
    QApplication::processEvents();
    x->selectAll();
    QTest::keyClicks(x, "4");
    QVERIFY(!f->Session().modified);
    prompts_->answers = {krv::platform::Answer::No};
    QVERIFY(!f->close());
    QCOMPARE(prompts_->questions.back(), std::string("Close without saving?"));
    QCOMPARE(f->Session().main.records[1].XIn(), 4.0);
    QVERIFY(f->Session().modified);
  }

  // "-1.23456789e-300" takes 16 characters: every field shows it whole,
  // as it does the ordinary 14.
  void longValuesShowWhole() {
    auto f = LoadedForm();
    VariableRecord& r = f->Session().main.records[1];
    r.SetXIn(-1.23456789e-300);
    r.SetXOut(2e-300);
    r.SetRange(1e-40f);
    SelectWith(*f, "&");  // grid row 0 shows record 1, row 9 record 10
    QCOMPARE(Text(f.get(), "XINedit0"), QString("-1.2345679E-0300"));
    QCOMPARE(Text(f.get(), "XoutLabel0"), QString(" 2.0000000E-0300"));
    QCOMPARE(Text(f.get(), "RangeEdit0"), QString(" 1.000E-40"));
    QCOMPARE(Text(f.get(), "ErrLabel0"), QString(" 3.235E-0260"));
    for (int row : {0, 9}) {
      const QString n = QString::number(row);
      QVERIFY2(ShowsWhole(Get<QLineEdit>(f.get(), "XINedit" + n)), qPrintable(n));
      QVERIFY2(ShowsWhole(Get<QLineEdit>(f.get(), "RangeEdit" + n)), qPrintable(n));
      QVERIFY2(ShowsWhole(Get<QLabel>(f.get(), "XoutLabel" + n)), qPrintable(n));
      QVERIFY2(ShowsWhole(Get<QLabel>(f.get(), "ErrLabel" + n)), qPrintable(n));
    }
    // A value typed in and committed is shown whole too.
    QLineEdit* x = Get<QLineEdit>(f.get(), "XINedit9");
    TypeInto(x, "-9.87654321e-123", Qt::Key_Tab);
    QCOMPARE(x->text(), QString("-9.8765432E-0123"));
    QVERIFY(ShowsWhole(x));

    TNumDlg& d = f->NumDlg();
    double v = -1.23456789e-300;
    krv::testing::WhenModal(&d, [&d](QWidget*) {
      auto* e = Get<QLineEdit>(&d, "ValueEdit");
      QCOMPARE(e->text(), QString("-1.2345679E-0300"));
      QVERIFY(ShowsWhole(e));
      d.reject();
    });
    QVERIFY(!d.EditRealValue("Enter new value", v));
  }

  // The solver writes X out into the open problem: coming back to the
  // window shows it, and a save keeps it.
  void activationShowsTheSolversXOut() {
    auto f = LoadedForm();
    SelectWith(*f, "&");  // grid row 0 shows record 1
    QCOMPARE(Text(f.get(), "XoutLabel0"), QString("-5.0000000E-01"));
    QLineEdit* x = Get<QLineEdit>(f.get(), "XINedit0");
    x->setFocus();
    QApplication::processEvents();
    x->selectAll();
    QTest::keyClicks(x, "6");  // being typed while the solver runs
    dir_->Write("FIX.PRB",
                FixturePrbWith({{1, Block('U', -0.37003730, 10000.0f, 2.36e-16f, 123.0)}}));
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    f->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f.get()));
    QCOMPARE(Text(f.get(), "XoutLabel0"), QString(" 1.2300000E+02"));
    QCOMPARE(x->text(), QString("6"));

    prompts_->files = {dir_->File("FIX.PRB")};
    Action(*f, "Saveas1")->trigger();
    EditorBuffer saved;
    QVERIFY(ParsePrb(dir_->Read("FIX.PRB"), false, saved));
    QCOMPARE(saved.records[1].XOut(), 123.0);
    QCOMPARE(saved.records[1].XIn(), 6.0);
    QVERIFY(prompts_->messages.empty());
  }

  void bulkEditsAndListing() {
    auto f = LoadedForm();
    SelectWith(*f, "(IO)&");  // records 0, 1, 9, 10
    // "&Xin" with -1: the constrained record 0 gets 0.
    krv::testing::WhenModal<TNumDlg>([&f](TNumDlg*) {
      QCOMPARE(Text(&f->NumDlg(), "PromptLabel"),
               QString("Enter new value for X of all selected vars ="));
      Get<QLineEdit>(&f->NumDlg(), "ValueEdit")->setText("-1");
      f->NumDlg().OKButtonClick();
    });
    Action(*f, "Xin1")->trigger();
    EditorBuffer& b = f->Session().main;
    QCOMPARE(b.records[0].XIn(), 0.0);
    QCOMPARE(b.records[1].XIn(), -1.0);
    QCOMPARE(Text(f.get(), "XINedit1"), QString("-1.0000000E+00"));
    QVERIFY(f->Session().modified);
    // "&RangeVal" beyond a single: a beep, nothing stored.
    krv::testing::WhenModal<TNumDlg>([&f](TNumDlg*) {
      Get<QLineEdit>(&f->NumDlg(), "ValueEdit")->setText("1e39");
      f->NumDlg().OKButtonClick();
    });
    Action(*f, "RangeVal1")->trigger();
    QCOMPARE(prompts_->beeps, 1);
    QCOMPARE(b.records[1].Range(), 10000.0f);
    // The constraint question cancelled still counts as a change.
    f->Session().modified = false;
    Action(*f, "Positiveor0constr1")->trigger();
    QCOMPARE(prompts_->questions.back(), std::string("Changing all selected vars constraints"));
    QCOMPARE(b.records[1].TypeCode, 0);
    QVERIFY(f->Session().modified);
    prompts_->answers = {krv::platform::Answer::Yes};
    Action(*f, "Positiveor0constr1")->trigger();
    QCOMPARE(Text(f.get(), "PLabel1"), QString("P"));

    // Unmark two rows and drop them.
    Get<QPushButton>(f.get(), "Mark0")->click();
    Get<QPushButton>(f.get(), "Mark2")->click();
    QCOMPARE(Text(f.get(), "Mark0"), QString(" "));
    Action(*f, "Dropdeselected1")->trigger();
    QVERIFY(Text(f.get(), "HeadLabel").endsWith(" 2 disp"));
    QCOMPARE(Text(f.get(), "CapLabel0"), QString("   1 IO  _X.FLOW.OUT"));

    prompts_->files = {dir_->File("LIST.TXT")};
    Action(*f, "SaveText1")->trigger();
    QVERIFY(prompts_->dialogs.back().askOverwrite);
    QCOMPARE(prompts_->dialogs.back().filter, std::string("Text file|*.TXT"));
    const std::string listing = dir_->Read("LIST.TXT");
    QVERIFY(listing.starts_with("   1 IO  _X.FLOW.OUT\r\nP   -1.0000000E+00"));

    // Read back after a hand edit, with "only empty" unchecked again.
    dir_->Write("LIST.TXT", "   9 IO  _X.A.B\r\n 5 6 7\r\n");
    prompts_->files = {dir_->File("LIST.TXT")};
    Action(*f, "Automatchonlyempty1")->trigger();
    QVERIFY(!f->Session().autoMatchAll);
    Action(*f, "TXTfileautomatch1")->trigger();
    QCOMPARE(b.records[9].XIn(), 5.0);
    QCOMPARE(prompts_->messages.back(), std::string("1 variables merged"));
    Action(*f, "DropALL1")->trigger();
    QVERIFY(Text(f.get(), "HeadLabel").endsWith(" 0 disp"));
  }

  void transferWindow() {
    dir_->Write("SRC.PRB", FixturePrbWith({{0, Block('U', 11.0, 1.0f, 0, 0)},
                                           {1, Block('P', 12.0, 2.0f, 0, 0)}}));
    auto f = LoadedForm();
    SelectWith(*f, "&");  // 11 rows
    f->showMaximized();
    QApplication::processEvents();
    Action(*f, "OpenPRBtransferwindow1")->trigger();
    TDispMerge& m = f->DispMerge();
    QVERIFY(m.isVisible());
    QVERIFY(f->Session().transferMode);
    QVERIFY(!(f->windowState() & Qt::WindowMaximized));
    QCOMPARE(Get<QScrollBar>(f.get(), "ScrollBar1")->pageStep(), 4);
    QVERIFY(!Get<QMenu>(f.get(), "Merge1")->menuAction()->isEnabled());
    QCOMPARE(m.windowTitle(), QString("Merge"));
    QVERIFY(!Get<QAction>(&m, "Merge1")->isEnabled());

    prompts_->files = {dir_->File("SRC.PRB")};
    Get<QAction>(&m, "File1")->trigger();
    QCOMPARE(prompts_->dialogs.back().filter, std::string("PRB merge source|*.PRB"));
    QCOMPARE(m.windowTitle(), QString::fromStdString(dir_->File("SRC")));
    QCOMPARE(Text(&m, "CountLabel"), QString("0 disp"));
    // A source that does not load keeps the one there is.
    dir_->Write("BAD.PRB", "*BAD\r\n");
    prompts_->files = {dir_->File("BAD.PRB")};
    Get<QAction>(&m, "File1")->trigger();
    QCOMPARE(prompts_->messages.back(),
             "Error in problem file " + dir_->File("BAD.PRB") + ": name count cut short");
    QCOMPARE(m.windowTitle(), QString::fromStdString(dir_->File("SRC")));

    m.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&m));
    krv::testing::WhenModal<TXSelect>([f = f.get()](TXSelect*) {
      TXSelect& d = f->XSelect();
      Get<QLineEdit>(&d, "MaskEdit")->setText("&");
      d.XSelOK();
      if (d.isVisible()) d.reject();
    });
    QTest::keyClick(&m, Qt::Key_F4);
    QCOMPARE(Text(&m, "CountLabel"), QString("11 disp"));
    m.activateWindow();  // back from the selection dialog
    QVERIFY(QTest::qWaitForWindowActive(&m));
    EditorBuffer& src = *f->Session().merge;
    QCOMPARE(src.top, 7);  // the last page of four rows

    // Paging: each key from the given top and cursor.
    struct Key {
      Qt::Key key;
      int top, cursor, wantTop, wantCursor;
    } keys[] = {
        {Qt::Key_Home, 7, 7, 0, 0},     {Qt::Key_PageDown, 0, 0, 4, 4},
        {Qt::Key_PageUp, 4, 4, 0, 3},   {Qt::Key_End, 0, 0, 7, 10},
        {Qt::Key_Up, 7, 7, 6, 6},       {Qt::Key_Down, 0, 3, 1, 4},
        {Qt::Key_PageDown, 8, 8, 10, 10},
    };
    for (const Key& k : keys) {
      src.top = k.top;
      src.cursor = k.cursor;
      QTest::keyClick(&m, k.key);
      QCOMPARE(src.top, k.wantTop);
      QCOMPARE(src.cursor, k.wantCursor);
    }
    QCOMPARE(Get<QScrollBar>(&m, "ScrollBar1")->value(), 10);
    QCOMPARE(Text(&m, "CapLabel0"), QString("  10 IO  _X.A.B.C.D"));

    // F7 twice from source row 0 onto main row 0: both cursors move on.
    QTest::keyClick(&m, Qt::Key_Home);
    EditorBuffer& b = f->Session().main;
    b.cursor = 0;
    f->Session().modified = false;
    QCOMPARE(Text(&m, "Mark0"), QString("I"));
    QCOMPARE(Text(&m, "ValLabel0"),
             QString("    1.1000000E+01  0.0000000E+00  1.000E+00 -1.100E+01"));
    QTest::keyClick(&m, Qt::Key_F7);
    QTest::keyClick(&m, Qt::Key_F7);
    QCOMPARE(b.records[0].XIn(), 11.0);
    QVERIFY(!b.records[0].Positive());
    QCOMPARE(b.records[1].XIn(), 12.0);
    QVERIFY(b.records[1].Positive());
    QCOMPARE(src.cursor, 2);
    QCOMPARE(b.cursor, 2);
    QVERIFY(f->Session().modified);
    // On the last row of the main list its cursor stays; so does the source's.
    b.cursor = 10;
    QTest::keyClick(&m, Qt::Key_F7);
    QCOMPARE(b.cursor, 10);
    QCOMPARE(src.cursor, 3);
    QTest::keyClick(&m, Qt::Key_End);
    QTest::keyClick(&m, Qt::Key_F7);
    QCOMPARE(src.cursor, 10);
    // A marker click moves the source cursor.
    Get<QPushButton>(&m, "Mark1")->click();
    QCOMPARE(src.cursor, 8);

    Get<QAction>(&m, "DropALL1")->trigger();
    QCOMPARE(Text(&m, "CountLabel"), QString("0 disp"));
    m.close();
    QVERIFY(!f->Session().transferMode);
    QVERIFY(f->windowState() & Qt::WindowMaximized);
    QCOMPARE(Get<QScrollBar>(f.get(), "ScrollBar1")->pageStep(), 9);
    QVERIFY(Get<QMenu>(f.get(), "Merge1")->menuAction()->isEnabled());
  }

  void numberDialog() {
    TNumDlg d;
    double v = 1.0;
    krv::testing::WhenModal(&d, [&d](QWidget*) {
      QCOMPARE(Text(&d, "ValueEdit"), QString("1.0000000E+00"));
      Get<QLineEdit>(&d, "ValueEdit")->setText("2,5");
      d.OKButtonClick();  // refused: the text shown at the start returns
      QCOMPARE(Text(&d, "ValueEdit"), QString("1.0000000E+00"));
      Get<QLineEdit>(&d, "ValueEdit")->setText("  2.5  ");
      d.OKButtonClick();
    });
    bool accepted = d.EditRealValue("Enter new value", v);
    QVERIFY(accepted);
    QCOMPARE(v, 2.5);
    QCOMPARE(prompts_->beeps, 1);
    QCOMPARE(d.windowTitle(), QString("Enter/edit value"));

    krv::testing::WhenModal(&d, [&d](QWidget*) {
      Get<QLineEdit>(&d, "ValueEdit")->setText("7");
      QTest::keyClick(&d, Qt::Key_Escape);
    });
    QVERIFY(!d.EditRealValue("Enter new value", v));
    QCOMPARE(v, 2.5);
  }

  // The real dialogs: the load dialog's list shows each file's size, type
  // and date whole, and a message's text can be selected to copy it.
  void realDialogsShowTheirTextsWhole() {
    dir_->Write("LONGER NAME OF A PROBLEM.PRB", FixturePrb());
    TForm1 f;
    f.show();
    krv::platform::QtPrompts real(&f);
    krv::platform::SetPrompts(&real);
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(dir_->path()));
    bool whole = false, selectable = false;
    krv::testing::WhenModal<QFileDialog>([&](QFileDialog* dialog) {
      auto* list = dialog->findChild<QTreeView*>("treeView");
      // The list is filled once the directory is read.
      whole = list && QTest::qWaitFor([&] {
        if (list->model()->rowCount(list->rootIndex()) == 0) return false;
        for (int c = 1; c < 4; ++c)
          if (list->columnWidth(c) < static_cast<QAbstractItemView*>(list)->sizeHintForColumn(c)) return false;
        return list->header()->length() <= list->viewport()->width();
      });
      dialog->reject();
    });
    f.Load1Click();
    QDir::setCurrent(cwd);
    QVERIFY(whole);

    krv::testing::WhenModal<QMessageBox>([&](QMessageBox* box) {
      selectable = box->textInteractionFlags() & Qt::TextSelectableByKeyboard;
      box->accept();
    });
    real.ShowMessage("Cannot save P.PRB: Permission denied");
    QVERIFY(selectable);
    krv::platform::SetPrompts(prompts_.get());
  }
};

QTEST_MAIN(CasewrightTest)
#include "casewright_qttest.moc"
