// The worksheet window offscreen: the grid's texts, cursor moves that
// commit or refuse, Escape, the close query, painting only what is seen,
// a problem's series loaded, edited, named and saved through the forms, and
// text tables and WKS spreadsheets read and written through the File menu.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <functional>

#include "platform/user_prompts.h"
#include "series/worksheet_format.h"
#include "series/forms/NameU.h"
#include "series/forms/SerUnit.h"
#include "series/forms/TWkFrm.h"
#include "series/forms/series_windows.h"
#include "testing/qt_test_helpers.h"
#include "testing/temp_dir.h"

using namespace krv::series;
using krv::platform::Answer;
using krv::platform::ScriptedPrompts;
using krv::testing::WhenModal;

namespace {

QString Cell(TWkFrm& f, int column, int index) {
  return f.CellModel->data(f.CellModel->index(f.State().RowOf(index) - 1, column), Qt::DisplayRole).toString();
}

// Types `text` into the cursor cell through the grid's editor.
void TypeInto(TWkFrm& f, const QString& text) {
  f.SG1->setFocus();
  f.SG1->edit(f.SG1->currentIndex());
  QWidget* editor = f.SG1->indexWidget(f.SG1->currentIndex());
  QVERIFY(editor);
  auto* line = qobject_cast<QLineEdit*>(editor);
  QVERIFY(line);
  line->setText(text);
}

struct Windows {
  krv::testing::TempDir dir;
  ScriptedPrompts prompts;
  SeriesWindows w{nullptr, [] {}};
  TWkFrm& form() { return *w.WkFrm; }
  ColumnSlot& Col(int c) { return w.Store.ColumnSlots[size_t(c)]; }
};

}  // namespace

class TWkFrmTest : public QObject {
  Q_OBJECT
 private slots:
  void HeaderAndIndexTexts() {
    Windows t;
    TWkFrm& f = t.form();
    QCOMPARE(f.windowTitle(), QString("Worksheet"));
    QCOMPARE(f.CellModel->rowCount(), 12401);
    QCOMPARE(f.CellModel->columnCount(), 510);
    QCOMPARE(f.CellModel->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QString("  A "));
    QCOMPARE(f.CellModel->headerData(509, Qt::Horizontal, Qt::DisplayRole).toString(), QString("  SP"));
    QCOMPARE(f.XModel->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QString("  Xvals"));
    QCOMPARE(f.XModel->headerData(0, Qt::Vertical, Qt::DisplayRole).toString(), QString("  -400"));
    QCOMPARE(f.XModel->headerData(12400, Qt::Vertical, Qt::DisplayRole).toString(), QString(" 12000"));
    QCOMPARE(f.State().CurrentIndex(), 0);
    QCOMPARE(f.SG1->currentIndex().row(), 400);
    QCOMPARE(f.RowUseLbl->text(), QString("Low=      0      High=    400"));
    QCOMPARE(f.Label4->text(), QString("Current DSDir path in file <NO FILE>"));
    QVERIFY(!f.CSelGroup->isVisible());
    QCOMPARE(f.CSelOK->text(), QString("OK"));
    QCOMPARE(f.CSelCan->text(), QString("Cancel"));
    // Hidden and disabled file items; the checked captions.
    for (const char* name : {"AttachDSF1", "FileCreateDSF1", "DetachDSF1"}) {
      QVERIFY(!f.Item(name)->isVisible());
      QVERIFY(!f.Item(name)->isEnabled());
    }
    QCOMPARE(f.Item("Zero1")->text(), QString("Zero(F10)"));
    QCOMPARE(f.Item("Zero1")->shortcut(), QKeySequence(Qt::Key_F10));
    QCOMPARE(f.Item("HIDE1")->text(), QString("HIDE"));
    f.Item("OldStyle1")->trigger();
    QCOMPARE(f.Item("OldStyle1")->text(), QString("Tree Series select"));
  }

  // Every text a value takes in its 13-character field, in a column of the
  // default width, is drawn
  // whole: padding that does not fit goes, and a size that does not fit
  // shrinks; a text that fits is drawn as it stands.
  void CellTextsAreNeverCutOff() {
    Windows t;
    TWkFrm& f = t.form();
    const int room = f.SG1->columnWidth(2) - 4;
    QCOMPARE(f.SG1->columnWidth(2), 79);
    for (int decimals : {-2, -1, 3})
      for (double v : {0.0, 1.0, -1.0, 123.456, -1234567.5, 1e7, -2.5e-30, 3.4e38, -1e150}) {
        const QString text = QString::fromStdString(FormatCellValue(13, decimals, v));
        if (text.size() > 13) continue;  // wider than its field in any font
        const CellLook look = FitCellText(text, f.SG1->font(), room);
        QVERIFY2(QFontMetrics(look.font).horizontalAdvance(look.text) <= room, qPrintable(text));
        QCOMPARE(look.text.trimmed(), text.trimmed());
        if (QFontMetrics(f.SG1->font()).horizontalAdvance(text) <= room) {
          QCOMPARE(look.text, text);
          QCOMPARE(look.font, f.SG1->font());
        } else {
          QCOMPARE(look.align, Qt::AlignRight);
        }
      }
    const CellLook small = FitCellText("  2.5", f.SG1->font(), room);
    QCOMPARE(small.text, QString("  2.5"));
    QCOMPARE(small.align, Qt::AlignLeft);
  }

  void CursorMovesCommitOrRefuse() {
    Windows t;
    TWkFrm& f = t.form();
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    TypeInto(f, "2.5");
    QTest::keyClick(f.SG1, Qt::Key_Down);  // leaves the editor's cell: committed
    QCOMPARE(f.State().CurrentIndex(), 1);
    QVERIFY(t.Col(0).IsOpen());
    QCOMPARE(Cell(f, 0, 0), QString("    2.500000"));
    QCOMPARE(f.ListBox1->item(0)->text(), QString(" A     <c>***noname***"));

    TypeInto(f, "1.5x");
    QTest::keyClick(f.SG1, Qt::Key_Down);  // refused: beep, the cursor stays
    QCOMPARE(f.State().CurrentIndex(), 1);
    QCOMPARE(t.prompts.beeps, 1);
    QCOMPARE(Cell(f, 0, 1), QString("1.5x"));
    QTest::mouseClick(f.SG1->viewport(), Qt::LeftButton, {},
                      f.SG1->visualRect(f.CellModel->index(f.State().RowOf(1) - 1, 3)).center());
    QCOMPARE(f.State().CurrentColumn(), 0);  // a click is refused as well
    QTest::keyClick(f.SG1, Qt::Key_Escape);  // the edit is dropped
    QCOMPARE(Cell(f, 0, 1), QString(""));
    QTest::keyClick(f.SG1, Qt::Key_Down);
    QCOMPARE(f.State().CurrentIndex(), 2);

    // A menu command commits first and names a refused cell.
    TypeInto(f, "zz");
    f.Item("Zero1")->trigger();
    QCOMPARE(t.prompts.messages.back(), std::string("Error at 0,2"));
  }

  void CloseQueryBothWays() {
    Windows t;
    TWkFrm& f = t.form();
    f.show();
    t.w.Store.NewSeries(t.Col(4), false, "");
    t.w.Store.PutVal(t.Col(4), 0, 1.0);
    t.prompts.answers = {Answer::Yes};
    QVERIFY(!f.close());
    QVERIFY(f.isVisible());
    QVERIFY(t.Col(4).IsOpen());
    t.prompts.answers = {Answer::No};
    QVERIFY(f.close());
    QVERIFY(!t.Col(4).IsOpen());
    QCOMPARE(t.prompts.questions.size(), size_t(2));
    QCOMPARE(t.prompts.questions[0], std::string("Some data may not have been saved!--Return to worksheet??"));
  }

  void APaintFormatsOnlyVisibleCells() {
    Windows t;
    TWkFrm& f = t.form();
    for (int c = 0; c < kColumnCount; c += 7) {
      t.w.Store.NewSeries(t.Col(c), false, "");
      for (int i = -400; i <= 12000; i += 50) t.w.Store.PutVal(t.Col(c), int16_t(i), i);
    }
    f.resize(1000, 700);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    f.CellModel->cellsAsked = 0;
    f.SG1->viewport()->repaint();
    long visible = long(f.SG1->viewport()->height() / 18 + 2) * (f.SG1->viewport()->width() / 79 + 2);
    QVERIFY(f.CellModel->cellsAsked > 0);
    QVERIFY2(f.CellModel->cellsAsked <= 2 * visible, qPrintable(QString::number(f.CellModel->cellsAsked)));
  }

  void PromptFollowsTheGridAndTheHeaderList() {
    Windows t;
    TWkFrm& f = t.form();
    f.show();
    f.Item("YofXSet1")->trigger();
    QVERIFY(f.CSelGroup->isVisible());
    QCOMPARE(f.Label2->text(), QString("to"));
    f.SG1->selectionModel()->select(QItemSelection(f.CellModel->index(400, 2), f.CellModel->index(400, 4)),
                                    QItemSelectionModel::ClearAndSelect);
    QCOMPARE(f.Edit1->text(), QString("C "));
    QCOMPARE(f.Edit2->text(), QString("E "));
    f.CSelCan->click();
    QVERIFY(!f.CSelGroup->isVisible());

    f.Item("XSet1")->trigger();
    QCOMPARE(f.CSelGroup->title(), QString("Select a Current X Column"));
    QVERIFY(!f.Edit2->isVisible());
    f.ListBox1->setCurrentRow(3);
    f.ListBox1DblClick();  // picks D and presses OK
    QVERIFY(!f.CSelGroup->isVisible());
    QCOMPARE(f.State().XColumn, 3);
  }

  void LoadEditNameAndSaveThroughTheForms() {
    Windows t;
    SeriesStore& store = t.w.Store;
    // A problem's series made by the series library.
    store.CreateDSF(t.dir.File("PROB"));
    store.MakeDSDir(".PR1");
    for (int k = 0; k < 2; ++k) {
      store.NewSeries(t.Col(0), false, "");
      for (int i = 0; i <= 3; ++i) store.PutVal(t.Col(0), int16_t(i), 10 * k + i);
      store.SaveSeries(t.Col(0), k ? ".PR1.B" : ".PR1.A");
    }
    store.FreeSeries(t.Col(0));
    TWkFrm& f = t.form();
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));

    // Series > Load series: the picker, then the column prompt.
    WhenModal({}, [](QWidget* w) {
      auto* ser = qobject_cast<TSerFrm*>(w);
      QVERIFY(ser);
      QCOMPARE(ser->Label1->text(), QString("Series to load"));
      ser->ComboBox1->setEditText(".PR1.&");
      ser->Button1->click();
    });
    f.Item("LoadSeries1")->trigger();
    QVERIFY(f.CSelGroup->isVisible());
    QCOMPARE(f.CSelGroup->title(), QString("Column at which to start loading:"));
    f.Edit1->setText("c");
    f.State().Edit1 = "c";
    f.CSelOK->click();
    QVERIFY(t.Col(2).IsOpen());
    QVERIFY(t.Col(3).IsOpen());
    QCOMPARE(Cell(f, 3, 2), QString("     12.00000"));
    QCOMPARE(f.ListBox1->item(2)->text(), QString(" C        .PR1.A"));

    // Edit a value of B, then name the column anew and save it.
    f.State().SetCurrentColumn(3);
    f.State().SetCurrentIndex(4);
    f.SG1->setFocus();
    TypeInto(f, "99");
    QTest::keyClick(f.SG1, Qt::Key_Up);
    QCOMPARE(store.GetVal(t.Col(3), 4), 99.0f);

    f.Item("Name1")->trigger();
    f.Edit1->setText("D");
    WhenModal({}, [](QWidget* w) {
      auto* name = qobject_cast<TNameFrm*>(w);
      QVERIFY(name);
      QCOMPARE(name->windowTitle(), QString("Edit Series Name and description for: D "));
      QCOMPARE(name->Edit1->text(), QString(".PR1.B"));
      name->Edit1->setText(".PR1.B2");
      name->Edit2->setText("edited");
      name->OKButton->click();
    });
    f.CSelOK->click();
    QCOMPARE(f.ListBox1->item(3)->text(), QString(" D     <c>.PR1.B2"));

    f.Item("Save1")->trigger();
    f.Edit1->setText("C");
    f.Edit2->setText("D");
    f.CSelOK->click();
    QVERIFY(!store.FailureFlag);
    QCOMPARE(f.ListBox1->item(3)->text(), QString(" D        .PR1.B2"));
    // Read back by the store: the value typed, the description given.
    ColumnSlot check;
    store.OpenSeries(check, ".PR1.B2");
    QVERIFY(!store.FailureFlag);
    QCOMPARE(store.GetVal(check, 4), 99.0f);
    QCOMPARE(check.Header().comment, std::string("edited"));
  }

  // File > Read a data file > TXT at column T, then both TXT writes of T..U:
  // the written table reads back as the bytes it was read from.
  void TextTableReadAtTAndWrittenBack() {
    Windows t;
    SeriesStore& store = t.w.Store;
    const std::string table =
        "*    .P.FLOW\r\n"
        "*    .P.LEVEL\r\n"
        "  1.500000E+00  2.000000E+00\r\n"
        " -1.250000E-01  3.400000E+38\r\n"
        "  4.000000E+00  8.000000E+00\r\n";
    t.dir.Write("in.txt", table);
    TWkFrm& f = t.form();
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));

    t.prompts.files.push_back(t.dir.File("in.txt"));
    f.Item("ReadTXT1")->trigger();
    QCOMPARE(f.CSelGroup->title(), QString("Leftmost column for TXT block read:"));
    f.Edit1->setText("T");
    f.State().Edit1 = "T";
    f.CSelOK->click();
    QVERIFY(!store.FailureFlag);
    QVERIFY(t.Col(19).IsOpen());
    QVERIFY(t.Col(20).IsOpen());
    QVERIFY(!t.Col(18).IsOpen() && !t.Col(21).IsOpen());
    QCOMPARE(t.Col(19).Descriptor().path, std::string(".P.FLOW"));
    QCOMPARE(t.Col(20).Descriptor().path, std::string(".P.LEVEL"));
    QCOMPARE(store.GetVal(t.Col(19), int16_t(store.RowUseLow + 1)), -0.125f);

    t.prompts.files.push_back(t.dir.File("out.txt"));
    f.Item("WriteTXTHeaders1")->trigger();
    QCOMPARE(f.CSelGroup->title(), QString("Range of columns to save:"));
    f.Edit1->setText("T");
    f.Edit2->setText("U");
    f.CSelOK->click();
    QVERIFY(!store.FailureFlag);
    QCOMPARE(t.dir.Read("out.txt"), table);

    t.prompts.files.push_back(t.dir.File("plain.txt"));
    f.Item("WriteTXTNoHeaders1")->trigger();
    f.Edit1->setText("T");
    f.Edit2->setText("U");
    f.CSelOK->click();
    QCOMPARE(t.dir.Read("plain.txt"), table.substr(table.find("  1.5")));
    QVERIFY(t.prompts.messages.empty());
  }

  // File > Write > WKS, then File > Read > WKS: No to the warning leaves the
  // worksheet alone, Yes replaces it by the file's cells.
  void WksWrittenAndReadThroughTheMenus() {
    Windows t;
    SeriesStore& store = t.w.Store;
    TWkFrm& f = t.form();
    store.NewSeries(t.Col(1), false, "");
    for (int i = 0; i <= 2; ++i) store.PutVal(t.Col(1), int16_t(i), float(i) + 0.5f);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));

    t.prompts.files.push_back(t.dir.File("W.WKS"));
    f.Item("WriteWKS1")->trigger();
    QVERIFY(!store.FailureFlag);
    QVERIFY(t.dir.Read("W.WKS").size() > 0);

    t.prompts.files.push_back(t.dir.File("W.WKS"));
    t.prompts.answers.push_back(Answer::No);
    f.Item("ReadWKS1")->trigger();
    QCOMPARE(t.prompts.questions.back(), std::string("This erases the entire worksheet; continue?"));
    QCOMPARE(t.Col(1).Header().comment, std::string());

    t.prompts.files.push_back(t.dir.File("W.WKS"));
    t.prompts.answers.push_back(Answer::Yes);
    f.Item("ReadWKS1")->trigger();
    QVERIFY(!store.FailureFlag);
    // Index i was written to row i + 1 (the lowest index 0) and row r is
    // read to index r + 1: the values come back two indices up, in B.
    QCOMPARE(t.Col(1).Header().comment, "from file " + t.dir.File("W.WKS"));
    QCOMPARE(store.GetVal(t.Col(1), 2), 0.5f);
    QCOMPARE(store.GetVal(t.Col(1), 4), 2.5f);
    QVERIFY(!t.Col(0).IsOpen());
    QVERIFY(t.prompts.messages.empty());
  }

  void TreePickWithoutAFileOpensNoTree() {
    Windows t;
    t.w.SerFrm->State.singleMode = false;
    t.w.SerFrm->Button3Click();  // would show the tree of nothing
    QCOMPARE(t.prompts.messages.back(), std::string("No DSF attached"));
    QVERIFY(!t.w.TVfrm->isVisible());
  }
};

QTEST_MAIN(TWkFrmTest)
#include "twkfrm_test.moc"
