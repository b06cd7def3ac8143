// Qt Tests of Helmsman's editors: the source editor with its headings
// index, and the any-file editor, driven from the main window.
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include <filesystem>

#include "guide/forms/DGW1.h"
#include "guide/forms/any_file_form.h"
#include "guide/forms/edit_source_form.h"
#include "guide/forms/find_form.h"
#include "guide/forms/headings_form.h"
#include "guide/forms/sosi_window.h"
#include "guide/memo_text.h"
#include "platform/file_stamp.h"
#include "platform/process_start.h"
#include "platform/qt/qt_prompts.h"
#include "platform/user_prompts.h"
#include "testing/qt_test_helpers.h"
#include "testing/temp_dir.h"

namespace gd = krv::guide;
using krv::platform::Answer;
using krv::platform::PackedFileDate;
using krv::platform::PackLocalTime;
using krv::platform::RecordingStarter;
using krv::platform::ScriptedPrompts;
using krv::platform::SetPackedFileDate;
using krv::testing::ScopedCwd;
using krv::testing::TempDir;

namespace {

const char* const kQtl =
    "{ model W }\r\n"
    "XPROC FLOW(VAROT Q:XVR;\r\n"
    "           VARIN H:XVR);\r\n"
    "begin Q:=H end;\r\n"
    "MPROC SYSTEM;\r\n"
    "begin end;\r\n";
const char* const kPsy = "procedure FLOWC;\r\nbegin\r\nend;\r\n\x1a";

// Helmsman on problem W, preprocessed a while ago: W.QTL, W.PSY, W.VNM.
struct Helmsman {
  ScopedCwd keep{"."};
  TempDir pgm, work;
  ScriptedPrompts prompts;
  RecordingStarter starts;
  std::unique_ptr<TForm1> f;
  TEditFrm* edit;
  TE1* e1;
  TE2* e2;
  TE3* e3;
  TFindFrm* find;

  Helmsman() {
    work.Write("W.QTL", kQtl);
    work.Write("W.PSY", kPsy);
    work.Write("W.VNM", "map");
    const uint32_t old = PackLocalTime(time(nullptr) - 600);
    for (const char* n : {"W.QTL", "W.PSY", "W.VNM"}) SetPackedFileDate(work.File(n), old);
    f = std::make_unique<TForm1>(pgm.path() + "/");
    f->show();
    prompts.files = {work.File("W.QTL")};
    QTest::mouseClick(Button("FileButton"), Qt::LeftButton);
    edit = f->findChild<TEditFrm*>();
    e1 = f->findChild<TE1*>();
    e2 = f->findChild<TE2*>();
    e3 = f->findChild<TE3*>();
    find = f->findChild<TFindFrm*>();
  }
  QPushButton* Button(const char* name) { return f->findChild<QPushButton*>(name); }
  QPushButton* EditButton(const char* name) { return edit->findChild<QPushButton*>(name); }
  QString Label(QWidget* w, const char* name) { return w->findChild<QLabel*>(name)->text(); }
  bool MainButtonsEnabled(bool on) {
    for (const char* b : {"FileButton", "EditButton", "SObutton", "CvtSObutton"})
      if (Button(b)->isEnabled() != on) return false;
    return true;
  }
  void Type(QPlainTextEdit* memo, const QString& text) {
    QTextCursor c = memo->textCursor();
    c.insertText(text);
    memo->setTextCursor(c);
  }
};

}  // namespace

class EditorsFormTest : public QObject {
  Q_OBJECT

 private slots:
  void editShowsTheFourWindowsWithTheFiles() {
    Helmsman h;
    QCOMPARE(h.edit->windowTitle(), QString("Edit Source W"));
    QTest::mouseClick(h.Button("EditButton"), Qt::LeftButton);
    for (QWidget* w : std::initializer_list<QWidget*>{h.edit, h.e1, h.e2, h.e3}) QVERIFY(w->isVisible());
    QCOMPARE(h.e1->windowTitle(), QString("QTL Source File"));
    QCOMPARE(h.e2->windowTitle(), QString("PSY Pascal File"));
    QCOMPARE(h.e3->windowTitle(), QString("Procedures and Functions"));
    QCOMPARE(h.e3->size(), QSize(816, 153));
    QCOMPARE(gd::MemoText(h.e1->M1), gd::MemoTextFromFile(kQtl));
    QCOMPARE(gd::MemoText(h.e2->M2), std::string("procedure FLOWC;\nbegin\nend;\n\x1a"));
    QVERIFY(!gd::MemoModified(h.e1->M1) && !gd::MemoModified(h.e2->M2));
    // The buttons that would go over the open editor stay off, whatever
    // the status says.
    QVERIFY(h.MainButtonsEnabled(false));
    h.f->RefreshStatus();
    QVERIFY(h.MainButtonsEnabled(false));
    QVERIFY(h.Button("PrepButton")->isEnabled());

    // Menus as the modeller sees them.
    QStringList menus;
    for (QAction* a : h.edit->findChild<QMenuBar*>()->actions()) menus << a->text();
    QCOMPARE(menus, (QStringList{"EditQTL", "SearchQTL", "EditPSY", "SearchPSY", "SearchBoth"}));
    QAction* both = h.edit->findChild<QMenuBar*>()->actions().last();
    QCOMPARE(both->shortcut(), QKeySequence("Ctrl+F"));
    both->trigger();
    QVERIFY(h.find->isVisible());
    QCOMPARE(h.find->windowTitle(), QString("Find/Replace in both QTL and PSY"));

    // OK with nothing modified writes nothing.
    const auto qtlDate = PackedFileDate(h.work.File("W.QTL"));
    const auto psyDate = PackedFileDate(h.work.File("W.PSY"));
    QTest::mouseClick(h.EditButton("Button1"), Qt::LeftButton);
    QCOMPARE(PackedFileDate(h.work.File("W.QTL")), qtlDate);
    QCOMPARE(PackedFileDate(h.work.File("W.PSY")), psyDate);
    for (QWidget* w : std::initializer_list<QWidget*>{h.edit, h.e1, h.e2, h.e3, h.find})
      QVERIFY(!w->isVisible());
    QVERIFY(h.MainButtonsEnabled(true));
    QVERIFY(h.prompts.messages.empty());
  }

  void okSavesCrLfLinesAndTheStatusSeesIt() {
    Helmsman h;
    QCOMPARE(h.Label(h.f.get(), "PrepStatus"), QString(" "));
    QTest::mouseClick(h.Button("EditButton"), Qt::LeftButton);
    gd::SelectInMemo(h.e1->M1, 0, 0);
    h.Type(h.e1->M1, "{ edited }\n");
    QVERIFY(gd::MemoModified(h.e1->M1));
    QTest::mouseClick(h.EditButton("Button1"), Qt::LeftButton);
    QCOMPARE(h.work.Read("W.QTL"), std::string("{ edited }\r\n") + kQtl);
    QCOMPARE(h.work.Read("W.PSY"), std::string(kPsy));  // not modified, not written
    QVERIFY(!h.edit->isVisible());
    QCOMPARE(h.Label(h.f.get(), "PrepStatus"), QString("Newer QTL, need to preprocess??"));
  }

  void cancelAsksAndOnlyYesDiscards() {
    Helmsman h;
    QTest::mouseClick(h.Button("EditButton"), Qt::LeftButton);
    gd::SelectInMemo(h.e2->M2, 0, 0);
    h.Type(h.e2->M2, "{x}");
    // No (and a box closed without an answer): everything stays open as it is.
    for (Answer a : {Answer::No, Answer::Cancel}) {
      h.prompts.answers = {a};
      QTest::mouseClick(h.EditButton("Button2"), Qt::LeftButton);
      QVERIFY(h.edit->isVisible() && h.e1->isVisible() && h.e2->isVisible() && h.e3->isVisible());
      QCOMPARE(gd::MemoText(h.e2->M2).substr(0, 19), std::string("{x}procedure FLOWC;"));
      QVERIFY(gd::MemoModified(h.e2->M2));
      QVERIFY(h.MainButtonsEnabled(false));
    }
    h.prompts.answers = {Answer::Yes};
    QTest::mouseClick(h.EditButton("Button2"), Qt::LeftButton);
    QCOMPARE(h.prompts.questions,
             (std::vector<std::string>(3, "Discard All Your Changes???")));
    QVERIFY(!h.edit->isVisible() && !h.e2->isVisible());
    QCOMPARE(gd::MemoText(h.e2->M2), gd::MemoTextFromFile(kPsy));
    QVERIFY(!gd::MemoModified(h.e2->M2));
    QCOMPARE(h.work.Read("W.PSY"), std::string(kPsy));
    QVERIFY(h.MainButtonsEnabled(true));

    // Nothing modified: no question.
    QTest::mouseClick(h.Button("EditButton"), Qt::LeftButton);
    QTest::mouseClick(h.EditButton("Button2"), Qt::LeftButton);
    QCOMPARE(h.prompts.questions.size(), size_t(3));
    QVERIFY(!h.edit->isVisible());
  }

  void caretLineLabels() {
    Helmsman h;
    QTest::mouseClick(h.Button("EditButton"), Qt::LeftButton);
    gd::SelectInMemo(h.e1->M1, 0, 0);
    QTest::keyRelease(h.e1->M1, Qt::Key_Shift);
    QCOMPARE(h.Label(h.edit, "Label1"), QString("QTL Line=1"));
    gd::SelectInMemo(h.e1->M1, gd::MemoText(h.e1->M1).find('\n') + 1, 0);
    QTest::keyRelease(h.e1->M1, Qt::Key_Shift);
    QCOMPARE(h.Label(h.edit, "Label1"), QString("QTL Line=2"));
    gd::SelectInMemo(h.e2->M2, 30, 0);
    QTest::mouseClick(h.e2->M2->viewport(), Qt::LeftButton, {}, QPoint(1, 1));
    QCOMPARE(h.Label(h.edit, "Label2"), QString("PSY Line=1"));
  }

  void aFailedSaveKeepsEverythingAndTheNextOneWorks() {
    Helmsman h;
    QTest::mouseClick(h.Button("EditButton"), Qt::LeftButton);
    h.Type(h.e1->M1, "{q}");
    h.Type(h.e2->M2, "{p}");
    // The .QTL's place is taken by a directory: no save can go there, as root neither.
    std::filesystem::remove(h.work.File("W.QTL"));
    std::filesystem::create_directory(h.work.File("W.QTL"));
    QTest::mouseClick(h.EditButton("Button1"), Qt::LeftButton);
    QCOMPARE(h.prompts.messages.size(), size_t(1));
    QVERIFY(h.prompts.messages[0].find("W.QTL") != std::string::npos);
    QVERIFY(h.edit->isVisible() && h.e1->isVisible());
    QVERIFY(gd::MemoModified(h.e1->M1));
    QCOMPARE(gd::MemoText(h.e1->M1).substr(0, 3), std::string("{q}"));
    // The PSY memo was saved and is no longer marked.
    QCOMPARE(h.work.Read("W.PSY").substr(0, 3), std::string("{p}"));
    QVERIFY(!gd::MemoModified(h.e2->M2));
    QVERIFY(h.MainButtonsEnabled(false));

    std::filesystem::remove(h.work.File("W.QTL"));
    QTest::mouseClick(h.EditButton("Button1"), Qt::LeftButton);
    QCOMPARE(h.prompts.messages.size(), size_t(1));
    QCOMPARE(h.work.Read("W.QTL").substr(0, 5), std::string("{q}{ "));
    QVERIFY(!h.edit->isVisible());
  }

  void aFailedLoadChangesNothing() {
    Helmsman h;
    std::filesystem::remove(h.work.File("W.PSY"));
    std::filesystem::create_directory(h.work.File("W.PSY"));  // not a file: no PSY
    QTest::mouseClick(h.Button("EditButton"), Qt::LeftButton);
    QVERIFY(h.edit->isVisible());
    QCOMPARE(gd::MemoText(h.e2->M2), std::string());
    QTest::mouseClick(h.EditButton("Button2"), Qt::LeftButton);

    // The .QTL turned unreadable after the status was shown (a directory
    // now: unreadable for root too).
    std::filesystem::remove(h.work.File("W.QTL"));
    std::filesystem::create_directory(h.work.File("W.QTL"));
    h.Type(h.e1->M1, "{kept}");
    h.f->EditButtonClick();
    QVERIFY(!h.edit->isVisible());
    QCOMPARE(h.prompts.messages.size(), size_t(1));
    QVERIFY(h.prompts.messages[0].find("W.QTL") != std::string::npos);
    QCOMPARE(gd::MemoText(h.e1->M1).substr(0, 6), std::string("{kept}"));
    QVERIFY(h.Button("FileButton")->isEnabled());
  }

  void headingsListJumpAndSearch() {
    Helmsman h;
    QTest::mouseClick(h.Button("EditButton"), Qt::LeftButton);
    QTest::mouseClick(h.EditButton("Button3"), Qt::LeftButton);
    const std::string list = gd::MemoText(h.e3->M3);
    QCOMPARE(list, std::string("line = 2\nXPROC FLOW(VAROT Q:XVR;\n           VARIN H:XVR);"));
    // A double click on the heading's second line jumps to its first.
    gd::SelectInMemo(h.e3->M3, list.find("VARIN"), 0);
    h.e3->M3DblClick();
    QCOMPARE(gd::MemoSelStart(h.e1->M1), gd::MemoText(h.e1->M1).find("XPROC"));
    QCOMPARE(h.e1->M1->textCursor().selectedText(), QString("XPR"));

    QTest::mouseClick(h.EditButton("Button4"), Qt::LeftButton);
    auto* box = h.f->findChild<TSHFrm*>();
    QVERIFY(box->isVisible());
    QCOMPARE(box->windowTitle(), QString("Search Headigs"));
    QTest::keyClicks(box->findChild<QLineEdit*>("Sval"), "varin");
    QCOMPARE(gd::MemoSelStart(h.e3->M3), list.find("VARIN"));
    QTest::mouseClick(box->findChild<QPushButton*>("cButton"), Qt::LeftButton);
    QCOMPARE(box->findChild<QLineEdit*>("Sval")->text(), QString());

    // A model without least-squares markers has nothing to set up.
    QTest::mouseClick(h.EditButton("Button5"), Qt::LeftButton);
    QCOMPARE(h.prompts.messages, (std::vector<std::string>{"No LSQ code found", "No LSQ source code found."}));

    // Choosing the problem again clears the memos and the list.
    QTest::mouseClick(h.EditButton("Button2"), Qt::LeftButton);
    h.prompts.files = {h.work.File("W.QTL")};
    QTest::mouseClick(h.Button("FileButton"), Qt::LeftButton);
    QVERIFY(gd::MemoText(h.e1->M1).empty() && gd::MemoText(h.e3->M3).empty());
  }

  void anyFileEditor() {
    Helmsman h;
    auto* any = h.f->findChild<TAeditFrm*>();
    QTest::mouseClick(h.Button("Aedit"), Qt::LeftButton);
    QVERIFY(any->isVisible());
    QCOMPARE(any->windowTitle(), QString("Edit Any File"));
    QCOMPARE(any->size(), QSize(631, 375));
    QStringList menus;
    for (QAction* a : any->findChild<QMenuBar*>()->actions()) menus << a->text();
    QCOMPARE(menus, (QStringList{"&File", "&Edit"}));

    // "&Save" without a name asks for one.
    h.Type(any->M1, "a\nb");
    h.prompts.files = {h.work.File("one.txt")};
    any->Save1Click();
    QCOMPARE(h.work.Read("one.txt"), std::string("a\r\nb\r\n"));
    QCOMPARE(any->windowTitle(), QString::fromStdString(h.work.File("one.txt")));
    QVERIFY(!gd::MemoModified(any->M1));
    QTest::keyRelease(any->M1, Qt::Key_Shift);
    QCOMPARE(h.Label(h.f.get(), "Label1"), QString("Any file line=2"));

    // "&Open" with unsaved changes, Yes, and the save dialog cancelled:
    // the old text stays and the chosen file is not loaded.
    h.work.Write("two.txt", "second\r\n");
    h.Type(any->M1, "!");
    h.prompts.files = {h.work.File("two.txt"), std::nullopt};
    h.prompts.answers = {Answer::Yes};
    any->Open1Click();
    QCOMPARE(gd::MemoText(any->M1), std::string("a\nb!"));
    QCOMPARE(h.prompts.questions.back(), std::string("Text Changed; Save?"));
    // A save that fails (a directory) stops the open as well.
    h.prompts.files = {h.work.File("two.txt"), h.work.path()};
    h.prompts.answers = {Answer::Yes};
    any->Open1Click();
    QCOMPARE(gd::MemoText(any->M1), std::string("a\nb!"));
    QCOMPARE(h.prompts.messages.size(), size_t(1));
    // No: the changes go, the file comes.
    h.prompts.files = {h.work.File("two.txt")};
    h.prompts.answers = {Answer::No};
    any->Open1Click();
    QCOMPARE(gd::MemoText(any->M1), std::string("second"));
    QCOMPARE(any->FileName(), h.work.File("two.txt"));
    // A file that cannot be read changes nothing.
    h.prompts.files = {h.work.File("none.txt")};
    any->Open1Click();
    QCOMPARE(gd::MemoText(any->M1), std::string("second"));
    QCOMPARE(h.prompts.messages.size(), size_t(2));

    // "&New" forgets the file: the next "&Save" asks instead of overwriting.
    any->New1Click();
    QCOMPARE(any->windowTitle(), QString("Edit Any File"));
    QCOMPARE(h.Label(h.f.get(), "Label1"), QString("Any file line=1"));
    h.Type(any->M1, "new");
    h.prompts.files = {std::nullopt};
    any->Save1Click();
    QCOMPARE(h.work.Read("two.txt"), std::string("second\r\n"));
    QCOMPARE(h.prompts.dialogs.back().fileName, std::string());

    // Close: Yes with a cancelled save keeps the window; No closes unsaved.
    h.prompts.answers = {Answer::Yes};
    h.prompts.files = {std::nullopt};
    any->Close1Click();
    QVERIFY(any->isVisible());
    h.prompts.answers = {Answer::No};
    any->Close1Click();
    QVERIFY(!any->isVisible());
    QCOMPARE(gd::MemoText(any->M1), std::string("new"));  // kept for the next showing

    // Its search goes to the Find/Replace window's any-file target.
    any->SearchorRepl1Click();
    QCOMPARE(h.find->windowTitle(), QString("Find/Replace in Any file"));
  }

  // A paste from a clipboard with no text in it changes nothing, in every
  // editable memo (the toolkit itself would crash on an empty clipboard); a
  // text on it is pasted.
  void pastingWithoutTextOnTheClipboardChangesNothing() {
    Helmsman h;
    QTest::mouseClick(h.Button("EditButton"), Qt::LeftButton);
    auto* any = h.f->findChild<TAeditFrm*>();
    TSOfrm sosi("W", h.pgm.path(), h.f.get());
    auto* sosiMemo = sosi.findChild<QPlainTextEdit*>("M1");
    for (QPlainTextEdit* memo : {static_cast<QPlainTextEdit*>(h.e1->M1), static_cast<QPlainTextEdit*>(h.e2->M2),
                                 static_cast<QPlainTextEdit*>(any->M1), sosiMemo}) {
      const QString before = memo->toPlainText();
      // What the window system hands over for a clipboard nobody owns.
      auto* asMemo = qobject_cast<gd::Memo*>(memo);
      QVERIFY2(asMemo, qPrintable(memo->objectName()));
      QVERIFY(!asMemo->canInsertFromMimeData(nullptr));
      asMemo->insertFromMimeData(nullptr);
      QApplication::clipboard()->clear();
      QTest::keyClick(memo, Qt::Key_V, Qt::ControlModifier);
      memo->paste();
      auto* image = new QMimeData;
      image->setImageData(QImage(2, 2, QImage::Format_RGB32));
      QApplication::clipboard()->setMimeData(image);
      QTest::keyClick(memo, Qt::Key_V, Qt::ControlModifier);
      QCOMPARE(memo->toPlainText(), before);
      QApplication::clipboard()->setText("pasted");
      memo->moveCursor(QTextCursor::End);
      QTest::keyClick(memo, Qt::Key_V, Qt::ControlModifier);
      QVERIFY2(memo->toPlainText().endsWith("pasted"), qPrintable(memo->objectName()));
    }
  }

  // Every editor window stays above the main window only, as a window of
  // its own, so that the program's boxes and dialogs come in front: each
  // opens over the window that asked for it.
  void editorWindowsBelongToTheMainWindowAndBoxesOpenOverTheAsker() {
    Helmsman h;
    auto* any = h.f->findChild<TAeditFrm*>();
    auto* search = h.f->findChild<TSHFrm*>();
    QTest::mouseClick(h.Button("EditButton"), Qt::LeftButton);
    QTest::mouseClick(h.Button("Aedit"), Qt::LeftButton);
    QTest::mouseClick(h.EditButton("Button4"), Qt::LeftButton);
    h.edit->Search1Click();
    for (QWidget* w : std::initializer_list<QWidget*>{h.edit, h.e1, h.e2, h.e3, h.find, search, any}) {
      QVERIFY2(w->isVisible(), qPrintable(w->objectName()));
      QVERIFY2(!(w->windowFlags() & Qt::WindowStaysOnTopHint), qPrintable(w->objectName()));
      QCOMPARE(w->windowHandle()->transientParent(), h.f->windowHandle());
    }

    krv::platform::QtPrompts real(h.f.get());
    krv::platform::SetPrompts(&real);
    struct Asked {
      QWidget* asker;
      std::function<void()> ask;
      QString expected;  // the box's text, or the dialog's class
      QString shown;
      QWidget* owner = nullptr;
    } cases[] = {
        {h.find, [&] {
           h.find->findChild<QLineEdit*>("Edit1")->setText("zzz");
           QTest::mouseClick(h.find->findChild<QPushButton*>("LookDwn"), Qt::LeftButton);
         }, "No find"},
        {any, [&] { any->Open1Click(); }, "QFileDialog"},
        {h.edit, [&] { h.Type(h.e1->M1, "x"); h.edit->Button2Click(); }, "Discard All Your Changes???"},
    };
    for (Asked& c : cases) {
      c.asker->activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(c.asker));
      QCOMPARE(real.Owner(), c.asker);
      krv::testing::WhenModal({}, [&c](QWidget* box) {
        c.owner = box->parentWidget();
        auto* message = qobject_cast<QMessageBox*>(box);
        c.shown = message ? message->text() : box->metaObject()->className();
        static_cast<QDialog*>(box)->reject();
      });
      c.ask();
      QCOMPARE(c.shown, c.expected);
      QCOMPARE(c.owner, c.asker);
    }
    krv::platform::SetPrompts(&h.prompts);
  }
};

QTEST_MAIN(EditorsFormTest)
#include "editors_form_test.moc"
