// A console runner for tests without windows: runs each console run to its
// end right away and keeps what it wrote out, as Helmsman's window would
// show it.
#pragma once

#include <stdio.h>

#include <string>
#include <vector>

#include "guide/compile_batch.h"
#include "guide/console_run.h"

namespace krv::guide::testing {

class CapturingConsole : public ConsoleRunner {
 public:
  bool Run(const ConsoleRun& run) override {
    runs.push_back(run);
    std::string command = ShellQuote(run.start.program);
    for (const std::string& a : run.start.args) command += " " + ShellQuote(a);
    command += " </dev/null";
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
      char buf[4096];
      size_t n;
      while ((n = ::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
      ::pclose(p);
    }
    outputs.push_back(out);
    return true;
  }
  std::vector<ConsoleRun> runs;
  std::vector<std::string> outputs;
};

// Records the runs without starting anything.
class RecordingConsole : public ConsoleRunner {
 public:
  bool Run(const ConsoleRun& run) override {
    runs.push_back(run);
    return true;
  }
  std::vector<ConsoleRun> runs;
};

}  // namespace krv::guide::testing
