// Qt Tests of Helmsman's main window: captions, enabling, the File road and the starts.
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <filesystem>

#include "guide/forms/DGW1.h"
#include "guide/forms/console_window.h"
#include "platform/qt/latin1.h"
#include "platform/file_stamp.h"
#include "platform/process_start.h"
#include "platform/user_prompts.h"
#include "series/forms/TLSQfrm.h"
#include "series/forms/TWkFrm.h"
#include "series/forms/series_windows.h"
#include "testing/qt_test_helpers.h"
#include "testing/temp_dir.h"

using krv::platform::RecordingStarter;
using krv::platform::ScriptedPrompts;
using krv::testing::ScopedCwd;
using krv::testing::TempDir;

class DGW1Test : public QObject {
  Q_OBJECT

  QPushButton* Button(TForm1& f, const char* name) {
    auto* b = f.findChild<QPushButton*>(name);
    if (!b) qFatal("no button %s", name);
    return b;
  }
  QString Label(TForm1& f, const char* name) { return f.findChild<QLabel*>(name)->text(); }
  ConsoleWindow* Console(TForm1& f, const char* title) {
    for (ConsoleWindow* w : f.findChildren<ConsoleWindow*>())
      if (w->windowTitle() == title) return w;
    return nullptr;
  }

  // Shows the window and chooses problem W, with only its .QTL, in `work`.
  void ChooseW(TForm1& f, ScriptedPrompts& prompts, TempDir& work) {
    work.Write("W.QTL", "m");
    f.show();
    prompts.files = {work.File("W.QTL")};
    QTest::mouseClick(Button(f, "FileButton"), Qt::LeftButton);
    QCOMPARE(Label(f, "CompStatus"), QString(" "));
  }

 private slots:
  // The series store's and the worksheet's windows exist from the start,
  // made after the editors in the system's order, none shown. The
  // data-control dialog belongs to the main window (it blocks it); the
  // worksheet it opens is a window of its own, and each dialog belongs to
  // the window that opens it.
  void seriesWindowsMadeAtStart() {
    TempDir pgm;
    TForm1 f(pgm.path());
    krv::series::SeriesWindows& sw = f.SeriesForms();
    auto windowsOf = [](QObject* owner) {
      QStringList made;
      for (QObject* child : owner->children())
        if (auto* w = qobject_cast<QWidget*>(child); w && w->isWindow()) made << w->objectName();
      return made;
    };
    const QStringList main = windowsOf(&f);
    const int at = main.indexOf("SHFrm");
    QVERIFY(at >= 0);
    QCOMPARE(main.value(at + 1), QString("LSQfrm"));
    QCOMPARE(windowsOf(sw.LSQfrm), QStringList{"LSQrunfrm"});
    QCOMPARE(windowsOf(sw.WkFrm), (QStringList{"SerFrm", "LogFrm", "TVfrm", "NameFrm", "UseDlg",
                                               "RealEntry", "SimplFrm", "DecFrm", "ForFrm"}));
    QVERIFY(!sw.WkFrm->parent());
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() != "Form1") QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
    QCOMPARE(sw.WkFrm->windowTitle(), QString("Worksheet"));
    QCOMPARE(&sw.Store, &sw.Sheet.Store());
    QCOMPARE(sw.LSQfrm->windowModality(), Qt::WindowModal);
  }

  void designState() {
    TempDir pgm;
    TForm1 f(pgm.path());
    QCOMPARE(f.windowTitle(), QString("KRVGuide for v.6.04"));
    QCOMPARE(f.size(), QSize(476, 218));
    struct {
      const char* name;
      const char* caption;
      bool enabled;
    } buttons[] = {
        {"FileButton", "File", true},         {"EditButton", "Edit", false},
        {"SObutton", "Edit SOSI", false},     {"CvtSObutton", "Cvt SOSI", false},
        {"PrepButton", "Preprocess", false},  {"SeqButton", "Sequence", false},
        {"bComp", "Compile", false},          {"ExeStart", "Start Solver", false},
        {"Casewrightbutton", "Start Casewright", true},
        {"Plotvanebutton", "Start Plotvane", true},
        {"Button2", "Update", true},          {"Aedit", "Edit Any File", true},
        {"Button1", "Help", true},            {"Brackenfoldbt", "Brackenfold", true},
    };
    for (const auto& b : buttons) {
      QCOMPARE(Button(f, b.name)->text(), QString(b.caption));
      QCOMPARE(Button(f, b.name)->isEnabled(), b.enabled);
    }
    QCOMPARE(Label(f, "FileStatus"), QString("Select QTL file name"));
    QCOMPARE(Label(f, "PrepStatus"), QString("Preprocess"));
    QCOMPARE(Label(f, "SeqStatus"), QString("SeqMsg"));
    QCOMPARE(Label(f, "CompStatus"), QString(""));
    QCOMPARE(Label(f, "Label1"), QString(""));
    // Showing the window refreshes the status.
    f.show();
    QCOMPARE(Label(f, "FileStatus"), QString("Select QTL file name."));
  }

  void mainRoadWithStandIns() {
    ScopedCwd keep(".");
    TempDir pgm, work;
    // A stand-in compiler in the configured Free Pascal directory.
    pgm.Write("Helmsman.TXT", pgm.path() + "\r\n-O2\r\n\r\n");
    std::filesystem::create_directory(pgm.File("bin"));
    pgm.Write("bin/fpc", "#!/bin/sh\necho \"compiling $*\"\n");
    std::filesystem::permissions(pgm.File("bin/fpc"), std::filesystem::perms::owner_all);
    pgm.Write("DSAMPLE.QTL", "{model}\r\n");
    pgm.Write("KRVSRC.TXT", "begin end.\r\n");
    ScriptedPrompts prompts;
    RecordingStarter rec;
    TForm1 f(pgm.path() + "/");
    f.SetTerminalLookup([] { return std::string(); });
    f.show();

    prompts.files = {work.File("ROAD.QTL")};
    QTest::mouseClick(Button(f, "FileButton"), Qt::LeftButton);
    QCOMPARE(f.windowTitle(), QString("Guide:ROAD"));
    QVERIFY(work.Has("ROAD.QTL") && work.Has("KRVUSER.PAS") && work.Has("ROAD.LPR"));
    QCOMPARE(prompts.dialogs.size(), size_t(1));
    QCOMPARE(QString::fromStdString(prompts.dialogs[0].filter), QString("QTL file|*.QTL"));
    QVERIFY(Button(f, "bComp")->isEnabled());
    QVERIFY(Button(f, "PrepButton")->isEnabled());
    QVERIFY(Button(f, "EditButton")->isEnabled());
    QVERIFY(!Button(f, "SeqButton")->isEnabled());
    QCOMPARE(Label(f, "FileStatus"), QString(" "));
    QCOMPARE(Label(f, "PrepStatus"), QString("Preprocess"));

    QTest::mouseClick(Button(f, "PrepButton"), Qt::LeftButton);
    QCOMPARE(rec.starts.back().program, pgm.File("Foreparse"));
    QCOMPARE(rec.starts.back().args, std::vector<std::string>{"ROAD"});

    // What Foreparse and Sequist would write shows at the next refresh.
    const uint32_t old = krv::platform::PackLocalTime(time(nullptr) - 100);
    for (const char* n : {"ROAD.QTL"}) krv::platform::SetPackedFileDate(work.File(n), old);
    work.Write("ROAD.PSY", "x");
    work.Write("ROAD.VNM", "x");
    f.RefreshStatus();
    QVERIFY(Button(f, "SeqButton")->isEnabled());
    QCOMPARE(Label(f, "SeqStatus"), QString("Need to sequence"));
    QCOMPARE(Label(f, "CompStatus"), QString("Need to compile"));
    QTest::mouseClick(Button(f, "SeqButton"), Qt::LeftButton);
    QCOMPARE(rec.starts.back().program, pgm.File("Sequist"));

    // Without a terminal each run shows its output in a window of its own.
    const size_t detached = rec.starts.size();
    QTest::mouseClick(Button(f, "bComp"), Qt::LeftButton);
    QVERIFY(work.Has("TMPTMP.BAT") && work.Has("ROAD.pat"));
    ConsoleWindow* compile = Console(f, "Compile ROAD");
    QVERIFY(compile && compile->isVisible());
    QTRY_VERIFY(!compile->Running());
    QVERIFY2(compile->Text().startsWith("compiling -O2 -Fu"), qPrintable(compile->Text()));
    QCOMPARE(work.Read("TMPTMP.LOG"), krv::platform::ToBytes(compile->Text()));

    work.Write("ROAD.PRB", "x");
    work.Write("ROAD", "#!/bin/sh\necho solved\n");
    std::filesystem::permissions(work.File("ROAD"), std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    krv::platform::SetPackedFileDate(work.File("ROAD.PSY"), old);
    krv::platform::SetPackedFileDate(work.File("ROAD.VNM"), old);
    f.RefreshStatus();
    QCOMPARE(Label(f, "CompStatus"), QString(" "));
    QVERIFY(Button(f, "ExeStart")->isEnabled());
    QTest::mouseClick(Button(f, "ExeStart"), Qt::LeftButton);
    ConsoleWindow* solver = Console(f, "Solver ROAD");
    QVERIFY(solver);
    QTRY_VERIFY(!solver->Running());
    QCOMPARE(solver->Text(), QString("solved\nSolver ended: status 0 (the run is complete)\n"));
    QCOMPARE(work.Read("ROAD.LOG"), krv::platform::ToBytes(solver->Text()));
    QCOMPARE(rec.starts.size(), detached);
    // Closing a window takes nothing else with it.
    compile->close();
    QTRY_VERIFY(!Console(f, "Compile ROAD"));
    QVERIFY(solver->isVisible());

    QTest::mouseClick(Button(f, "Button2"), Qt::LeftButton);
    QCOMPARE(rec.starts.back().args, (std::vector<std::string>{"ROAD", "/u"}));
    QVERIFY(prompts.messages.empty());
  }

  void sosiChoiceOpensTheSosiButton() {
    ScopedCwd keep(".");
    TempDir pgm, work;
    pgm.Write("DSAMPLE.SO", "{sosi}\r\n");
    ScriptedPrompts prompts;
    RecordingStarter rec;
    TForm1 f(pgm.path());
    f.show();
    prompts.files = {work.File("S1.QTL")};
    prompts.answers = {krv::platform::Answer::Yes};
    QString shown;
    krv::testing::WhenModal({}, [&](QWidget* sosi) {
      QVERIFY(sosi && sosi->objectName() == "SOfrm");
      shown = sosi->findChild<QPlainTextEdit*>("M1")->toPlainText();
      sosi->findChild<QPushButton*>("Button1")->click();
    });
    QTest::mouseClick(Button(f, "FileButton"), Qt::LeftButton);
    QVERIFY(work.Has("S1.SO"));
    QCOMPARE(shown, QString("{sosi}"));
    QVERIFY(prompts.messages.empty());
    QCOMPARE(f.windowTitle(), QString("Guide:S1"));
    QVERIFY(Button(f, "SObutton")->isEnabled() && Button(f, "CvtSObutton")->isEnabled());
    QVERIFY(!Button(f, "PrepButton")->isEnabled() && !Button(f, "EditButton")->isEnabled());
  }

  void refreshWhenTheWindowComesBack() {
    ScopedCwd keep(".");
    TempDir pgm, work;
    ScriptedPrompts prompts;
    TForm1 f(pgm.path());
    ChooseW(f, prompts, work);
    work.Write("W.PSY", "x");  // as Foreparse would, while the window is in the back
    f.activateWindow();
    QApplication::setActiveWindow(&f);
    QTRY_COMPARE(Label(f, "CompStatus"), QString("Need to compile"));
  }

  // A compile without a terminal, or a program opening behind the window,
  // never takes the activation away: the files alone must refresh the status.
  void refreshWhenTheProblemFilesChange() {
    ScopedCwd keep(".");
    TempDir pgm, work;
    ScriptedPrompts prompts;
    TForm1 f(pgm.path());
    ChooseW(f, prompts, work);
    QVERIFY(!Button(f, "ExeStart")->isEnabled());

    work.Write("W.PSY", "x");  // a new file in the problem directory
    QTRY_COMPARE(Label(f, "CompStatus"), QString("Need to compile"));
    const uint32_t old = krv::platform::PackLocalTime(time(nullptr) - 100);
    krv::platform::SetPackedFileDate(work.File("W.PSY"), old);
    work.Write("W", "solver");
    QTRY_VERIFY(Button(f, "ExeStart")->isEnabled());
    // An existing file re-dated in place, as a rewrite would.
    krv::platform::SetPackedFileDate(work.File("W.PSY"), krv::platform::PackLocalTime(time(nullptr) + 100));
    QTRY_COMPARE(Label(f, "CompStatus"), QString("Need to compile"));
    QVERIFY(!Button(f, "ExeStart")->isEnabled());
  }

  void refusalsAndPlaceholders() {
    ScopedCwd keep(".");
    TempDir pgm;
    ScriptedPrompts prompts;
    RecordingStarter rec;
    TForm1 f(pgm.path());
    QTest::mouseClick(Button(f, "Button2"), Qt::LeftButton);  // no problem chosen
    QVERIFY(rec.starts.empty());
    QTest::mouseClick(Button(f, "FileButton"), Qt::LeftButton);  // dialog cancelled
    QCOMPARE(f.windowTitle(), QString("KRVGuide for v.6.04"));
    QTest::mouseClick(Button(f, "Button1"), Qt::LeftButton);  // no KRVdoc.html
    QCOMPARE(prompts.messages.size(), size_t(2));
    QCOMPARE(QString::fromStdString(prompts.messages[0]),
             QString("No problem has been chosen: choose one with File first."));
    QCOMPARE(QString::fromStdString(prompts.messages[1]),
             QString::fromStdString("The help file " + pgm.File("KRVdoc.html") + " is not there."));
  }
};

QTEST_MAIN(DGW1Test)
#include "dgw1_test.moc"
