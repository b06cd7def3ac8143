// Qt Test of Sequist's window: its controls, the log mirror and the File menu.
#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QtTest>

#include "platform/user_prompts.h"
#include "sequencer/SEQCU1.h"
#include "sequencer/forms/Sequist1.h"
#include "testing/temp_dir.h"

class SequistFormTest : public QObject {
  Q_OBJECT

 private slots:
  void startsWithLogMemoAndFileMenu() {
    krv::seq::TForm1 form;
    QCOMPARE(form.windowTitle(), QString("Sequist (sequencer)"));
    QCOMPARE(form.geometry(), QRect(152, 42, 460, 402));
    auto* memo = form.findChild<QPlainTextEdit*>("LogMemo");
    QVERIFY(memo);
    QVERIFY(memo->isReadOnly());
    QCOMPARE(memo->toPlainText(), QString("LogMemo"));
    QCOMPARE(memo->geometry(), QRect(32, 16, 385, 329));
    QCOMPARE(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    auto* label = form.findChild<QLabel*>("Label1");
    QVERIFY(label);
    QCOMPARE(label->pos(), QPoint(80, 0));
    QCOMPARE(label->text(), QString(krv::seq::kBanner));
    QStringList menus;
    for (QAction* a : form.menuBar()->actions()) menus << a->text();
    QCOMPARE(menus, QStringList({"File"}));
  }

  void fileMenuRunsAPassIntoTheLog() {
    krv::testing::TempDir dir;
    dir.Write("T.VNM", "TITLE\r\n   0 IO  _X.A\r\n     #\r\n\x1a");
    krv::platform::ScriptedPrompts prompts;
    krv::seq::TForm1 form;
    auto* memo = form.findChild<QPlainTextEdit*>("LogMemo");
    prompts.files = {dir.File("T.VNM")};
    form.findChild<QAction*>("File1")->trigger();
    QVERIFY(dir.Has("T.PRB"));
    QStringList lines = memo->toPlainText().split('\n');
    QCOMPARE(lines.first(), QString("LogMemo"));
    QVERIFY(lines[1].startsWith(QString(krv::seq::kBanner) + "  "));
    QVERIFY(lines.last().startsWith(" ---FINISHED"));
    QCOMPARE(lines.size(), int(form.Log().Lines().size()));
    // Cancelling the dialog runs nothing.
    form.findChild<QAction*>("File1")->trigger();
    QCOMPARE(memo->toPlainText().split('\n').size(), lines.size());
  }

  void memoKeepsTheLastLinesOfTheLog() {
    krv::seq::TForm1 form;
    auto* memo = form.findChild<QPlainTextEdit*>("LogMemo");
    form.Log().LogAppend("a");
    form.Log().LogLine("b");
    for (int i = 0; i < 330; ++i) form.Log().LogLine(std::to_string(i));
    QCoreApplication::processEvents();
    QCOMPARE(memo->document()->blockCount(), 322);
    QCOMPARE(memo->toPlainText().split('\n').last(), QString("329"));
  }
};

QTEST_MAIN(SequistFormTest)
#include "sequist_form_test.moc"
