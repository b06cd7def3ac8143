// The Log window offscreen: it follows the Log, saves it with CR LF, and
// "SELECT" ends it with OK.
#include <QAction>
#include <QListWidget>
#include <QTest>

#include "platform/user_prompts.h"
#include "series/forms/TLogFrm.h"
#include "series/series_log.h"
#include "testing/qt_test_helpers.h"
#include "testing/temp_dir.h"

using krv::series::SeriesLog;
using krv::series::TLogFrm;

class TLogFrmTest : public QObject {
  Q_OBJECT
 private slots:
  void ShowsTheLogAsItChanges() {
    SeriesLog log;
    log.AddLine("before");
    TLogFrm form(log);
    QCOMPARE(form.windowTitle(), QString("Log"));
    QCOMPARE(form.ListBox1->count(), 1);
    form.Clear();
    QCOMPARE(form.ListBox1->count(), 1);
    QCOMPARE(form.ListBox1->item(0)->text(), QString());
    form.AppendToLine("a");
    form.AddLine("b");
    form.AppendToLine("\xe9");  // bytes shown as Latin-1
    QCOMPARE(form.ListBox1->count(), 2);
    QCOMPARE(form.ListBox1->item(0)->text(), QString("a"));
    QCOMPARE(form.ListBox1->item(1)->text(), QString::fromLatin1("b\xe9"));
    QVERIFY(!form.sELECT1->isVisible());
    QVERIFY(form.ListBox1->font().fixedPitch() || form.ListBox1->font().family() == "Courier New");
  }

  void SavesEveryLineWithCrLf() {
    krv::testing::TempDir dir;
    krv::platform::ScriptedPrompts prompts;
    SeriesLog log;
    TLogFrm form(log);
    prompts.files = {dir.File("NEVER.TXT"), dir.File("CLEARED.TXT"), dir.File("TWO.TXT")};
    form.File1->trigger();
    QCOMPARE(QString::fromStdString(dir.Read("NEVER.TXT")), QString(""));
    QCOMPARE(prompts.dialogs[0].filter, std::string("Log text file|*.TXT"));
    QCOMPARE(prompts.dialogs[0].defaultExt, std::string("TXT"));
    QVERIFY(prompts.dialogs[0].askOverwrite);
    form.Clear();
    form.File1->trigger();
    QCOMPARE(QString::fromStdString(dir.Read("CLEARED.TXT")), QString("\r\n"));
    form.AppendToLine("one");
    form.AddLine("two");
    form.File1->trigger();
    QCOMPARE(QString::fromStdString(dir.Read("TWO.TXT")), QString("one\r\ntwo\r\n"));
    form.File1->trigger();  // cancelled: nothing written, nothing shown
    QVERIFY(prompts.messages.empty());
  }

  void SelectEndsWithOk() {
    SeriesLog log;
    TLogFrm form(log);
    form.sELECT1->setVisible(true);
    krv::testing::WhenModal(&form, [&](QWidget*) { form.sELECT1->trigger(); });
    QCOMPARE(form.exec(), int(QDialog::Accepted));
  }
};

QTEST_MAIN(TLogFrmTest)
#include "tlogfrm_test.moc"
