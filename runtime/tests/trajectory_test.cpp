// The solver's trajectory file: a run writes it beside the old one and puts
// it in place at its end, so whatever stops a run leaves the old trajectory
// or the new one, whole, and a reader of the old one reads it whole.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "runtime/tests/prb_writer.h"
#include "runtime/tests/solver_harness.h"
#include "runtime/tests/test_models.h"

namespace krv::rt {
namespace {

namespace fs = std::filesystem;

// Two problem files of the tanks: the old run's feed is 1, the new one's 2,
// so their trajectories differ in every record.
struct Runs {
  TestModel model = TanksModel();
  std::string oldPrb, newPrb;
  Runs() {
    std::vector<PrbVar> vars = model.vars;
    oldPrb = ProblemFile(model, vars, Ordering::kHelper);
    vars[0].xin = 2.0;
    newPrb = ProblemFile(model, vars, Ordering::kHelper);
  }
};

// The new files a run of problem NAME leaves beside NAME.TTR or NAME.PRB.
std::vector<std::string> NewFilesLeft(const std::string& dir, const std::string& name) {
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(dir)) {
    std::string f = e.path().filename().string();
    if (f.rfind("." + name + ".TTR.", 0) == 0 || f.rfind("." + name + ".PRB.", 0) == 0)
      left.push_back(f);
  }
  return left;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// strace, which stops or fails a run at a chosen system call: Free Pascal
// makes its system calls itself, not through the C library.
const std::string& Strace() {
  static const std::string path = KRV_STRACE;
  return path;
}
bool HaveStrace() { return ::access(Strace().c_str(), X_OK) == 0; }
#define REQUIRE_STRACE() \
  ASSERT_TRUE(HaveStrace()) << "strace is not installed (tools/install-deps.sh installs it)"

// A problem directory of its own holding the compiled tanks solver.
struct Scratch {
  testing::TempDir dir;
  std::string name;
  explicit Scratch(const ProblemDir& compiled) : name(compiled.name()) {
    fs::copy_file(compiled.dir().File(name), dir.File(name));
  }
  RunResult Run(const std::string& prefix = "") const {
    return RunIn(dir.path(), prefix + "./" + name);
  }
};

// What one run of the new problem leaves, from a directory holding the old
// trajectory and the new problem file.
struct Result {
  RunResult run;
  std::string ttr, prb;
};

TEST(TrajectoryFile, ARunReplacesTheOldTrajectoryUnderTheNameItHasOnDisk) {
  const Runs r;
  const ProblemDir& compiled = Compiled(r.model);
  Scratch s(compiled);
  s.dir.Write("TANKS.PRB", r.oldPrb);
  ASSERT_EQ(s.Run().status, 0);
  const std::string oldTtr = s.dir.Read("TANKS.TTR");

  struct Case {
    const char* what;
    const char* onDisk;  // how the old trajectory is named, or a link to where it is
    const char* linkTo;
  } cases[] = {
      {"lower case", "tanks.ttr", nullptr},
      {"mixed case", "Tanks.Ttr", nullptr},
      {"a link", "TANKS.TTR", "data/REAL.TTR"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scratch run(compiled);
    std::string real = c.linkTo ? c.linkTo : c.onDisk;
    fs::create_directories(fs::path(run.dir.File(real)).parent_path());
    run.dir.Write(real, oldTtr);
    ::chmod(run.dir.File(real).c_str(), 0640);
    if (c.linkTo) {
      ASSERT_EQ(::symlink(c.linkTo, run.dir.File(c.onDisk).c_str()), 0);
    }
    run.dir.Write("TANKS.PRB", r.newPrb);
    RunResult out = run.Run();
    ASSERT_EQ(out.status, 0) << out.output;
    EXPECT_NE(out.output.find(std::string(" records in ") + c.onDisk), std::string::npos) << out.output;
    // One trajectory, under its old name, with the new run's records and
    // the old file's mode; a link still leads to it.
    Trajectory t;
    ASSERT_TRUE(ReadTrajectory(run.dir.File(real), t));
    EXPECT_EQ(t.records.size(), 17u);
    EXPECT_FLOAT_EQ(t.records[0].values[0], 2.0f);
    struct stat st;
    ASSERT_EQ(::stat(run.dir.File(real).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (c.linkTo) {
      EXPECT_TRUE(fs::is_symlink(run.dir.File(c.onDisk)));
    } else {
      EXPECT_FALSE(run.dir.Has("TANKS.TTR"));
    }
    EXPECT_TRUE(NewFilesLeft(run.dir.path(), "TANKS").empty());
    if (c.linkTo) {
      EXPECT_TRUE(NewFilesLeft(run.dir.File("data"), "REAL").empty());
    }
  }
}

// A program that holds the old trajectory open (Plotvane attached to it)
// reads it whole, byte for byte, while the solver writes and after.
TEST(TrajectoryFile, AReaderOfTheOldTrajectoryReadsItWhole) {
  const Runs r;
  Scratch s(Compiled(r.model));
  s.dir.Write("TANKS.PRB", r.oldPrb);
  ASSERT_EQ(s.Run().status, 0);
  const std::string oldTtr = s.dir.Read("TANKS.TTR");
  int fd = ::open(s.dir.File("TANKS.TTR").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  s.dir.Write("TANKS.PRB", r.newPrb);
  ASSERT_EQ(s.Run().status, 0);
  std::string held(oldTtr.size() + 64, '\0');
  ssize_t got = ::pread(fd, held.data(), held.size(), 0);
  ::close(fd);
  ASSERT_EQ(got, ssize_t(oldTtr.size()));
  held.resize(size_t(got));
  EXPECT_EQ(held, oldTtr);
  EXPECT_NE(s.dir.Read("TANKS.TTR"), oldTtr);
}

// A run that cannot make its trajectory says why; the old one stays.
TEST(TrajectoryFile, ATrajectoryThatCannotBeMadeIsReportedWithTheReason) {
  const Runs r;
  const ProblemDir& compiled = Compiled(r.model);
  struct Case {
    const char* what;
    void (*prepare)(const testing::TempDir&);
    const char* says;
  } cases[] = {
      {"marked read-only", [](const testing::TempDir& d) {
         d.Write("TANKS.TTR", "old");
         ::chmod(d.File("TANKS.TTR").c_str(), 0444);
       },
       "Trajectory file TANKS.TTR could not be created: Permission denied."},
      {"a link into a folder that is not there", [](const testing::TempDir& d) {
         ASSERT_EQ(::symlink("gone/REAL.TTR", d.File("TANKS.TTR").c_str()), 0);
       },
       "Trajectory file TANKS.TTR could not be created: No such file or directory."},
      {"a folder of that name", [](const testing::TempDir& d) {
         fs::create_directory(d.File("TANKS.TTR"));
       },
       "Trajectory file TANKS.TTR could not be created: Is a directory."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scratch s(compiled);
    c.prepare(s.dir);
    s.dir.Write("TANKS.PRB", r.newPrb);
    RunResult out = s.Run();
    EXPECT_EQ(out.status, 3) << out.output;
    EXPECT_NE(out.output.find(c.says), std::string::npos) << out.output;
    EXPECT_EQ(s.dir.Read("TANKS.PRB"), r.newPrb);
    if (fs::is_regular_file(s.dir.File("TANKS.TTR"))) {
      EXPECT_EQ(s.dir.Read("TANKS.TTR"), "old");
    }
    EXPECT_TRUE(NewFilesLeft(s.dir.path(), "TANKS").empty());
  }
}

// X out goes through the same writer: a problem file marked read-only is
// left as it is, even for root, and the message says why.
TEST(TrajectoryFile, XOutIntoAReadOnlyProblemFileIsRefusedWithTheReason) {
  const Runs r;
  Scratch s(Compiled(r.model));
  s.dir.Write("TANKS.PRB", r.newPrb);
  ::chmod(s.dir.File("TANKS.PRB").c_str(), 0444);
  RunResult out = s.Run();
  EXPECT_EQ(out.status, 3) << out.output;
  EXPECT_NE(out.output.find("X out not written: problem file TANKS.PRB: a new file beside it could not "
                            "be made: Permission denied."),
            std::string::npos)
      << out.output;
  EXPECT_EQ(s.dir.Read("TANKS.PRB"), r.newPrb);
  Trajectory t;
  EXPECT_TRUE(ReadTrajectory(s.dir.File("TANKS.TTR"), t));
  EXPECT_TRUE(NewFilesLeft(s.dir.path(), "TANKS").empty());
}

// A run that was killed leaves its new file unfinished; the next run
// removes it and runs as usual. A new file that a living run holds, and
// files of other makers, stay.
TEST(TrajectoryFile, ALeftoverOfAKilledRunIsRemovedByTheNextRun) {
  REQUIRE_STRACE();
  const Runs r;
  Scratch s(Compiled(r.model));
  s.dir.Write("TANKS.PRB", r.oldPrb);
  ASSERT_EQ(s.Run().status, 0);
  const std::string oldTtr = s.dir.Read("TANKS.TTR");
  s.dir.Write("TANKS.PRB", r.newPrb);
  // Killed when the first record goes to the disk.
  RunResult killed = s.Run(Strace() + " -qq -o /dev/null -e trace=pwrite64 "
                           "-e inject=pwrite64:signal=KILL:when=1 ");
  EXPECT_EQ(killed.status, 128 + 9) << killed.output;
  EXPECT_EQ(s.dir.Read("TANKS.TTR"), oldTtr);
  std::vector<std::string> left = NewFilesLeft(s.dir.path(), "TANKS");
  ASSERT_EQ(left.size(), 1u);

  // One held by a living writer, and names of other patterns.
  s.dir.Write(".TANKS.TTR.1F2E-0A0B0C", "held");
  int held = ::open(s.dir.File(".TANKS.TTR.1F2E-0A0B0C").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  const char* others[] = {".TANKS.TTR.a1B2c3", ".TANKS.TTR.1F2E-0A0B0", "TANKS.TTR.1F2E-0A0B0C",
                          ".OTHER.TTR.1F2E-0A0B0C"};
  for (const char* o : others) s.dir.Write(o, "other");

  RunResult next = s.Run();
  ::close(held);
  ASSERT_EQ(next.status, 0) << next.output;
  Trajectory t;
  ASSERT_TRUE(ReadTrajectory(s.dir.File("TANKS.TTR"), t));
  EXPECT_FLOAT_EQ(t.records[0].values[0], 2.0f);
  EXPECT_FALSE(s.dir.Has(left[0]));
  EXPECT_EQ(s.dir.Read(".TANKS.TTR.1F2E-0A0B0C"), "held");
  for (const char* o : others) EXPECT_EQ(s.dir.Read(o), "other") << o;
}

// ---- A kill or a full disk at each system call of a run ----

struct Call {
  std::string name;
  int nth = 0;  // this call is the nth of its name
};

// The system calls of a run that ends with status `ends`, in order, as
// strace lists them.
std::vector<Call> CallsOfARun(const Scratch& s, int ends) {
  const std::string trace = s.dir.File("calls.txt");
  RunResult r = s.Run(Strace() + " -qq -o '" + trace + "' ");
  EXPECT_EQ(r.status, ends) << r.output;
  std::vector<Call> calls;
  std::map<std::string, int> seen;
  std::istringstream lines(ReadBytes(trace));
  std::remove(trace.c_str());
  for (std::string line; std::getline(lines, line);) {
    size_t open = line.find('(');
    if (open == std::string::npos || line[0] == '+' || line[0] == '-') continue;
    std::string name = line.substr(0, open);
    calls.push_back({name, ++seen[name]});
  }
  return calls;
}

// Runs the new problem of `m` over the trajectory of its old problem with a
// kill, and with a full disk, at each system call of the run in turn: the
// trajectory and the problem file are each the old or the new, whole, the
// run's own ending (`ends`, with the new files) comes only with the new
// files, a write error names the reason, and only a killed run leaves its
// new file behind.
void FaultsAtEachCall(const TestModel& m, const std::string& oldPrb, const std::string& newPrb,
                      int ends) {
  const ProblemDir& compiled = Compiled(m);
  const std::string ttrName = m.name + ".TTR", prbName = m.name + ".PRB";
  // The old trajectory, and what a whole run of the new problem leaves.
  std::string oldTtr, newTtr, newPrbAfter;
  std::vector<Call> calls;
  {
    Scratch s(compiled);
    s.dir.Write(prbName, oldPrb);
    ASSERT_EQ(s.Run().status, 0);
    oldTtr = s.dir.Read(ttrName);
    s.dir.Write(prbName, newPrb);
    ASSERT_EQ(s.Run().status, ends);
    newTtr = s.dir.Read(ttrName);
    newPrbAfter = s.dir.Read(prbName);
    s.dir.Write(ttrName, oldTtr);
    s.dir.Write(prbName, newPrb);
    calls = CallsOfARun(s, ends);
  }
  ASSERT_GT(calls.size(), 40u);
  ASSERT_NE(oldTtr, newTtr);

  struct Fault {
    size_t call;
    bool kill;
  };
  std::vector<Fault> faults;
  for (size_t i = 0; i < calls.size(); ++i) {
    faults.push_back({i, true});
    // The start of the program and its end cannot fail.
    if (calls[i].name != "execve" && calls[i].name != "exit_group") faults.push_back({i, false});
  }
  std::atomic<size_t> next{0};
  std::mutex failures;
  std::vector<std::string> wrong;
  auto worker = [&](const Scratch& s) {
    for (size_t f; (f = next++) < faults.size();) {
      const Call& c = calls[faults[f].call];
      const std::string what = std::string(faults[f].kill ? "kill" : "ENOSPC") + " at " + c.name +
                               " #" + std::to_string(c.nth) + " (call " +
                               std::to_string(faults[f].call + 1) + ")";
      s.dir.Write(ttrName, oldTtr);
      s.dir.Write(prbName, newPrb);
      const std::string inject = "-e inject=" + c.name + ":" +
                                 (faults[f].kill ? "signal=KILL" : "error=ENOSPC") +
                                 ":when=" + std::to_string(c.nth);
      RunResult out = s.Run(Strace() + " -qq -o /dev/null -e trace=" + c.name + " " + inject + " ");
      const std::string ttr = s.dir.Read(ttrName), prb = s.dir.Read(prbName);
      std::vector<std::string> left = NewFilesLeft(s.dir.path(), m.name);
      const bool kill = faults[f].kill;
      auto fault = [&]() -> std::string {
        if (ttr != oldTtr && ttr != newTtr) return "the trajectory is neither the old nor the new";
        if (prb != newPrb && prb != newPrbAfter) return "the problem file is damaged";
        if (out.status == ends && (ttr != newTtr || prb != newPrbAfter))
          return "the run's own ending but its files are not all there";
        if (kill && out.status != 128 + 9 && out.status != ends)
          return "not killed: status " + std::to_string(out.status);
        if (!kill && out.status >= 128) return "ended by a signal";
        if (!kill && out.status == 3 && out.output.find("No space left on device") == std::string::npos)
          return "a write error without the reason";
        // A killed run leaves its new file to the next run; a failed one
        // removes it, unless removing is what failed.
        if (left.size() > (kill || c.name == "unlink" ? 1u : 0u))
          return std::to_string(left.size()) + " new files left";
        return "";
      }();
      for (const std::string& l : left) std::remove(s.dir.File(l).c_str());
      if (!fault.empty()) {
        std::lock_guard<std::mutex> lock(failures);
        wrong.push_back(what + ": " + fault + "\n" + out.output);
      }
    }
  };
  // Copied before any run starts: a program being copied while another
  // thread starts one cannot be started ("Text file busy").
  std::vector<std::unique_ptr<Scratch>> dirs;
  for (int k = 0; k < 4; ++k) dirs.push_back(std::make_unique<Scratch>(compiled));
  std::vector<std::thread> pool;
  for (const auto& d : dirs) pool.emplace_back(worker, std::cref(*d));
  for (auto& t : pool) t.join();
  for (const std::string& w : wrong) ADD_FAILURE() << w;
  EXPECT_GT(faults.size(), 80u);
}

TEST(TrajectoryFaults, AKillOrAFullDiskAtEachSystemCallOfARunLeavesTheOldOrTheNewFilesWhole) {
  REQUIRE_STRACE();
  const Runs r;
  FaultsAtEachCall(r.model, r.oldPrb, r.newPrb, 0);
}

// A run that fails at a step keeps the records solved so far as its
// trajectory (status 2), and leaves the problem file as it was.
TEST(TrajectoryFaults, AKillOrAFullDiskAtEachSystemCallOfAFailingRunLeavesTheOldOrTheNewFilesWhole) {
  REQUIRE_STRACE();
  TestModel m = TroubleModel();
  std::vector<PrbVar> vars = m.vars;
  vars[0].xin = 2;  // converges
  const std::string converges = ProblemFile(m, vars, Ordering::kHelper);
  vars[0].xin = 1;  // singular from _JT = 2
  FaultsAtEachCall(m, converges, ProblemFile(m, vars, Ordering::kHelper), 2);
}

}  // namespace
}  // namespace krv::rt
