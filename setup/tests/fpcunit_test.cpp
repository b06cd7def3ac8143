// Qt Tests of TFPCFrm: its texts, Select with and without a compiler, and Cancel.
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <filesystem>
#include <sys/stat.h>

#include "platform/user_prompts.h"
#include "setup/forms/FPCUnit.h"
#include "testing/temp_dir.h"

using krv::platform::ScriptedPrompts;
using krv::testing::TempDir;

class FPCUnitTest : public QObject {
  Q_OBJECT

  static void Click(TFPCFrm& f, const char* name) {
    QTest::mouseClick(f.findChild<QPushButton*>(name), Qt::LeftButton);
  }
  static void MakeMain(const TempDir& main) {
    std::filesystem::create_directory(main.File("PGM"));
    main.Write("options.txt", "-O2\r\n -vew\r\n");
  }

 private slots:
  void design() {
    TempDir main;
    TFPCFrm f(main.path());
    QCOMPARE(f.windowTitle(), QString("Telling Kravenor where Free Pascal is installed"));
    QCOMPARE(f.geometry(), QRect(188, 69, 559, 259));
    QCOMPARE(f.findChild<QLabel*>("Label1")->text(),
             QString("Now select the base  Free Pascal directory: "));
    QCOMPARE(f.findChild<QLabel*>("Label4")->text(),
             QString("If you have not yet installed Free Pascal, do so now before continuing."));
    // Where Free Pascal is, said for this system: no Windows places, no Lazarus.
    for (auto* label : f.findChildren<QLabel*>()) {
      QVERIFY2(!label->text().contains("Lazarus"), qPrintable(label->text()));
      QVERIFY2(!label->text().contains("Program Files"), qPrintable(label->text()));
      QVERIFY2(!label->text().contains("C:\\"), qPrintable(label->text()));
    }
    QVERIFY(f.findChild<QPushButton*>("Button1")->isDefault());
    QCOMPARE(f.findChild<QPushButton*>("Button2")->text(), QString("Cancel"));
  }

  void selectWithoutCompilerStays() {
    TempDir main, nowhere;
    MakeMain(main);
    ScriptedPrompts prompts;
    TFPCFrm f(main.path());
    f.show();
    QCOMPARE(f.ChosenDir(), std::string("/usr"));
    prompts.files = {nowhere.path()};
    Click(f, "Button1");
    QCOMPARE(prompts.messages,
             std::vector<std::string>{"Install Free Pascal and then select its base directory"});
    QVERIFY(f.isVisible());
    QVERIFY(!main.Has("PGM/Helmsman.TXT"));
    Click(f, "Button1");  // chooser cancelled: nothing happens
    QCOMPARE(prompts.messages.size(), size_t(1));
    QVERIFY(f.isVisible());
  }

  void selectWithCompilerWritesAndCloses() {
    TempDir main, fpc;
    MakeMain(main);
    std::filesystem::create_directory(fpc.File("bin"));
    fpc.Write("bin/fpc", "#!/bin/sh\n");
    ::chmod(fpc.File("bin/fpc").c_str(), 0755);
    ScriptedPrompts prompts;
    TFPCFrm f(main.path());
    f.show();
    prompts.files = {fpc.path()};
    Click(f, "Button1");
    QCOMPARE(prompts.messages, std::vector<std::string>{"Free Pascal Found"});
    QCOMPARE(main.Read("PGM/Helmsman.TXT"), fpc.path() + "\r\n-O2\r\n -vew\r\n");
    QVERIFY(!f.isVisible());
    QCOMPARE(f.result(), int(QDialog::Accepted));
  }

  void cancelWritesThePlaceholder() {
    TempDir main;
    MakeMain(main);
    ScriptedPrompts prompts;
    TFPCFrm f(main.path());
    f.show();
    Click(f, "Button2");
    QCOMPARE(main.Read("PGM/Helmsman.TXT"), std::string("xxxxxxxxxx\r\n-O2\r\n -vew\r\n"));
    QCOMPARE(prompts.messages.size(), size_t(1));
    QVERIFY(prompts.messages[0].find("Helmsman.txt") != std::string::npos);
    QVERIFY(prompts.messages[0].find("Lazarus") == std::string::npos);
    QCOMPARE(f.result(), int(QDialog::Rejected));
  }
};

QTEST_MAIN(FPCUnitTest)
#include "fpcunit_test.moc"
