// Tests of the program starts: exact argument lists, missing programs, real detached starts.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "guide/console_run.h"
#include "guide/program_starts.h"
#include "guide/tests/console_capture.h"
#include "platform/process_start.h"
#include "platform/user_prompts.h"
#include "testing/program.h"
#include "testing/temp_dir.h"

using namespace krv::guide;
using krv::platform::RecordingStarter;
using krv::platform::ScriptedPrompts;
using krv::testing::ScopedCwd;
using krv::testing::TempDir;
using Args = std::vector<std::string>;
using krv::guide::testing::CapturingConsole;
using krv::guide::testing::RecordingConsole;

namespace {
ShellState Chosen() {
  ShellState s;
  s.ProgramDir = "/x/PGM/";
  s.ProblemName = "MYPROB";
  return s;
}
}  // namespace

TEST(ProgramStarts, EachButtonStartsItsProgramWithItsArguments) {
  RecordingStarter rec;
  ScriptedPrompts prompts;
  const ShellState s = Chosen();
  struct Case {
    void (*start)(const ShellState&);
    const char* program;
    Args args;
  } cases[] = {
      {StartForeparse, "/x/PGM/Foreparse", {"MYPROB"}},
      {StartSequist, "/x/PGM/Sequist", {"MYPROB"}},
      {StartCasewright, "/x/PGM/Casewright", {}},
      {StartUpdate, "/x/PGM/Casewright", {"MYPROB", "/u"}},
      {StartPlotvane, "/x/PGM/Plotvane", {}},
      {StartBrackenfold, "/x/PGM/Brackenfold", {}},
  };
  for (const Case& c : cases) {
    rec.starts.clear();
    c.start(s);
    ASSERT_EQ(rec.starts.size(), 1u) << c.program;
    EXPECT_EQ(rec.starts[0].program, c.program);
    EXPECT_EQ(rec.starts[0].args, c.args) << c.program;
    EXPECT_EQ(rec.starts[0].workDir, "");  // the current directory
  }
  EXPECT_TRUE(prompts.messages.empty());
}

TEST(ProgramStarts, WithoutAProblemOnlyTheFreeProgramsStart) {
  RecordingStarter rec;
  ScriptedPrompts prompts;
  ShellState s;
  s.ProgramDir = "/x/PGM/";
  RecordingConsole console;
  for (auto start : {StartForeparse, StartSequist, StartUpdate}) start(s);
  StartSolver(s, "", console);
  EXPECT_TRUE(rec.starts.empty());
  EXPECT_TRUE(console.runs.empty());
  EXPECT_EQ(prompts.messages.size(), 4u);
  EXPECT_EQ(prompts.messages[0], "No problem has been chosen: choose one with File first.");

  for (auto start : {StartCasewright, StartPlotvane, StartBrackenfold}) start(s);
  ASSERT_EQ(rec.starts.size(), 3u);
  EXPECT_EQ(rec.starts[0].args, Args{});
}

TEST(ProgramStarts, MissingOrUnrunnableProgramsAreReported) {
  TempDir pgm;
  pgm.Write("Plotvane", "not a program");
  RecordingStarter rec;
  rec.succeed = false;
  ScriptedPrompts prompts;
  ShellState s = Chosen();
  s.ProgramDir = pgm.path() + "/";
  RecordingConsole console;
  StartBrackenfold(s);
  StartPlotvane(s);
  StartSolver(s, "", console);
  EXPECT_TRUE(console.runs.empty());
  EXPECT_EQ(prompts.messages,
            (Args{"Brackenfold is not installed: " + pgm.File("Brackenfold") + " was not found.",
                  "Could not start " + pgm.File("Plotvane") + ".",
                  "The solver MYPROB is not in the problem directory: compile first."}));
}

// Stand-in programs that write down where they ran and with what.
TEST(ProgramStarts, RealStartsRunDetachedInTheCurrentDirectory) {
  TempDir pgm, work;
  const char* script = "#!/bin/sh\n{ pwd; echo \"$#:$*\"; } > \"started-$(basename \"$0\")\"\n";
  for (const char* name : {"Foreparse", "Casewright"}) {
    pgm.Write(name, script);
    ::chmod(pgm.File(name).c_str(), 0755);
  }
  work.Write("MYPROB", script);
  ::chmod(work.File("MYPROB").c_str(), 0755);
  ScopedCwd cwd(work.path());
  ScriptedPrompts prompts;
  ShellState s = Chosen();
  s.ProgramDir = pgm.path() + "/";
  StartForeparse(s);
  StartUpdate(s);
  CapturingConsole console;
  StartSolver(s, "", console);
  StartPlotvane(s);  // not there
  EXPECT_EQ(prompts.messages.size(), 1u);

  // A started program's two lines: its directory and its arguments.
  auto waitFor = [&](const char* name) {
    krv::testing::WaitUntil(
        [&] { return work.Read(name).find('\n', work.Read(name).find('\n') + 1) != std::string::npos; },
        std::chrono::seconds(30), name);
    return work.Read(name);
  };
  const std::string dir = std::filesystem::canonical(work.path()).string();
  EXPECT_EQ(waitFor("started-Foreparse"), dir + "\n1:MYPROB\n");
  EXPECT_EQ(waitFor("started-Casewright"), dir + "\n2:MYPROB /u\n");
  EXPECT_EQ(waitFor("started-MYPROB"), dir + "\n0:\n");
}

// The solver runs under sh, which says how it ended; in a terminal the
// window waits for Enter, otherwise the output goes to Helmsman's window and
// to NAME.LOG.
TEST(SolverStart, TerminalAndConsoleStartsRunTheSolverScript) {
  ShellState s = Chosen();
  ConsoleRun console = SolverConsoleRun(s);
  EXPECT_EQ(console.title, "Solver MYPROB");
  EXPECT_EQ(console.logName, "MYPROB.LOG");
  const ProgramStart& logged = console.start;
  EXPECT_EQ(logged.program, "/bin/sh");
  ASSERT_EQ(logged.args.size(), 4u);
  EXPECT_EQ(logged.args[0], "-c");
  EXPECT_EQ(Args(logged.args.begin() + 2, logged.args.end()), (Args{"sh", "MYPROB"}));
  EXPECT_EQ(logged.args[1].rfind("{ \"./$1\"\n", 0), 0u) << logged.args[1];
  EXPECT_NE(logged.args[1].find("} 2>&1 | tee -p -a 'MYPROB.LOG'\n"), std::string::npos);

  ProgramStart term = SolverInTerminal(s, "/usr/bin/x-terminal-emulator");
  EXPECT_EQ(term.program, "/usr/bin/x-terminal-emulator");
  ASSERT_EQ(term.args.size(), 6u);
  EXPECT_EQ(Args(term.args.begin(), term.args.begin() + 3), (Args{"-e", "/bin/sh", "-c"}));
  EXPECT_EQ(term.args[3].rfind("\"./$1\"\n", 0), 0u) << term.args[3];
  EXPECT_NE(term.args[3].find("read -r _"), std::string::npos);
  EXPECT_EQ(logged.args[1].find("read"), std::string::npos);
  EXPECT_EQ(Args(term.args.begin() + 4, term.args.end()), (Args{"sh", "MYPROB"}));
}

TEST(SolverStart, EndLineNamesEachStatus) {
  struct Case {
    int status;
    const char* line;
  } cases[] = {
      {0, "Solver ended: status 0 (the run is complete)"},
      {1, "Solver ended: status 1 (the problem file, the time axis or a fit's data was refused: "
          "nothing was written)"},
      {2, "Solver ended: status 2 (a block was singular or did not converge (the steps written so far "
          "are kept), or a fit did not converge (its best point is written, NAME.LSQ says why))"},
      {3, "Solver ended: status 3 (the trajectory, X out or a fit's estimates could not be written)"},
      {127, "Solver ended: status 127 (the solver was not found)"},
      {137, "Solver ended: status 137 (stopped by signal 9)"},
      {9, "Solver ended: status 9 (not a status the solver gives)"},
  };
  for (const Case& c : cases) EXPECT_EQ(SolverEndLine(c.status), c.line);
}

// Stand-in solvers that print a line and end with a given status: without
// a terminal their output and the end line reach Helmsman's window and are
// appended to NAME.LOG; the terminal start hands the same script to a
// stand-in terminal, which answers the Enter it waits for.
TEST(SolverStart, RealStartsEndWithTheStatusLine) {
  TempDir work, bin;
  ScopedCwd cwd(work.path());
  ScriptedPrompts prompts;
  auto solver = [&](const std::string& name, int status) {
    work.Write(name, "#!/bin/sh\necho \"solving $0\"\necho 'a warning' >&2\nexit " +
                         std::to_string(status) + "\n");
    ::chmod(work.File(name).c_str(), 0755);
  };
  auto waitForLines = [&](const std::string& file, size_t n) {
    std::string text;
    krv::testing::WaitUntil(
        [&] {
          text = work.Has(file) ? work.Read(file) : "";
          return size_t(std::count(text.begin(), text.end(), '\n')) >= n;
        },
        std::chrono::seconds(30), std::to_string(n) + " lines in " + file);
    return text;
  };
  ShellState s = Chosen();
  CapturingConsole console;
  RecordingConsole unused;
  solver("MYPROB", 2);
  StartSolver(s, "", console);
  const std::string first = "solving ./MYPROB\na warning\n" + SolverEndLine(2) + "\n";
  ASSERT_EQ(console.outputs.size(), 1u);
  EXPECT_EQ(console.outputs[0], first);
  EXPECT_EQ(work.Read("MYPROB.LOG"), first);
  solver("MYPROB", 0);
  StartSolver(s, "", console);  // appended
  const std::string second = "solving ./MYPROB\na warning\n" + SolverEndLine(0) + "\n";
  EXPECT_EQ(console.outputs[1], second);
  EXPECT_EQ(work.Read("MYPROB.LOG"), first + second);

  // The terminal: "-e" and the command; it feeds one Enter and keeps the screen.
  bin.Write("term", "#!/bin/sh\nshift\necho | \"$@\" > TERMINAL.OUT 2>&1\n");
  ::chmod(bin.File("term").c_str(), 0755);
  solver("MYPROB", 1);
  StartSolver(s, bin.File("term"), unused);
  EXPECT_EQ(waitForLines("TERMINAL.OUT", 3),
            "solving ./MYPROB\na warning\n" + SolverEndLine(1) + ". Press Enter to close.\n");
  EXPECT_TRUE(unused.runs.empty());
  EXPECT_TRUE(prompts.messages.empty());
}
