// The worksheet's "Columns" commands and formulas through the real window,
// offscreen: every command runs through its prompts and value dialogs,
// formulas are entered through "Formula Edit" and recomputed by F9.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>

#include "platform/user_prompts.h"
#include "series/forms/ForU.h"
#include "series/forms/REntU.h"
#include "series/forms/TWkFrm.h"
#include "series/forms/series_windows.h"
#include "testing/qt_test_helpers.h"

using namespace krv::series;
using krv::platform::ScriptedPrompts;

namespace {

// Answers the modal dialogs as they come up, one answer each; every
// answer is told the dialog and says whether to press OK. A dialog that
// refuses an answer stays up for the next one.
struct Dialogs {
  QPointer<QTimer> watch;  // ends with it, not in a later test's event loop
  std::deque<std::function<void(QWidget*)>> answers;
  QStringList seen;  // the value dialogs' prompts and the formula dialog's label
  ~Dialogs() { delete watch.data(); }
  void Arm() {
    if (answers.empty() || watch) return;
    watch = krv::testing::WhenModal(
        {},
        [this](QWidget* w) {
          watch.clear();
          auto act = answers.front();
          answers.pop_front();
          act(w);
          Arm();
        },
        krv::testing::LeftOpen::Keep);
  }
  // The value dialog: `text` typed, OK (or Cancel when `ok` is false).
  void Value(const QString& text, bool ok = true) {
    answers.push_back([this, text, ok](QWidget* w) {
      auto* d = qobject_cast<TRealEntry*>(w);
      QVERIFY(d);
      seen << d->Label1->text();
      d->Edit1->setText(text);
      (ok ? d->Button1 : d->Button2)->click();
    });
  }
  void Formula(const QString& text, bool ok, bool computeNow) {
    answers.push_back([this, text, ok, computeNow](QWidget* w) {
      auto* d = qobject_cast<TForFrm*>(w);
      QVERIFY(d);
      seen << d->Label1->text() << d->Edit1->text();
      d->Edit1->setText(text);
      d->CheckBox1->setChecked(computeNow);
      (ok ? d->Button1 : d->Button2)->click();
    });
  }
};

struct Windows {
  ScriptedPrompts prompts;
  SeriesWindows w{nullptr, [] {}};
  Dialogs dialogs;
  Windows() {
    Store().RowUseLow = 0;
    Store().RowUseHigh = 4;
  }
  TWkFrm& form() { return *w.WkFrm; }
  SeriesStore& Store() { return w.Store; }
  ColumnSlot& Col(int c) { return w.Store.ColumnSlots[size_t(c)]; }
  void Fill(int c, double first, double step = 1) {
    Store().NewSeries(Col(c), false, "");
    for (int i = 0; i <= 4; ++i) Store().PutVal(Col(c), int16_t(i), first + step * i);
  }
  std::vector<double> Values(int c) {
    std::vector<double> v;
    if (!Col(c).IsOpen()) return v;
    for (int i = 0; i <= 4; ++i) v.push_back(Store().GetVal(Col(c), int16_t(i)));
    return v;
  }
  // Runs a menu item; its prompts are answered with these letters, one
  // prompt after the other ("A:C" for a range).
  void Run(const char* item, std::initializer_list<const char*> answers) {
    dialogs.Arm();
    form().Item(item)->trigger();
    Answer(answers);
  }
  // Answers the open prompt, and those that follow it.
  void Answer(std::initializer_list<const char*> answers) {
    for (const char* a : answers) {
      QVERIFY2(form().State().PromptVisible, a);
      QString text(a);
      QString first = text.section(':', 0, 0), last = text.section(':', 1, 1);
      form().Edit1->setText(first);
      form().State().Edit1 = first.toStdString();
      if (!last.isEmpty()) {
        form().Edit2->setText(last);
        form().State().Edit2 = last.toStdString();
      }
      dialogs.Arm();
      form().CSelOK->click();
    }
  }
};

using Values = std::vector<double>;

}  // namespace

class TWkFrmColumnsTest : public QObject {
  Q_OBJECT
 private slots:
  void EveryColumnItemIsEnabled() {
    Windows t;
    for (const char* name : {"IndexSeries1", "SpecifiedDifference1", "BegEndValues1", "SSAdd1", "CSShift1", "UCumulate1",
                             "Fill1", "SumOverRange1", "RDivide1", "RUExp1", "FormulaEdit1", "DoColRecalc1", "Copy1",
                             "Move1", "Erase1", "RecalcAll1"})
      QVERIFY2(t.form().Item(name)->isEnabled(), name);
    QCOMPARE(t.form().Item("RecalcAll1")->shortcut(), QKeySequence(Qt::Key_F9));
  }

  void CopyAndMoveRefuseOverlapsAndBlocksPastSP() {
    Windows t;
    t.Fill(0, 1);
    t.Fill(1, 10);
    t.Fill(2, 100);
    t.Run("Copy1", {"A:C", "B"});
    QVERIFY(t.prompts.messages == std::vector<std::string>{"Dest. may not overlap source"});
    QVERIFY(t.Values(1) == (Values{10, 11, 12, 13, 14}));
    QVERIFY(!t.Col(3).IsOpen());

    t.Run("Copy1", {"A:C", "D"});
    QCOMPARE(t.form().CSelGroup->title(), QString("Destination (left column in block)?"));
    QVERIFY(t.Values(3) == t.Values(0) && t.Values(4) == t.Values(1) && t.Values(5) == t.Values(2));
    t.Run("Copy1", {"A:C", "F"});
    QVERIFY(t.Values(5) == t.Values(0) && t.Values(7) == t.Values(2));
    QCOMPARE(t.prompts.messages.size(), size_t(1));

    // SO + 2 is past SP: nothing is copied at all.
    t.Run("Copy1", {"A:C", "SO"});
    QCOMPARE(t.prompts.messages.back(), std::string("Dest. beyond column SP"));
    QVERIFY(!t.Col(508).IsOpen() && !t.Col(509).IsOpen());
    t.Run("Move1", {"A:C", "SO"});
    QCOMPARE(t.prompts.messages.back(), std::string("Dest. beyond column SP"));
    QVERIFY(t.Col(0).IsOpen());

    t.Run("Move1", {"A:B", "J"});
    QVERIFY(!t.Col(0).IsOpen() && !t.Col(1).IsOpen());
    QVERIFY(t.Values(9) == (Values{1, 2, 3, 4, 5}) && t.Values(10) == (Values{10, 11, 12, 13, 14}));
    t.Run("Erase1", {"J:K"});
    QVERIFY(!t.Col(9).IsOpen() && !t.Col(10).IsOpen());
  }

  void ConstantOpsPromptWithTheirConstant() {
    Windows t;
    t.Fill(0, 1);
    t.dialogs.Value("2.5");
    t.Run("CSShift1", {});
    QCOMPARE(t.form().CSelGroup->title(), QString("Specify source column to be shifted2 :"));
    QCOMPARE(t.form().State().ConstValue, 2.0);
    QCOMPARE(t.dialogs.seen, QStringList{"Constant*Series operations---Enter constant value:"});

    t.dialogs.Value("3");
    t.Run("CSPower1", {});
    QCOMPARE(t.form().CSelGroup->title(), QString::fromStdString("Source column is ?^" + FormatByMagnitude(12, 3)));
    t.Answer({"A"});
    QCOMPARE(t.form().CSelGroup->title(), QString("Specify destination column:"));
    t.dialogs.Value("3");
    t.Run("CSMultiply1", {"A", "B"});
    QVERIFY(t.Values(1) == (Values{3, 6, 9, 12, 15}));
    QVERIFY(!t.form().State().PromptVisible);

    t.dialogs.Value("0.5");
    t.Run("CSAdd1", {});
    QCOMPARE(t.form().CSelGroup->title(), QString::fromStdString("Source column is ? + " + FormatByMagnitude(12, 0.5)));
    t.dialogs.Value("7", false);
    t.Run("CSAdd1", {});
    QCOMPARE(t.form().State().ConstValue, 0.5);  // Cancel: nothing changes
  }

  void SeriesAndUnaryAndRangeOps() {
    Windows t;
    t.Fill(0, 1);
    t.Fill(1, 10);
    t.form().Item("SSSubtract1")->trigger();
    QCOMPARE(t.form().CSelGroup->title(), QString("[D]=[C1]-[C2]; Specify C1 source column"));
    t.Run("SSSubtract1", {"B", "A", "C"});
    QVERIFY(t.Values(2) == (Values{9, 9, 9, 9, 9}));
    t.form().Item("ULn1")->trigger();
    QCOMPARE(t.form().CSelGroup->title(), QString("Unary operation source column: Ln(?)"));
    t.Run("UNegate1", {"A", "D"});
    QVERIFY(t.Values(3) == (Values{-1, -2, -3, -4, -5}));
    t.form().Item("RAdd1")->trigger();
    QCOMPARE(t.form().CSelGroup->title(), QString("Range [C1]..[C2] operated on:"));
    t.Run("RMultiply1", {"C:D", "A"});
    QVERIFY(t.Values(2) == (Values{9, 18, 27, 36, 45}));
    QVERIFY(t.Values(3) == (Values{-1, -4, -9, -16, -25}));
    t.Run("RUNegate1", {"C:D"});
    QVERIFY(t.Values(3) == (Values{1, 4, 9, 16, 25}));
  }

  void IndexDifferenceFillAndSums() {
    Windows t;
    t.Run("IndexSeries1", {"A"});
    QVERIFY(t.Values(0) == (Values{0, 1, 2, 3, 4}));
    t.dialogs.Value("1");
    t.dialogs.Value("0.5");
    t.Run("SpecifiedDifference1", {"B"});
    QVERIFY(t.Values(1) == (Values{1, 1.5, 2, 2.5, 3}));
    QCOMPARE(t.form().State().DiffEnd, 3.0);
    t.dialogs.Value("0");
    t.dialogs.Value("8");
    t.Run("BegEndValues1", {"C"});
    QVERIFY(t.Values(2) == (Values{0, 2, 4, 6, 8}));
    QCOMPARE(t.dialogs.seen, (QStringList{"Difference series---Enter starting value (at lower index limit):",
                                          "Difference series---Enter difference value (term to term):",
                                          "Difference series---Enter starting value (at lower index limit):",
                                          "Difference series---Enter ending value (at upper index limit):"}));
    t.dialogs.Value("5");
    t.dialogs.Value("1", false);  // Cancel in the second dialog: nothing made
    t.Run("SpecifiedDifference1", {"D"});
    QVERIFY(!t.Col(3).IsOpen());
    t.dialogs.Value("3");
    t.Run("Fill1", {"D"});
    QVERIFY(t.Values(3) == (Values{3, 3, 3, 3, 3}));

    // Sums: an empty range into an empty column gives zeros; a destination
    // holding 1 adds itself; one shorter than the limits counts 0 there,
    // without a warning.
    t.Run("SumOverRange1", {"J:L", "M"});
    QCOMPARE(t.form().State().PromptVisible, false);
    QVERIFY(t.Values(12) == (Values{0, 0, 0, 0, 0}));
    t.dialogs.Value("1");
    t.Run("Fill1", {"N"});
    t.Run("SumOverRange1", {"A:B", "N"});
    QVERIFY(t.Values(13) == (Values{2, 3.5, 5, 6.5, 8}));
    t.Store().NewSeries(t.Col(15), false, "");
    t.Store().PutVal(t.Col(15), 0, 10);
    t.Run("SumOverRange1", {"A:A", "P"});
    QVERIFY(t.Values(15) == (Values{10, 1, 2, 3, 4}));
    QVERIFY(t.prompts.messages.empty());
  }

  void FormulasThroughTheDialogAndF9() {
    Windows t;
    t.Fill(0, 0);
    TWkFrm& f = t.form();
    f.show();
    f.activateWindow();
    t.dialogs.Formula("A*2^3", true, false);
    t.Run("FormulaEdit1", {"C"});
    QCOMPARE(t.dialogs.seen, (QStringList{"Column   C ", ""}));
    QCOMPARE(f.State().Formula[2], std::string("A*2^3"));
    QVERIFY(!t.Col(2).IsOpen());  // not computed yet

    t.dialogs.Formula("B*1", true, false);
    t.Run("FormulaEdit1", {"D"});
    t.dialogs.Formula("@EXPX(A)", true, false);
    t.Run("FormulaEdit1", {"B"});
    QApplication::setActiveWindow(&f);
    QVERIFY(QTest::qWaitForWindowActive(&f));
    QTest::keyClick(f.SG1, Qt::Key_F9);
    QVERIFY(t.Col(2).IsOpen());
    QVERIFY(t.Values(2) == (Values{0, 8, 16, 24, 32}));
    QVERIFY(t.Values(3) == t.Values(1));
    QCOMPARE(t.Values(3)[1], double(float(std::exp(1.0))));

    // Cancel with "Compute Now" computes the formula kept.
    t.Store().PutVal(t.Col(0), 1, 5);
    t.dialogs.Formula("garbage", false, true);
    t.Run("FormulaEdit1", {"C"});
    QCOMPARE(f.State().Formula[2], std::string("A*2^3"));
    QCOMPARE(t.Values(2)[1], 40.0);
    t.Store().PutVal(t.Col(0), 1, 6);
    t.Run("DoColRecalc1", {"C"});
    QCOMPARE(t.Values(2)[1], 48.0);
    QCOMPARE(f.CellModel->data(f.CellModel->index(f.State().RowOf(1) - 1, 2), Qt::DisplayRole).toString().trimmed(),
             QString::fromStdString(FormatCellValue(13, kSpecFlexible, 48)).trimmed());

    // A compile error shown by the dialog's computation.
    t.dialogs.Formula("(P", true, true);
    t.Run("FormulaEdit1", {"V"});
    QVERIFY(t.prompts.messages == std::vector<std::string>{"V : Unbalanced parens at 1:((P)"});
  }
};

QTEST_MAIN(TWkFrmColumnsTest)
#include "twkfrm_columns_test.moc"
