// Qt Test of Foreparse's window: the log starts with "LogMemo", the File
// and Debug menus are there, and the log mirrors the writer.
#include <QAction>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QtTest>
#include <random>
#include <string>

#include "platform/user_prompts.h"
#include "preprocessor/program_start.h"
#include "testing/temp_dir.h"
#include "preprocessor/forms/Foreparse1.h"
#include "preprocessor/forms/log_memo.h"

class ForeparseFormTest : public QObject {
  Q_OBJECT

 private slots:
  void startsWithLogMemoAndMenus() {
    krv::pp::TForm1 form;
    QCOMPARE(form.windowTitle(), QString("Foreparse (preprocessor)"));
    QCOMPARE(form.geometry().size(), QSize(522, 402));
    auto* memo = form.findChild<QPlainTextEdit*>("LogMemo");
    QVERIFY(memo);
    QVERIFY(memo->isReadOnly());
    QCOMPARE(memo->toPlainText(), QString("LogMemo"));
    QCOMPARE(memo->geometry(), QRect(16, 24, 489, 313));
    QStringList menus;
    for (QAction* a : form.menuBar()->actions()) menus << a->text();
    QCOMPARE(menus, QStringList({"File", "Debug"}));
    QVERIFY(form.findChild<QAction*>("File1"));
    QVERIFY(form.findChild<QAction*>("Debug1"));
  }

  void memoMirrorsTheLog() {
    krv::pp::TForm1 form;
    auto* memo = form.findChild<QPlainTextEdit*>("LogMemo");
    form.Log().LogAppend("a");
    form.Log().LogAppend("b");
    form.Log().LogLine("c");
    form.Log().LogLine("d");
    // Shown on the event loop's next turn.
    QCoreApplication::processEvents();
    QCOMPARE(memo->toPlainText(), QString("LogMemo\nabc\nd"));
    for (int i = 0; i < 330; ++i) form.Log().LogLine(QString::number(i).toStdString());
    QCoreApplication::processEvents();
    QCOMPARE(memo->document()->blockCount(), 322);
    QCOMPARE(memo->toPlainText().split('\n').last(), QString("329"));
  }

  // A raw CR or LF inside a log line (a scanner note on an odd character)
  // stays inside its one memo line, so replacements and trimming line up.
  void controlBytesStayInTheirLine() {
    krv::pp::LogWriter log;
    log.LogLine("first\rline");
    QPlainTextEdit memo;
    krv::pp::LogMemo mirror(log, &memo);
    QCOMPARE(memo.document()->blockCount(), 2);
    log.LogLine("1 NXTCHR=10\n");
    log.LogAppend("a\r\n");
    log.LogAppend("b\x85\x7f\tc");
    log.LogLine("z");
    mirror.Flush();
    QCOMPARE(memo.document()->blockCount(), 4);
    QCOMPARE(memo.document()->findBlockByNumber(1).text(), QString("first\u240Dline"));
    QCOMPARE(memo.document()->lastBlock().text(),
             QString("a\u240D\u240Ab\u2424\u2421\tcz"));
    for (int i = 0; i < 330; ++i) log.LogLine(i % 2 ? "x\ny" : "w");
    mirror.Flush();
    QCOMPARE(memo.document()->blockCount(), 322);
    QCOMPARE(memo.document()->firstBlock().text(), QString("w"));
    QCOMPARE(memo.document()->lastBlock().text(), QString("x\u240Ay"));
  }

  void scannerNoteOnALineFeedShowsAsOneLine() {
    krv::testing::TempDir dir;
    krv::testing::ScopedCwd cwd(dir.path());
    dir.Write("m.QTL", "A #\n");
    krv::pp::TForm1 form;
    auto* memo = form.findChild<QPlainTextEdit*>("LogMemo");
    krv::pp::HandleCommandLine(form.Core(), {"m"});
    QCoreApplication::processEvents();
    QCOMPARE(memo->document()->blockCount(), int(form.Log().Lines().size()));
    bool sawNote = false;
    for (size_t i = 0; i < form.Log().Lines().size(); ++i) {
      const std::string& line = form.Log().Lines()[i];
      sawNote = sawNote || line.find('\n') != std::string::npos;
      QCOMPARE(memo->document()->findBlockByNumber(int(i)).text(),
               krv::pp::LogMemo::Shown(line));
    }
    QVERIFY(sawNote);
  }

  // Whatever mix of new lines, appends and dropped first lines comes
  // between two showings, the memo then holds the log line for line.
  void memoMatchesTheLogAfterEveryShowing() {
    std::mt19937 rng(7);
    for (int round = 0; round < 40; ++round) {
      krv::pp::LogWriter log;
      for (int i = 0; i < int(rng() % 400); ++i) log.LogLine("before" + std::to_string(i));
      QPlainTextEdit memo;
      krv::pp::LogMemo mirror(log, &memo);
      for (int batch = 0; batch < 6; ++batch) {
        const int writes = int(rng() % (batch % 2 ? 500 : 8));
        for (int i = 0; i < writes; ++i) {
          const std::string text = std::to_string(round) + ":" + std::to_string(i);
          if (rng() % 3 == 0) log.LogAppend(text);
          else log.LogLine(text);
        }
        mirror.Flush();
        QStringList expected;
        for (const std::string& line : log.Lines()) expected << krv::pp::LogMemo::Shown(line);
        QCOMPARE(memo.toPlainText(), expected.join('\n'));
        QCOMPARE(memo.document()->blockCount(), int(log.Lines().size()));
      }
    }
  }

  void fileMenuAfterARunRefuses() {
    krv::platform::ScriptedPrompts prompts;
    krv::pp::TForm1 form;
    form.Core().State().modelPath = "done";
    form.findChild<QAction*>("File1")->trigger();
    QCOMPARE(prompts.messages.size(), size_t(1));
    QCOMPARE(QString::fromStdString(prompts.messages[0]), QString("Must close and restart"));
  }
};

QTEST_MAIN(ForeparseFormTest)
#include "foreparse_form_test.moc"
