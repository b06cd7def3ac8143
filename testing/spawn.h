// How the test harness starts processes; shared by program.cpp and the
// display session. Tests use testing/program.h and testing/x_session.h.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "testing/program.h"

namespace krv::testing::detail {

// The display session's part in starting programs and in timeouts, in force
// while the session is alive.
struct SessionHooks {
  Environment environment;  // applied to every program started
  std::function<std::string(const std::string& label)> screenshot;  // its path, or ""
};
void SetSessionHooks(const SessionHooks* hooks);

// The environment of this process with `changes` applied, as "NAME=value".
std::vector<std::string> ChangedEnvironment(const Environment& changes);

// `name` looked up on PATH; a name with '/' is returned as it is; "" if absent.
std::string FindOnPath(const std::string& name);

// How a process is started by Spawn.
struct SpawnRequest {
  std::string path;               // the executable
  std::vector<std::string> argv;  // argv[0] included
  std::vector<std::string> envp;  // "NAME=value"
  std::string workDir;            // "": this process's
  int outFd = -1;                 // its stdout and stderr; -1: this process's
  int errFd = -1;
  int keepFd = -1;                // a descriptor it keeps open under its own number
  bool ownGroup = false;          // in a process group of its own
};

// Forks and execs as `request` says, stdin from /dev/null. The child is killed
// when the test process dies. Returns the pid, or -1 with `error` saying why
// exec or the directory change failed.
pid_t Spawn(const SpawnRequest& request, std::string& error);

// Waits for `pid` to end, at most `timeout`; its exit status as Program
// gives it, or -1 if it still runs. The process is reaped.
int WaitForPid(pid_t pid, std::chrono::milliseconds timeout);

// Ends `pid` (and its process group when `group`): SIGTERM, SIGKILL after
// `grace`; reaps it and returns its exit status.
int EndProcess(pid_t pid, bool group, std::chrono::milliseconds grace);

// Runs a tool (argv[0] looked up on PATH) with this process's environment
// and `changes`, capturing what it writes. A tool still running after
// `timeout` is killed: status -1. A tool that cannot start: status 127.
struct ToolResult {
  int status = -1;
  std::string out;
  std::string err;
};
ToolResult RunTool(const std::vector<std::string>& argv, const Environment& changes,
                   std::chrono::milliseconds timeout);

// Checks `condition` until it holds (true) or `timeout` has passed (false),
// pausing a little longer each time (up to 25 ms); says nothing.
bool Poll(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

// The pids of programs started by StartProgram and not reaped yet.
std::vector<pid_t> LivePrograms();

}  // namespace krv::testing::detail
