// End to end: the Sequist program in batch mode, offscreen, in a temporary
// directory. Its window stays open, so the test waits for the problem file
// and then ends the program.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "sequencer/prb_format.h"
#include "testing/temp_dir.h"

namespace {

pid_t StartSequist(const std::string& dir, const std::string& arg) {
  std::string exe = std::string(KRV_BIN_DIR) + "/Sequist";
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(127);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    execl(exe.c_str(), exe.c_str(), arg.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

TEST(SequistProgram, BatchRunWritesTheProblemAndKeepsRunning) {
  krv::testing::TempDir dir;
  dir.Write("cyc.vnm",
            "CYC\r\n   0 IO  _X.X\r\n   1 IO  _X.Y\r\n   2 IO  _X.Z\r\n     #\r\n"
            "    0    1 0 0\r\n    1    2 0 0\r\n    2    0 0 1\r\n\x1a");
  pid_t pid = StartSequist(dir.path(), "CYC");
  ASSERT_GT(pid, 0);
  bool written = false;
  for (int i = 0; i < 300 && !written; ++i) {
    written = dir.Has("CYC.PRB");
    if (!written) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(written);
  // The window stays open after the batch run.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0);
  kill(pid, SIGTERM);
  waitpid(pid, &status, 0);

  krv::seq::PrbProblem p;
  auto r = krv::seq::ReadPrb(dir.Read("CYC.PRB"), p);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(p.header, "*CYC#0000");
  EXPECT_EQ(p.ordering.rowNames, (std::vector<uint16_t>{2, 1, 0}));
  EXPECT_EQ(p.ordering.nonzeros.size(), 6u);
}

}  // namespace
