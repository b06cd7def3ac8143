// End to end: the Foreparse program in batch mode, offscreen, in a
// temporary directory. Its window stays open, so the test waits for the
// output files and then ends the program.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "testing/temp_dir.h"

namespace {

// Starts the program in `dir`; returns its process id.
pid_t Start(const std::string& dir, const std::vector<std::string>& args) {
  std::string exe = std::string(KRV_BIN_DIR) + "/Foreparse";
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(127);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

// Waits until `done` holds, at most 30 seconds.
template <class F>
bool WaitFor(F done) {
  for (int i = 0; i < 300; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

void Stop(pid_t pid) {
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
}

TEST(ForeparseProgram, BatchRunWritesEveryOutputAndKeepsRunning) {
  krv::testing::TempDir dir;
  dir.Write("TANKS.QTL",
            "{ two tanks }\r\nXVTYPE\r\n  TANK = RECORD LEVEL, FLOW: XVR END;\r\n"
            "XPROC OUT(VARIN T: TANK; VAROT F: XVR);\r\nBEGIN\r\n  F := T.LEVEL;\r\nEND;\r\n"
            "MPROC SYSTEM;\r\nVAR T: TANK; F: XVR;\r\nBEGIN\r\n  OUT(T, F);\r\nEND;\r\n");
  pid_t pid = Start(dir.path(), {"TANKS", "/E"});
  ASSERT_GT(pid, 0);
  // The map is the last output; it ends with the byte 26.
  bool written = WaitFor([&] {
    if (!dir.Has("TANKS.VNM")) return false;
    std::string m = dir.Read("TANKS.VNM");
    return !m.empty() && m.back() == '\x1a';
  });
  EXPECT_TRUE(written);
  EXPECT_TRUE(WaitFor([&] { return dir.Has("DMPTABLE.txt"); }));
  // The window stays open after the batch run.
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0);
  Stop(pid);
  std::string gty = dir.Read("TANKS.GTY");
  EXPECT_EQ(gty.substr(0, 45), "  TANK=RECORD\r\n     LEVEL,FLOW:XVR;\r\n  END;\r\n");
  EXPECT_NE(gty.find(" TANKS';\r\n\x1a"), std::string::npos);
  EXPECT_TRUE(dir.Has("TMPQTL.TMP"));
  EXPECT_NE(dir.Read("TANKS.PSY").find("PROCEDURE SYSTEMMC(VAR _X:_SYSTEM);"), std::string::npos);
  std::string map = dir.Read("TANKS.VNM");
  EXPECT_NE(map.find("\r\n   0 I*  _X.T.LEVEL\r\n   1 I*  _X.T.FLOW\r\n   2 *O  _X.F\r\n     #\r\n"
                     "    2    0 0 0\r\n    2    1 0 0\r\n\x1a"),
            std::string::npos)
      << map;
}

}  // namespace
