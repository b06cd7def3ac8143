// Console programs run without a terminal window: output to a log and to Helmsman's window.
#include "guide/console_run.h"

#include "guide/compile_batch.h"

namespace krv::guide {

std::string TeeToLog(const std::string& command, const std::string& logName) {
  // tee -p ignores a closed reader and goes on writing the log; the group
  // runs in a process of its own, so the shell that started it may go.
  return "{ " + command + "\n} 2>&1 | tee -p -a " + ShellQuote(logName) + "\n";
}

std::string ConsoleText::Add(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) {
    if (c == '\n') {
      if (!afterCr_) out += '\n';
      afterCr_ = false;
    } else if (c == '\r') {
      out += '\n';
      afterCr_ = true;
    } else {
      out += c;
      afterCr_ = false;
    }
  }
  return out;
}

}  // namespace krv::guide
