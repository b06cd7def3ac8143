// Programs started by tests: exit status, working directory, environment,
// ending a program with what it started, and waits with a deadline.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <string>

#include "testing/program.h"
#include "testing/temp_dir.h"

using namespace std::chrono_literals;
using krv::testing::Program;
using krv::testing::ProcessAlive;
using krv::testing::StartProgram;
using krv::testing::TempDir;
using krv::testing::WaitUntil;

TEST(StartProgram, RunsInItsDirectoryWithTheChangedEnvironmentAndGivesItsExitStatus) {
  TempDir dir;
  ::setenv("KRV_GONE", "inherited", 1);
  ::setenv("KRV_KEPT", "inherited", 1);
  Program p = StartProgram(
      "/bin/sh",
      {"-c",
       "pwd > out; echo \"$KRV_SET|${KRV_GONE-unset}|$KRV_KEPT|$QT_QPA_PLATFORM|${DISPLAY-none}\" "
       ">> out; exit 3"},
      dir.path(), {{"KRV_SET", "set"}, {"KRV_GONE", std::nullopt}});
  EXPECT_EQ(p.WaitForExit(20s), 3);
  EXPECT_FALSE(p.Running());
  EXPECT_EQ(p.ExitStatus(), 3);
  // Without a display session a program runs offscreen.
  EXPECT_EQ(dir.Read("out"), dir.path() + "\nset|unset|inherited|offscreen|none\n");
  ::unsetenv("KRV_GONE");
  ::unsetenv("KRV_KEPT");
}

TEST(StartProgram, KillEndsTheProgramAndWhatItStartedInItsGroup) {
  TempDir dir;
  Program p = StartProgram("/bin/sh", {"-c", "sleep 60 & echo $! > child; wait"}, dir.path());
  ASSERT_TRUE(WaitUntil([&] { return dir.Read("child").find('\n') != std::string::npos; }, 20s,
                        "the child's pid"));
  const long child = std::stol(dir.Read("child"));
  EXPECT_TRUE(p.Running());
  EXPECT_EQ(p.WaitForExit(50ms), std::nullopt);
  EXPECT_EQ(p.Kill(), 128 + 15);  // SIGTERM
  EXPECT_TRUE(WaitUntil([&] { return !ProcessAlive(child); }, 20s, "the child's end"));
  EXPECT_EQ(p.Kill(), 128 + 15);  // once ended, it stays ended
}

TEST(StartProgram, AProgramThatCannotStartIsNamedWithTheReason) {
  TempDir dir;
  try {
    StartProgram(dir.File("absent"), {}, dir.path());
    FAIL() << "started";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(dir.File("absent") + ": No such file or directory"),
              std::string::npos)
        << e.what();
  }
  try {
    StartProgram("/bin/true", {}, dir.File("nowhere"));
    FAIL() << "started";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("cannot enter " + dir.File("nowhere")), std::string::npos)
        << e.what();
  }
}

TEST(WaitUntil, ReturnsOnceTheConditionHoldsAndGivesUpAtTheDeadline) {
  int calls = 0;
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(WaitUntil([&] { return ++calls == 5; }, 20s));
  EXPECT_EQ(calls, 5);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);

  start = std::chrono::steady_clock::now();
  EXPECT_FALSE(WaitUntil([] { return false; }, 300ms, "nothing"));
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 300ms);
  EXPECT_LT(took, 2s);
}
