// Qt Test of Foreparse's window: the log starts with "LogMemo", the File
// and Debug menus are there, and the log mirrors the writer.
#include <QAction>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QtTest>

#include "platform/user_prompts.h"
#include "preprocessor/Foreparse1.h"

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
    QCOMPARE(memo->toPlainText(), QString("LogMemo\nabc\nd"));
    for (int i = 0; i < 330; ++i) form.Log().LogLine(QString::number(i).toStdString());
    QCOMPARE(memo->document()->blockCount(), 322);
    QCOMPARE(memo->toPlainText().split('\n').last(), QString("329"));
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
