// The compile batch TMPTMP.BAT (a sh script here) and the problem's unit-path file.
#include "guide/compile_batch.h"

#include <stdlib.h>

#include "guide/console_run.h"
#include "guide/program_starts.h"
#include "platform/byte_io.h"
#include "platform/file_query.h"
#include "platform/file_resolver.h"
#include "platform/user_prompts.h"

namespace krv::guide {

namespace pf = krv::platform;

std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

std::string ProgramFileOnDisk(const std::string& problemName) {
  const std::string wanted = problemName + ".lpr";
  return pf::BaseName(pf::ResolvePath(wanted));
}

std::string CompileBatchText(const ShellState& s, const std::string& programFile) {
  std::string line1 = ShellQuote(s.FpcDir + "/bin/fpc");
  for (const std::string& w : s.compileWords) line1 += " " + ShellQuote(w);
  line1 += " " + ShellQuote(programFile);
  std::string line2 = ShellQuote(pf::JoinPath(s.ProgramDir, "Tessary")) + " " +
                      ShellQuote(s.ProblemName) + " \"$?\"";
  return line1 + "\n" + line2 + "\n";
}

std::string UnitPathText(const ShellState& s) {
  return pf::JoinPath(s.ProgramDir, "units") + "\r\n";
}

ConsoleRun CompileConsoleRun(const ShellState& s) {
  return {"Compile " + s.ProblemName, kBatchLogName,
          {"/bin/sh", {"-c", TeeToLog("/bin/sh " + std::string(kBatchName), kBatchLogName)},
           "/bin/sh was not found."}};
}

void StartCompile(const ShellState& s, const std::string& terminal, ConsoleRunner& console) {
  if (!s.HasProblem()) {
    pf::Prompts().ShowMessage("No problem has been chosen: choose one with File first.");
    return;
  }
  // Both files are complete before anything runs, so the compiler never
  // meets a half-written one.
  bool written = pf::WriteFileAtomic(kBatchName,
                                     CompileBatchText(s, ProgramFileOnDisk(s.ProblemName))) &&
                 pf::WriteFileAtomic(s.ProblemName + ".pat", UnitPathText(s));
  if (!written) {
    pf::Prompts().ShowMessage("Cannot write " + std::string(kBatchName) +
                              " in the problem directory.");
    return;
  }
  if (terminal.empty())
    console.Run(CompileConsoleRun(s));
  else
    Launch({terminal, {"-e", "/bin/sh", kBatchName}, "No terminal program at " + terminal + "."});
}

std::string FindTerminal() { return pf::FindOnPath("x-terminal-emulator"); }

}  // namespace krv::guide
