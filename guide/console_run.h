// Console programs (the compile batch, the solver) run without a terminal
// window: their output goes to a log file in the problem directory and, as
// it comes, to a window of Helmsman's own.
#pragma once

#include <string>
#include <string_view>

#include "guide/program_starts.h"

namespace krv::guide {

// One such run. `start` is a /bin/sh command whose standard output is the
// program's output (standard error joined to it); the command itself also
// appends that output to `logName`, so the log is whole even when nobody
// reads the output or Helmsman ends before the program does.
struct ConsoleRun {
  std::string title;    // "Compile NAME", "Solver NAME": the window's caption
  std::string logName;  // TMPTMP.LOG, NAME.LOG
  ProgramStart start;
};

// Where a run without a terminal goes. Helmsman opens a window that shows
// the output; it never waits for the program.
class ConsoleRunner {
 public:
  virtual ~ConsoleRunner() = default;
  // False when the run could not be started (the runner has said why).
  virtual bool Run(const ConsoleRun& run) = 0;
};

// `command` (an sh command line) with its output and errors appended to
// `logName` as well as written out. The log's writer keeps going when the
// reader of the output goes away.
std::string TeeToLog(const std::string& command, const std::string& logName);

// The program's output as the window shows it: bytes one character each,
// a CR LF or a lone CR one line break, also when a chunk ends between the
// two.
class ConsoleText {
 public:
  // The text to add for the next chunk of output.
  std::string Add(std::string_view bytes);

 private:
  bool afterCr_ = false;
};

}  // namespace krv::guide
