// Program starts: detached ones (no shell, one argument per word, never
// waited for), and a shell command waited for, for the build's tools.
#pragma once

#include <string>
#include <vector>

namespace krv::platform {

class ProcessStarter {
 public:
  virtual ~ProcessStarter() = default;
  // Starts `program` with `args` in `workDir` ("" = the current directory).
  // False when it could not be started (for instance, it is not there).
  virtual bool StartDetached(const std::string& program, const std::vector<std::string>& args,
                             const std::string& workDir) = 0;
};

// The starter in force; never null (the default is a fork/exec starter).
ProcessStarter& Starter();
void SetStarter(ProcessStarter* starter);

// Runs `command` through /bin/sh and waits: its exit status, 128 when it
// did not exit (a signal ended it) or could not be started.
int RunShellCommand(const std::string& command);

// Records every start instead of running anything; for tests.
class RecordingStarter : public ProcessStarter {
 public:
  struct Start {
    std::string program;
    std::vector<std::string> args;
    std::string workDir;
  };
  RecordingStarter() { SetStarter(this); }
  ~RecordingStarter() override { SetStarter(nullptr); }
  bool StartDetached(const std::string& program, const std::vector<std::string>& args,
                     const std::string& workDir) override {
    starts.push_back({program, args, workDir});
    return succeed;
  }
  std::vector<Start> starts;
  bool succeed = true;
};

}  // namespace krv::platform
