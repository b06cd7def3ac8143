// Qt Tests of the installer's windows and their sequence, driven offscreen with scripted answers.
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>

#include "platform/qt/latin1.h"
#include "platform/user_prompts.h"
#include "setup/forms/FPCUnit.h"
#include "setup/forms/Unit0.h"
#include "setup/forms/Unit1.h"
#include "setup/install_list.h"
#include "testing/qt_test_helpers.h"
#include "testing/temp_dir.h"
#include "fake_package.h"

namespace fs = std::filesystem;
using krv::platform::FromBytes;
using krv::platform::ScriptedPrompts;
using krv::testing::TempDir;
using krv::testing::WhenModal;
using Unpacked = krv::setup::FakePackage;

namespace {

// A Free Pascal base directory: bin/fpc, executable.
struct FakeFpc {
  TempDir dir;
  FakeFpc() {
    fs::create_directory(dir.File("bin"));
    dir.Write("bin/fpc", "#!/bin/sh\n");
    ::chmod(dir.File("bin/fpc").c_str(), 0755);
  }
};

void ClickIn(QWidget* w, const char* button) {
  QTest::mouseClick(w->findChild<QPushButton*>(button), Qt::LeftButton);
}

}  // namespace

class SetupSequenceTest : public QObject {
  Q_OBJECT

  TempDir home_;

 private slots:
  void initTestCase() {
    // The desktop directory follows HOME when no user-dirs file says otherwise.
    qputenv("HOME", home_.path().c_str());
    qputenv("XDG_CONFIG_HOME", "");
  }

  void design() {
    Unpacked u;
    TForm0 f0(u.main);
    f0.show();
    QCOMPARE(f0.windowTitle(), QString("Kravenor Setup"));
    QCOMPARE(f0.geometry(), QRect(326, 115, 562, 342));
    QCOMPARE(f0.findChild<QLabel*>("Label2")->text(), QString("Setup--Kravenor 6.04"));
    QVERIFY(f0.findChild<QLabel*>("Label5")->text().contains("Free Pascal 3.2.2"));
    QCOMPARE(f0.findChild<QLabel*>("Label3")->text(),
             QString("You have already chosen a main directory for Kravenor when it was "
                     "uncompressed"));
    QCOMPARE(f0.findChild<QPushButton*>("Button1")->text(), QString("Continue with Installation"));
    QCOMPARE(f0.findChild<QPushButton*>("Button2")->text(), QString("Cancel"));
    QCOMPARE(f0.focusWidget(), f0.findChild<QPushButton*>("Button1"));

    TForm1 f1(u.main);
    QCOMPARE(f1.windowTitle(), QString("Setup for Kravenor"));
    QCOMPARE(f1.geometry(), QRect(200, 108, 583, 356));
    QCOMPARE(f1.findChild<QLabel*>("Label1")->text(), QString("ReadMe.txt :"));
    auto* memo = f1.findChild<QPlainTextEdit*>("Memo1");
    QCOMPARE(memo->size(), QSize(575, 263));
    QVERIFY(memo->isReadOnly());
    QCOMPARE(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(memo->lineWrapMode(), QPlainTextEdit::NoWrap);  // the lines as written
  }

  void readmeWindowShowsTheBytesAndCloseMakesNoEntry() {
    Unpacked u;
    u.Write("README.txt", "Kravenor f\xfcr Linux\n");
    ScriptedPrompts prompts;
    TForm1 f1(u.main);
    f1.show();
    QCOMPARE(f1.findChild<QPlainTextEdit*>("Memo1")->toPlainText(),
             FromBytes("Kravenor f\xfcr Linux\n"));
    QCOMPARE(f1.focusWidget(), f1.findChild<QPushButton*>("Button1"));
    ClickIn(&f1, "Button2");
    QCOMPARE(f1.result(), int(QDialog::Rejected));
    QVERIFY(!fs::exists(home_.File("Desktop/Helmsman.desktop")));
    QVERIFY(prompts.messages.empty());

    fs::remove(u.main + "/README.txt");
    TForm1 without(u.main);
    without.show();  // the window opens all the same
    QVERIFY(without.isVisible());
    QCOMPARE(prompts.messages.size(), size_t(1));
    QVERIFY(prompts.messages[0].find(u.main + "/README.txt") != std::string::npos);
  }

  void theWholeSequence_data() {
    QTest::addColumn<bool>("examples");
    QTest::newRow("examples Yes") << true;
    QTest::newRow("examples No") << false;
  }

  void theWholeSequence() {
    QFETCH(bool, examples);
    Unpacked u;
    FakeFpc fpc;
    fs::remove_all(home_.File("Desktop"));
    ScriptedPrompts prompts;
    prompts.files = {fpc.dir.path()};
    prompts.answers = {examples ? krv::platform::Answer::Yes : krv::platform::Answer::No};
    TForm0 f0(u.main);
    TForm1 f1(u.main, &f0);
    TFPCFrm fpcFrm(u.main, &f0);
    f0.SetForms(&f1, &fpcFrm);
    f0.show();

    QString readme;
    WhenModal("Form1", [&](QWidget* w) {
      readme = w->findChild<QPlainTextEdit*>("Memo1")->toPlainText();
      WhenModal("FPCFrm", [](QWidget* w) { ClickIn(w, "Button1"); });
      ClickIn(w, "Button1");
    });
    QTest::mouseClick(f0.findChild<QPushButton*>("Button1"), Qt::LeftButton);

    QCOMPARE(readme, QString("Kravenor for Linux\nunpack, then ./setup\n"));
    QCOMPARE(prompts.messages,
             (std::vector<std::string>{"Icon created", "Free Pascal Found", "Finished"}));
    QCOMPARE(prompts.questions, std::vector<std::string>{"Install Example Problems?"});
    QVERIFY(!f0.isVisible());
    QVERIFY(fs::exists(home_.File("Desktop/Helmsman.desktop")));

    auto tree = u.Tree();
    for (const auto& f : krv::setup::ProgramFiles()) {
      QCOMPARE(tree["PGM/" + f], "bytes of " + f);
      QVERIFY(!tree.count(f));
    }
    for (const auto& f : krv::setup::UnitFiles()) QCOMPARE(tree["PGM/units/" + f], "bytes of " + f);
    QCOMPARE(tree["PGM/Helmsman.TXT"], fpc.dir.path() + "\r\n-O2\r\n -vew\r\n");
    for (const auto& d : krv::setup::ExampleDirs())
      for (const auto& f : d.files) {
        QCOMPARE(tree.count(d.dir + "/" + f), size_t(examples ? 1 : 0));
        QCOMPARE(tree.count(f), size_t(examples ? 0 : 1));
      }
  }

  void aMissingProgramStopsAtItAndASecondRunChangesNothing() {
    Unpacked u;
    fs::remove(u.main + "/Sequist");
    for (int run = 0; run < 2; ++run) {
      auto before = u.Tree();
      ScriptedPrompts prompts;
      TForm0 f0(u.main);
      TForm1 f1(u.main, &f0);
      TFPCFrm fpcFrm(u.main, &f0);
      f0.SetForms(&f1, &fpcFrm);
      f0.show();
      // Should a later window come up, it is closed and the test fails on the messages.
      QPointer<QTimer> watch = WhenModal("Form1", [](QWidget* w) { ClickIn(w, "Button2"); });
      QTest::mouseClick(f0.findChild<QPushButton*>("Button1"), Qt::LeftButton);
      delete watch.data();
      const std::string first = run == 0 ? "Sequist" : "Helmsman";
      QCOMPARE(prompts.messages,
               (std::vector<std::string>{"ERROR in " + u.main + "/" + first + "copy to " + u.main +
                                             "/PGM/" + first,
                                         "File missing or other problem"}));
      QVERIFY(prompts.questions.empty());
      QVERIFY(!f0.isVisible());
      auto after = u.Tree();
      if (run == 0) {
        QCOMPARE(after["PGM/Helmsman"], std::string("bytes of Helmsman"));
        QCOMPARE(after["PGM/Foreparse"], std::string("bytes of Foreparse"));
        QVERIFY(after.count("Plotvane") && !after.count("PGM/Plotvane"));
      } else {
        QVERIFY(after == before);
      }
    }
  }

  void createIconWithAnUnwritableDesktop() {
    Unpacked u;
    fs::remove_all(home_.File("Desktop"));
    home_.Write("Desktop", "not a directory");
    ScriptedPrompts prompts;
    TForm1 f1(u.main);
    f1.show();
    ClickIn(&f1, "Button1");
    QCOMPARE(prompts.messages.size(), size_t(1));
    QVERIFY(prompts.messages[0] != "Icon created");
    QVERIFY(prompts.messages[0].find("Helmsman.desktop") != std::string::npos);
    fs::remove(home_.File("Desktop"));
  }
};

QTEST_MAIN(SetupSequenceTest)
#include "setup_sequence_test.moc"
