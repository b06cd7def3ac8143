// What the road tests share: program starts as children of the test,
// waiting for files, ageing them, and the road from Preprocess to the
// solver's trajectory through Helmsman's window.
#pragma once

#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include <chrono>
#include <filesystem>
#include <memory>

#include "guide/forms/DGW1.h"
#include "guide/forms/console_window.h"
#include "platform/process_start.h"
#include "platform/qt/latin1.h"
#include "testing/temp_dir.h"

namespace road {

namespace fs = std::filesystem;
using krv::platform::FromBytes;
using krv::testing::TempDir;

// Runs each start as a child of the test, so that programs which keep
// their window open can be ended when the test is done.
class ChildStarter : public krv::platform::ProcessStarter {
 public:
  ChildStarter() { krv::platform::SetStarter(this); }
  ~ChildStarter() override {
    krv::platform::SetStarter(nullptr);
    for (auto& p : children) {
      p->kill();
      p->waitForFinished(5000);
    }
  }
  bool StartDetached(const std::string& program, const std::vector<std::string>& args,
                     const std::string& workDir) override {
    auto p = std::make_unique<QProcess>();
    QStringList list;
    for (const auto& a : args) list << FromBytes(a);
    p->setWorkingDirectory(workDir.empty() ? QDir::currentPath() : FromBytes(workDir));
    p->setProcessChannelMode(QProcess::MergedChannels);
    p->start(FromBytes(program), list);
    bool ok = p->waitForStarted(10000);
    children.push_back(std::move(p));
    return ok;
  }
  QProcess& Last() { return *children.back(); }
  std::vector<std::unique_ptr<QProcess>> children;
};

inline bool WaitForFiles(const std::vector<std::string>& files, int ms) {
  return QTest::qWaitFor(
      [&] {
        bool all = true;
        for (const auto& f : files) all = all && fs::exists(f) && fs::file_size(f) > 0;
        return all;
      },
      ms);
}

// Moves the dates of every file in `dir` ten seconds back, so that the
// next step's files are plainly newer than these (the status compares
// dates at two-second resolution) without the test having to wait. A
// program that has just written its outputs may still be removing its lock
// file, so a file that vanishes during the walk is simply passed over.
inline void AgeFiles(const TempDir& dir) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir.path(), ec)) {
    const auto when = fs::last_write_time(e.path(), ec);
    if (!ec) fs::last_write_time(e.path(), when - std::chrono::seconds(10), ec);
  }
}

// The console window Helmsman opened last with `title`, once its program has
// ended; null when there is none or it runs longer than `ms`. The window
// reads the last output in the same step in which the program is seen to
// end, so its text is whole once it no longer runs.
inline ConsoleWindow* EndedConsole(TForm1& f, const QString& title, int ms) {
  ConsoleWindow* last = nullptr;
  const bool ended = QTest::qWaitFor(
      [&] {
        for (ConsoleWindow* w : f.findChildren<ConsoleWindow*>())
          if (w->windowTitle() == title) last = w;
        return last && !last->Running();
      },
      ms);
  return ended ? last : nullptr;
}

// Preprocess, Sequence, Compile and Start Solver from Helmsman's window on
// the current problem `name` in `work`, waiting for each program's files.
inline void Travel(TForm1& f, ChildStarter& starter, TempDir& work, const std::string& name) {
  auto click = [&](const char* button) {
    QPushButton* b = f.findChild<QPushButton*>(button);
    QVERIFY2(b->isEnabled(), button);
    QTest::mouseClick(b, Qt::LeftButton);
  };
  click("PrepButton");
  QVERIFY2(WaitForFiles({work.File(name + ".VNM"), work.File(name + ".PSY")}, 60000),
           "Foreparse wrote no .VNM and .PSY");
  AgeFiles(work);
  f.RefreshStatus();
  click("SeqButton");
  QVERIFY2(WaitForFiles({work.File(name + ".PRB")}, 60000), "Sequist wrote no .PRB");
  f.RefreshStatus();
  QCOMPARE(f.findChild<QLabel*>("SeqStatus")->text(), QString(" "));
  QCOMPARE(f.findChild<QLabel*>("CompStatus")->text(), QString("Need to compile"));

  AgeFiles(work);
  // Without a terminal, Helmsman shows the compile's and the solver's
  // output in windows of its own, and logs it.
  click("bComp");
  ConsoleWindow* compile = EndedConsole(f, FromBytes("Compile " + name), 120000);
  QVERIFY2(compile, "the compile did not end");
  f.RefreshStatus();
  QVERIFY2(f.findChild<QLabel*>("CompStatus")->text() == " ", work.Read("TMPTMP.LOG").c_str());
  QVERIFY(work.Read("TMPTMP.LOG").find("was produced") != std::string::npos);
  QVERIFY2(compile->Text().contains("was produced"), qPrintable(compile->Text()));
  compile->close();

  click("ExeStart");
  ConsoleWindow* solver = EndedConsole(f, FromBytes("Solver " + name), 120000);
  QVERIFY2(solver, "the solver did not end");
  QVERIFY2(fs::exists(work.File(name + ".TTR")), qPrintable(solver->Text()));
  QVERIFY2(solver->Text().contains("Solver ended: status 0"), qPrintable(solver->Text()));
  solver->close();
  (void)starter;
}

// The programs of the installed layout that every road needs; empty when all are there.
inline QStringList MissingPrograms(const fs::path& pgm) {
  QStringList missing;
  for (const char* f : {"Foreparse", "Sequist", "Tessary", "KRVSRC.TXT", "Helmsman.TXT", "DSAMPLE.SO"})
    if (!fs::exists(pgm / f)) missing << f;
  if (!fs::exists(pgm / "units" / "krvprocs.ppu") && !fs::exists(pgm / "units" / "KRVPROCS.ppu"))
    missing << "units/krvprocs.ppu";
  return missing;
}

}  // namespace road
