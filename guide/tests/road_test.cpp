// Qt Test of the whole road from Helmsman's window on an example: choose, preprocess,
// sequence, compile, run the solver, find the trajectory; and the values of a
// problem taken over by "Update" after the model changed. Skipped until every
// piece exists.
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <chrono>
#include <cmath>
#include <filesystem>

#include "guide/forms/DGW1.h"
#include "platform/byte_io.h"
#include "platform/process_start.h"
#include "platform/qt/latin1.h"
#include "platform/user_prompts.h"
#include "problem_editor/LDSAVE.h"
#include "problem_editor/forms/TForm1.h"
#include "viewer/ttr_file.h"
#include "testing/qt_test_helpers.h"
#include "testing/temp_dir.h"
#include "road_helpers.h"

namespace fs = std::filesystem;
using krv::platform::FromBytes;
using krv::platform::ScriptedPrompts;
using krv::testing::ScopedCwd;
using krv::testing::TempDir;
using road::AgeFiles;
using road::ChildStarter;
using road::MissingPrograms;
using road::Travel;

namespace {

// Waits until `file` was written after `since`.
bool WaitForNewer(const std::string& file, fs::file_time_type since, int ms) {
  std::error_code ec;
  return QTest::qWaitFor([&] { return fs::last_write_time(file, ec) > since + std::chrono::seconds(5) && !ec; },
                         ms);
}

// The record number of the first variable whose name holds `part`; 0 when none.
int RecordNamed(const krv::pe::EditorBuffer& buf, const std::string& part) {
  for (int k = 1; k <= buf.HighestIndex(); ++k)
    if (buf.records[size_t(k)].name.find(part) != std::string::npos) return k;
  return 0;
}

// Value `k` of the trajectory's first record; NaN when it cannot be read.
float FirstRecordValue(const std::string& ttr, int k) {
  krv::view::TTRFile file;
  krv::view::TTRHeader h;
  if (!file.Open(ttr) || !file.ReadHeader(h)) return std::nanf("");
  h.Normalize();
  krv::view::TTRRecord rec;
  if (!krv::view::ReadTTRRecord(file, krv::view::TTRLayout::ForHeader(h), 0, rec) ||
      size_t(k) >= rec.values.size())
    return std::nanf("");
  return rec.values[size_t(k)];
}

}  // namespace

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
    krv::testing::WhenModal("SOfrm", [&](QWidget* sosi) {
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
  // A value set in the problem survives a change of the model: the example
  // runs, a level's start value is set, the model's time step changes and it
  // is preprocessed and sequenced again (Sequist keeps NAME.OLD.PRB), "Update"
  // starts Casewright in update mode, which takes the values over by name from
  // the old version and ends, and the solver then starts from the value set.
  void updateTakesValuesOverAfterTheModelChanged() {
    const fs::path pgm = fs::path(KRV_BIN_DIR).parent_path() / "Kravenor" / "PGM";
    QStringList missing = MissingPrograms(pgm);
    if (!fs::exists(pgm / "Casewright")) missing << "Casewright";
    if (!missing.isEmpty()) QSKIP(qPrintable("not installed yet: " + missing.join(", ")));

    ScopedCwd keep(".");
    TempDir work;
    std::string source;
    QVERIFY(krv::platform::ReadFileBytes(std::string(KRV_SOURCE_DIR) + "/examples/TANKS.QTL", source));
    work.Write("TANKS.QTL", source);
    ScriptedPrompts prompts;
    ChildStarter starter;
    TForm1 f(pgm.string() + "/");
    f.SetTerminalLookup([] { return std::string(); });
    f.show();
    prompts.files = {work.File("TANKS.QTL")};
    QTest::mouseClick(f.findChild<QPushButton*>("FileButton"), Qt::LeftButton);
    Travel(f, starter, work, "TANKS");
    if (QTest::currentTestFailed()) return;

    // The modeller sets the first level's start value and saves.
    krv::pe::EditorBuffer buf;
    QVERIFY(krv::pe::LoadProblemFile(work.File("TANKS"), false, buf));
    const int level = RecordNamed(buf, "LEVEL");
    QVERIFY(level > 0);
    const std::string levelName = buf.records[size_t(level)].name;
    QVERIFY(buf.records[size_t(level)].XIn() != 7.25);
    buf.records[size_t(level)].SetXIn(7.25);
    // Every variable a value is needed for gets one (a range not 0).
    for (int k = 1; k <= buf.HighestIndex(); ++k)
      if (buf.records[size_t(k)].TypeCode <= 4 && buf.records[size_t(k)].Range() == 0)
        buf.records[size_t(k)].SetRange(1);
    QVERIFY(krv::pe::SaveProblemFile(buf, work.File("TANKS")));

    // The time step halved: the model is preprocessed and sequenced anew.
    const size_t step = source.find("TSTEP:=0.5;");
    QVERIFY(step != std::string::npos);
    source.replace(step, 11, "TSTEP:=0.25;");
    work.Write("TANKS.QTL", source);
    AgeFiles(work);
    f.RefreshStatus();
    const auto aged = fs::last_write_time(work.File("TANKS.PRB"));
    QTest::mouseClick(f.findChild<QPushButton*>("PrepButton"), Qt::LeftButton);
    QVERIFY2(WaitForNewer(work.File("TANKS.VNM"), aged, 60000), "Foreparse wrote no new .VNM");
    AgeFiles(work);
    f.RefreshStatus();
    QTest::mouseClick(f.findChild<QPushButton*>("SeqButton"), Qt::LeftButton);
    QVERIFY2(WaitForNewer(work.File("TANKS.PRB"), aged, 60000), "Sequist wrote no new .PRB");
    QVERIFY(fs::exists(work.File("TANKS.OLD.PRB")));
    QVERIFY(krv::pe::LoadProblemFile(work.File("TANKS"), false, buf));
    QVERIFY(RecordNamed(buf, "LEVEL") > 0);
    QVERIFY(buf.records[size_t(RecordNamed(buf, levelName))].XIn() != 7.25);

    // Update starts Casewright in update mode on the problem. The program
    // asks for the old version of the problem; a child process cannot be
    // answered from here, so its window is driven in this process instead.
    const size_t children = starter.children.size();
    QTest::mouseClick(f.findChild<QPushButton*>("Button2"), Qt::LeftButton);
    QCOMPARE(starter.children.size(), children + 1);
    QVERIFY(starter.Last().program().endsWith("/Casewright"));
    QCOMPARE(starter.Last().arguments(), QStringList({"TANKS", "/u"}));
    starter.Last().kill();
    starter.Last().waitForFinished(5000);
    {
      ScopedCwd here(work.path());
      krv::pe::TForm1 casewright;
      casewright.show();
      prompts.files = {work.File("TANKS.OLD.PRB")};
      casewright.StartWith("TANKS", true);
      QCOMPARE(prompts.messages.back(), std::string("Updated TANKS"));
      prompts.messages.clear();
      QTRY_VERIFY(!casewright.isVisible());  // the update ends the program
    }
    QVERIFY(krv::pe::LoadProblemFile(work.File("TANKS"), false, buf));
    const int moved = RecordNamed(buf, levelName);
    QVERIFY(moved > 0);
    QCOMPARE(buf.records[size_t(moved)].XIn(), 7.25);

    // Compile and run: the trajectory starts from the value taken over.
    AgeFiles(work);
    f.RefreshStatus();
    QTest::mouseClick(f.findChild<QPushButton*>("bComp"), Qt::LeftButton);
    QVERIFY(road::EndedConsole(f, "Compile TANKS", 120000));
    fs::remove(work.File("TANKS.TTR"));
    f.RefreshStatus();
    QTest::mouseClick(f.findChild<QPushButton*>("ExeStart"), Qt::LeftButton);
    QVERIFY(road::EndedConsole(f, "Solver TANKS", 120000));
    QCOMPARE(FirstRecordValue(work.File("TANKS.TTR"), moved), 7.25f);
    QVERIFY(prompts.messages.empty());
  }
};

QTEST_MAIN(RoadTest)
#include "road_test.moc"
