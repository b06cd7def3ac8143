// Programs started by tests, and waiting for a condition with a deadline.
//
//   krv::testing::Program p = krv::testing::StartProgram("Sequist", {"CYC"}, dir.path());
//   ASSERT_TRUE(krv::testing::WaitUntil([&] { return dir.Has("CYC.PRB"); }, 30s, "CYC.PRB"));
//   EXPECT_TRUE(p.Running());   // its window stays open
//   p.Kill();                   // or EXPECT_EQ(p.WaitForExit(10s), 0) for one that ends
//
// A program is started with fork and exec, in a process group of its own,
// with stdin from /dev/null and the test's stdout and stderr (so CTest shows
// what it printed). If the test process dies, the program is killed with it.
// While a display session (testing/x_session.h) is alive in the test, the
// program gets that session's DISPLAY and a fresh HOME of the session's;
// otherwise it gets QT_QPA_PLATFORM=offscreen and no DISPLAY.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace krv::testing {

// Changes to the environment a program inherits from the test: a value
// sets the variable, nullopt removes it.
using Environment = std::map<std::string, std::optional<std::string>>;

// A started program. Moving it moves the ownership; destroying it ends the
// program (as Kill) if it still runs.
class Program {
 public:
  Program() = default;
  ~Program();
  Program(Program&& other) noexcept;
  Program& operator=(Program&& other) noexcept;
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  pid_t pid() const { return pid_; }
  const std::string& path() const { return path_; }

  // Whether the program has not ended yet.
  bool Running();
  // Waits for the program to end: its exit status (the exit code, or 128 +
  // the signal that ended it), or nullopt if it still runs after `timeout`.
  std::optional<int> WaitForExit(std::chrono::milliseconds timeout);
  // The exit status once the program has ended, nullopt while it runs.
  std::optional<int> ExitStatus();
  // Ends the program and whatever else runs in its process group: SIGTERM,
  // then SIGKILL if it has not ended within `grace`. Returns its exit status.
  int Kill(std::chrono::milliseconds grace = std::chrono::seconds(5));

 private:
  friend Program StartProgram(const std::string&, const std::vector<std::string>&,
                              const std::string&, const Environment&);
  bool Reap(bool block);

  pid_t pid_ = -1;
  std::string path_;
  std::optional<int> status_;
};

// Starts `program` with `args` in `workDir`. A name without '/' is a
// program of this build (its bin directory: "Helmsman", "setup", ...);
// anything else is a path. Throws std::runtime_error, naming the program
// and the reason, if it cannot be started.
Program StartProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& workDir, const Environment& env = {});

// Whether process `pid` exists and has not ended (a zombie has ended): for
// tests that nothing was left running.
bool ProcessAlive(pid_t pid);

// Checks `condition` now and then every few milliseconds until it holds
// (true) or `timeout` has passed (false). On a timeout it says on stderr
// what it waited for (`what`) and, while a display session is alive, writes
// a screenshot of the screen next to the test's output and names it.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
               const std::string& what = "");

}  // namespace krv::testing
