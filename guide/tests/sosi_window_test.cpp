// Qt Tests of the SOSI window: loading once per opening, OK, Cancel and the error mark.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <filesystem>
#include <functional>

#include "guide/forms/DGW1.h"
#include "guide/forms/find_form.h"
#include "guide/forms/sosi_window.h"
#include "platform/file_stamp.h"
#include "platform/user_prompts.h"
#include "testing/qt_test_helpers.h"
#include "testing/temp_dir.h"

using krv::platform::Answer;
using krv::platform::ScriptedPrompts;
using krv::testing::ScopedCwd;
using krv::testing::TempDir;

class SosiWindowTest : public QObject {
  Q_OBJECT

  static QPlainTextEdit* Memo(TSOfrm& f, const char* name = "M1") {
    return f.findChild<QPlainTextEdit*>(name);
  }
  static void Click(TSOfrm& f, const char* name) {
    QTest::mouseClick(f.findChild<QPushButton*>(name), Qt::LeftButton);
  }
  // Types at the end of the memo, as the modeller would.
  static void Type(TSOfrm& f, const QString& text) {
    Memo(f)->moveCursor(QTextCursor::End);
    Memo(f)->insertPlainText(text);
  }

  // Runs `act` on the SOSI window once it shows modally.
  static void WhenSosiShows(std::function<void(TSOfrm&)> act) {
    krv::testing::WhenModal({}, [act](QWidget* shown) {
      auto* w = qobject_cast<TSOfrm*>(shown);
      if (!w) qFatal("the SOSI window is not showing modally");
      act(*w);
    });
  }
  static void ClickMain(TForm1& f, const char* name) {
    QPushButton* b = f.findChild<QPushButton*>(name);
    QVERIFY2(b->isEnabled(), name);
    QTest::mouseClick(b, Qt::LeftButton);
  }

 private slots:
  void designAndLoad() {
    TempDir work, pgm;
    ScopedCwd cwd(work.path());
    work.Write("P.SO", "PARAM\r\nEQUATIONS\r\n\xe9 = 1;\r\n");
    ScriptedPrompts prompts;
    TSOfrm f("P", pgm.path());
    QCOMPARE(f.windowTitle(), QString("SOSI (SYSTEM Only Simplified Input)"));
    QCOMPARE(f.size(), QSize(696, 346));
    QVERIFY(f.isModal());
    QCOMPARE(f.findChild<QPushButton*>("Button1")->text(), QString("OK (save changes)"));
    QCOMPARE(f.findChild<QPushButton*>("Button2")->text(), QString("Cancel"));
    QCOMPARE(f.findChild<QPushButton*>("Button3")->text(), QString("Search/Repl"));
    QVERIFY(Memo(f, "MemoBak")->isReadOnly());
    f.FormActivate();
    f.show();
    QVERIFY(!Memo(f, "MemoBak")->isVisible());
    QCOMPARE(Memo(f)->toPlainText(), QString::fromLatin1("PARAM\nEQUATIONS\n\xe9 = 1;"));
    QCOMPARE(Memo(f, "MemoBak")->toPlainText(), Memo(f)->toPlainText());
    QVERIFY(!Memo(f)->document()->isModified());
    QVERIFY(prompts.questions.empty());
  }

  // OK with nothing changed leaves the file alone; after an edit it saves
  // CR LF lines, byte for byte.
  void okSaves() {
    TempDir work, pgm;
    ScopedCwd cwd(work.path());
    const std::string file = "PARAM\r\nEQUATIONS\r\n\xe9 = 1;\r\n";
    work.Write("p.so", file);
    const uint32_t old = krv::platform::PackLocalTime(time(nullptr) - 100);
    krv::platform::SetPackedFileDate(work.File("p.so"), old);
    ScriptedPrompts prompts;
    {
      TSOfrm f("P", pgm.path());
      f.FormActivate();
      f.show();
      Click(f, "Button1");
      QCOMPARE(f.result(), int(QDialog::Accepted));
      QVERIFY(!f.isVisible());
      QCOMPARE(krv::platform::PackedFileDate(work.File("p.so")).value_or(0), old);
    }
    TSOfrm f("P", pgm.path());
    f.FormActivate();
    f.show();
    Type(f, "\nEND");
    Click(f, "Button1");
    QCOMPARE(f.result(), int(QDialog::Accepted));
    QCOMPARE(QByteArray::fromStdString(work.Read("p.so")),
             QByteArray::fromStdString(file + "END\r\n"));
    QVERIFY(!work.Has("P.SO") || QFileInfo(QString::fromStdString(work.File("P.SO"))).canonicalFilePath() ==
                                     QFileInfo(QString::fromStdString(work.File("p.so"))).canonicalFilePath());
    QVERIFY(prompts.messages.empty());
  }

  void cancelAsksOnlyAfterAnEdit() {
    TempDir work, pgm;
    ScopedCwd cwd(work.path());
    work.Write("P.SO", "PARAM\r\n");
    ScriptedPrompts prompts;
    TSOfrm f("P", pgm.path());
    f.FormActivate();
    f.show();
    Click(f, "Button2");
    QVERIFY(prompts.questions.empty());
    QCOMPARE(f.result(), int(QDialog::Rejected));

    f.FormActivate();
    f.show();
    Type(f, " EQUATIONS");
    prompts.answers = {Answer::No};
    Click(f, "Button2");
    QCOMPARE(prompts.questions, std::vector<std::string>{"Discard All Your Changes???"});
    QVERIFY(f.isVisible());
    QCOMPARE(Memo(f)->toPlainText(), QString("PARAM EQUATIONS"));
    // Escape asks the same.
    prompts.answers = {Answer::Yes};
    QTest::keyClick(&f, Qt::Key_Escape);
    QCOMPARE(prompts.questions.size(), size_t(2));
    QVERIFY(!f.isVisible());
    QCOMPARE(Memo(f)->toPlainText(), QString("PARAM"));
    QCOMPARE(work.Read("P.SO"), std::string("PARAM\r\n"));
  }

  // "Search/Repl" shows the Find/Replace window as this modal window's
  // child, searching its memo; coming back keeps the unsaved edits, and OK
  // hides the Find/Replace window.
  void findReplaceKeepsTheEdits() {
    TempDir work, pgm;
    ScopedCwd cwd(work.path());
    work.Write("P.SO", "PARAM\r\nEQUATIONS\r\n");
    ScriptedPrompts prompts;
    QWidget main;
    TFindFrm find(&main);
    TSOfrm f("P", pgm.path(), &main);
    f.SetFindWindow(&find);
    bool child = false, shown = false;
    QString hit;
    krv::testing::WhenModal(&f, [&](QWidget*) {
      Type(f, "\nY = X;");
      Click(f, "Button3");
      shown = find.isVisible();
      child = find.parentWidget() == &f;
      find.findChild<QLineEdit*>("Edit1")->setText("equ");
      Memo(f)->moveCursor(QTextCursor::Start);
      QTest::mouseClick(find.findChild<QPushButton*>("LookDwn"), Qt::LeftButton);
      hit = Memo(f)->textCursor().selectedText();
      QApplication::setActiveWindow(&find);
      QApplication::setActiveWindow(&f);
      QCoreApplication::processEvents();
      Click(f, "Button1");
    });
    QCOMPARE(f.Open(), int(QDialog::Accepted));
    QVERIFY(shown);
    QVERIFY(child);
    QCOMPARE(hit, QString("EQU"));
    QVERIFY(!find.isVisible());
    QCOMPARE(work.Read("P.SO"), std::string("PARAM\r\nEQUATIONS\r\nY = X;\r\n"));
    QVERIFY(prompts.questions.empty());
  }

  void createFromTheSample() {
    TempDir work, pgm;
    ScopedCwd cwd(work.path());
    ScriptedPrompts prompts;
    {
      // Declined: the memo keeps its text, nothing is written.
      TSOfrm f("P", pgm.path());
      prompts.answers = {Answer::No};
      f.FormActivate();
      QCOMPARE(prompts.questions,
               std::vector<std::string>{"Create a new SOSI file for this problem??"});
      QVERIFY(!work.Has("P.SO"));
      QCOMPARE(Memo(f)->toPlainText(), QString());
      // No sample to copy: the copy's message, then "File problem".
      prompts.answers = {Answer::Yes};
      f.FormActivate();
      QCOMPARE(prompts.messages.size(), size_t(2));
      QCOMPARE(prompts.messages[1], std::string("File problem"));
      QVERIFY(!work.Has("P.SO"));
    }
    pgm.Write("DSAMPLE.SO", "PARAMETERS\r\nEQUATIONS\r\nEND\r\n");
    prompts.answers = {Answer::Yes};
    TSOfrm f("P", pgm.path());
    f.FormActivate();
    QCOMPARE(work.Read("P.SO"), std::string("PARAMETERS\r\nEQUATIONS\r\nEND\r\n"));
    QCOMPARE(Memo(f)->toPlainText(), QString("PARAMETERS\nEQUATIONS\nEND"));
  }

  void aFailedSaveKeepsTheWindowAndTheEdits() {
    TempDir work, pgm;
    ScopedCwd cwd(work.path());
    work.Write("P.SO", "PARAM\r\n");
    ScriptedPrompts prompts;
    TSOfrm f("P", pgm.path());
    f.FormActivate();
    f.show();
    Type(f, " EQUATIONS");
    // A directory where the file's temporary would go makes the save fail, for root too.
    std::filesystem::remove(work.File("P.SO"));
    std::filesystem::create_directory(work.File("P.SO"));
    Click(f, "Button1");
    QCOMPARE(prompts.messages.size(), size_t(1));
    QVERIFY(prompts.messages[0].rfind("Cannot write ", 0) == 0);
    QVERIFY(prompts.messages[0].find("P.SO") != std::string::npos);
    QVERIFY(f.isVisible());
    QVERIFY(Memo(f)->document()->isModified());
    std::filesystem::remove(work.File("P.SO"));
    Click(f, "Button1");
    QVERIFY(!f.isVisible());
    QCOMPARE(work.Read("P.SO"), std::string("PARAM EQUATIONS\r\n"));
  }

  // After a parse error the window shows the parsed text with two characters marked.
  void openAtMarksTheErrorModally() {
    TempDir work, pgm;
    ScopedCwd cwd(work.path());
    ScriptedPrompts prompts;
    const std::string text = "PARAM\r\nK = -1;\r\n";
    TSOfrm f("P", pgm.path());
    QString selected;
    bool modal = false;
    krv::testing::WhenModal(&f, [&](QWidget*) {
      modal = QApplication::activeModalWidget() == &f;
      selected = Memo(f)->textCursor().selectedText();
      f.findChild<QPushButton*>("Button2")->click();
    });
    QCOMPARE(f.OpenAt(text, 12), int(QDialog::Rejected));
    QVERIFY(modal);
    QCOMPARE(selected, QString("1;"));
    QVERIFY(!work.Has("P.SO"));
    QVERIFY(prompts.questions.empty());
  }
  // Helmsman: a new problem with SOSI input, edited, converted.
  void helmsmanNewProblemToModelSource() {
    ScopedCwd keep(".");
    TempDir pgm, work;
    pgm.Write("DSAMPLE.SO", "PARAMETERS\r\n  K = 0.5;\r\nEQUATIONS\r\n  TDERIV(X) = -K*X;\r\nEND\r\n");
    ScriptedPrompts prompts;
    TForm1 f(pgm.path());
    f.show();
    prompts.files = {work.File("NEW.QTL")};
    prompts.answers = {Answer::Yes};  // "Use SOSI"
    WhenSosiShows([](TSOfrm& w) {
      QPlainTextEdit* m = w.findChild<QPlainTextEdit*>("M1");
      QTextCursor c = m->document()->find("END");
      c.insertText("  Y = X^2;\nEND");
      w.findChild<QPushButton*>("Button1")->click();
    });
    ClickMain(f, "FileButton");
    QCOMPARE(work.Read("NEW.SO"),
             std::string("PARAMETERS\r\n  K = 0.5;\r\nEQUATIONS\r\n  TDERIV(X) = -K*X;\r\n  Y = X^2;\r\nEND\r\n"));
    QVERIFY(!work.Has("NEW.QTL"));
    ClickMain(f, "CvtSObutton");
    QCOMPARE(prompts.messages, std::vector<std::string>{"Finished"});
    const std::string qtl = work.Read("NEW.QTL");
    QVERIFY(qtl.find("    (AXB(X,2));\r\n") != std::string::npos);
    QVERIFY(f.findChild<QPushButton*>("PrepButton")->isEnabled());

    // Edit SOSI opens on the saved file; Cancel without an edit asks nothing.
    QString shown;
    WhenSosiShows([&](TSOfrm& w) {
      shown = w.findChild<QPlainTextEdit*>("M1")->toPlainText();
      w.findChild<QPushButton*>("Button2")->click();
    });
    ClickMain(f, "SObutton");
    QVERIFY(shown.contains("Y = X^2;"));
    QCOMPARE(prompts.questions.size(), size_t(1));
  }

  // "Cvt SOSI": Cancel and a parse error both keep the old model source;
  // the error opens the SOSI window on the text read, marked where it stopped.
  void helmsmanConversionKeepsTheOldSource() {
    ScopedCwd keep(".");
    TempDir pgm, work;
    work.Write("OLD.QTL", "{old}\r\n");
    work.Write("OLD.SO", "PARAM\r\nK = -1;\r\nEQUATIONS\r\n");
    ScriptedPrompts prompts;
    TForm1 f(pgm.path());
    f.show();
    prompts.files = {work.File("OLD.QTL")};
    ClickMain(f, "FileButton");
    prompts.answers = {Answer::No};
    ClickMain(f, "CvtSObutton");
    QCOMPARE(prompts.questions, std::vector<std::string>{"Delete existing QTL source file?"});
    QCOMPARE(work.Read("OLD.QTL"), std::string("{old}\r\n"));

    prompts.answers = {Answer::Yes};
    QString selected, text;
    WhenSosiShows([&](TSOfrm& w) {
      QPlainTextEdit* m = w.findChild<QPlainTextEdit*>("M1");
      selected = m->textCursor().selectedText();
      text = m->toPlainText();
      w.findChild<QPushButton*>("Button2")->click();
    });
    ClickMain(f, "CvtSObutton");
    QCOMPARE(prompts.messages, std::vector<std::string>{"Error"});
    QCOMPARE(selected, QString("1;"));
    QCOMPARE(text, QString("PARAM\nK = -1;\nEQUATIONS"));
    QCOMPARE(work.Read("OLD.QTL"), std::string("{old}\r\n"));
  }
};

QTEST_MAIN(SosiWindowTest)
#include "sosi_window_test.moc"
