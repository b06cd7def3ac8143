// Tests of the program starts: exact argument lists, missing programs, real detached starts.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "guide/program_starts.h"
#include "platform/process_start.h"
#include "platform/user_prompts.h"
#include "testing/temp_dir.h"

using namespace krv::guide;
using krv::platform::RecordingStarter;
using krv::platform::ScriptedPrompts;
using krv::testing::ScopedCwd;
using krv::testing::TempDir;
using Args = std::vector<std::string>;

namespace {
ShellState Chosen() {
  ShellState s;
  s.programDir = "/x/PGM/";
  s.problemName = "MYPROB";
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
      {StartSolver, "./MYPROB", {}},
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
  s.programDir = "/x/PGM/";
  for (auto start : {StartForeparse, StartSequist, StartUpdate, StartSolver}) start(s);
  EXPECT_TRUE(rec.starts.empty());
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
  s.programDir = pgm.path() + "/";
  StartBrackenfold(s);
  StartPlotvane(s);
  StartSolver(s);
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
  s.programDir = pgm.path() + "/";
  StartForeparse(s);
  StartUpdate(s);
  StartSolver(s);
  StartPlotvane(s);  // not there
  EXPECT_EQ(prompts.messages.size(), 1u);

  auto waitFor = [&](const char* name) {
    for (int i = 0; i < 500 && work.Read(name).find('\n', work.Read(name).find('\n') + 1) ==
                                   std::string::npos;
         ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return work.Read(name);
  };
  const std::string dir = std::filesystem::canonical(work.path()).string();
  EXPECT_EQ(waitFor("started-Foreparse"), dir + "\n1:MYPROB\n");
  EXPECT_EQ(waitFor("started-Casewright"), dir + "\n2:MYPROB /u\n");
  EXPECT_EQ(waitFor("started-MYPROB"), dir + "\n0:\n");
}
