// Qt Test of the whole road from Helmsman's window on an example: choose, preprocess,
// sequence, compile, run the solver, find the trajectory. Skipped until every piece exists.
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <chrono>
#include <filesystem>
#include <memory>

#include "guide/forms/DGW1.h"
#include "platform/process_start.h"
#include "platform/qt/latin1.h"
#include "platform/user_prompts.h"
#include "testing/temp_dir.h"
#include "road_helpers.h"

namespace fs = std::filesystem;
using krv::platform::FromBytes;
using krv::platform::ScriptedPrompts;
using krv::testing::ScopedCwd;
using krv::testing::TempDir;
using road::ChildStarter;
using road::MissingPrograms;
using road::Travel;

class RoadTest : public QObject {
  Q_OBJECT

 private slots:
  void exampleFromSourceToTrajectory() {
    const fs::path pgm = fs::path(KRV_BIN_DIR).parent_path() / "Kravenor" / "PGM";
    std::vector<fs::path> examples;
    if (fs::is_directory(fs::path(KRV_SOURCE_DIR) / "examples"))
      for (const auto& e : fs::directory_iterator(fs::path(KRV_SOURCE_DIR) / "examples"))
        if (e.path().extension() == ".QTL") examples.push_back(e.path());
    std::sort(examples.begin(), examples.end());
    QStringList missing = MissingPrograms(pgm);
    if (examples.empty()) missing << "examples/*.QTL";
    if (!missing.isEmpty()) QSKIP(qPrintable("not installed yet: " + missing.join(", ")));

    ScopedCwd keep(".");
    TempDir work;
    const std::string name = examples[0].stem().string();
    fs::copy_file(examples[0], work.File(name + ".QTL"));
    ScriptedPrompts prompts;
    ChildStarter starter;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TForm1 f(pgm.string() + "/");
    f.SetTerminalLookup([] { return std::string(); });
    f.show();
    auto click = [&](const char* button) {
      QPushButton* b = f.findChild<QPushButton*>(button);
      QVERIFY2(b->isEnabled(), button);
      QTest::mouseClick(b, Qt::LeftButton);
    };

    prompts.files = {work.File(name + ".QTL")};
    click("FileButton");
    QCOMPARE(f.windowTitle(), FromBytes("Guide:" + name));

    Travel(f, starter, work, name);
    if (QTest::currentTestFailed()) return;
    QVERIFY(prompts.messages.empty());
  }

  // A new problem stated in SOSI: File with "Use SOSI", the sample edited
  // in the SOSI window, "Cvt SOSI", then the road to the trajectory.
  void sosiFromNewProblemToTrajectory() {
    const fs::path pgm = fs::path(KRV_BIN_DIR).parent_path() / "Kravenor" / "PGM";
    QStringList missing = MissingPrograms(pgm);
    if (!missing.isEmpty()) QSKIP(qPrintable("not installed yet: " + missing.join(", ")));

    ScopedCwd keep(".");
    TempDir work;
    ScriptedPrompts prompts;
    ChildStarter starter;
    TForm1 f(pgm.string() + "/");
    f.SetTerminalLookup([] { return std::string(); });
    f.show();
    prompts.files = {work.File("SOSIROAD.QTL")};
    prompts.answers = {krv::platform::Answer::Yes};  // "Use SOSI"
    bool edited = false;
    QTimer::singleShot(0, [&] {
      QWidget* sosi = QApplication::activeModalWidget();
      if (!sosi || sosi->objectName() != "SOfrm") return;
      auto* memo = sosi->findChild<QPlainTextEdit*>("M1");
      QTextCursor end = memo->document()->find("END");
      end.insertText("  Z = Y^2 + EXP(-X);\nEND");
      edited = true;
      sosi->findChild<QPushButton*>("Button1")->click();
    });
    QTest::mouseClick(f.findChild<QPushButton*>("FileButton"), Qt::LeftButton);
    QVERIFY(edited);
    QVERIFY(work.Read("SOSIROAD.SO").find("  Z = Y^2 + EXP(-X);\r\nEND\r\n") != std::string::npos);
    QTest::mouseClick(f.findChild<QPushButton*>("CvtSObutton"), Qt::LeftButton);
    QCOMPARE(prompts.messages, std::vector<std::string>{"Finished"});
    QVERIFY(work.Read("SOSIROAD.QTL").find("XPROC Z_calc(VAROT OTV:XVR;") != std::string::npos);
    f.RefreshStatus();
    Travel(f, starter, work, "SOSIROAD");
  }
};

QTEST_MAIN(RoadTest)
#include "road_test.moc"
