// Starting the package's programs and the solver, detached, in the current directory.
#include "guide/program_starts.h"

#include "guide/compile_batch.h"
#include "guide/console_run.h"

#include "platform/file_query.h"
#include "platform/file_resolver.h"
#include "platform/process_start.h"
#include "platform/user_prompts.h"

namespace krv::guide {

namespace pf = krv::platform;

static ProgramStart Packaged(const ShellState& s, const std::string& name,
                             std::vector<std::string> args) {
  std::string path = pf::JoinPath(s.ProgramDir, name);
  return {path, std::move(args), name + " is not installed: " + path + " was not found."};
}

ProgramStart ForeparseStart(const ShellState& s) {
  return Packaged(s, "Foreparse", {s.ProblemName});
}
ProgramStart SequistStart(const ShellState& s) { return Packaged(s, "Sequist", {s.ProblemName}); }
ProgramStart CasewrightStart(const ShellState& s) { return Packaged(s, "Casewright", {}); }
ProgramStart UpdateStart(const ShellState& s) {
  return Packaged(s, "Casewright", {s.ProblemName, "/u"});
}
ProgramStart PlotvaneStart(const ShellState& s) { return Packaged(s, "Plotvane", {}); }
ProgramStart BrackenfoldStart(const ShellState& s) { return Packaged(s, "Brackenfold", {}); }
namespace {

// The solver's exit statuses (its runtime's Halt codes) and what they mean.
struct StatusMeaning {
  int status;
  const char* meaning;
};
constexpr StatusMeaning kSolverStatuses[] = {
    {0, "the run is complete"},
    {1, "the problem file, the time axis or a fit's data was refused: nothing was written"},
    {2, "a block was singular or did not converge (the steps written so far are kept), or a fit "
        "did not converge (its best point is written, NAME.LSQ says why)"},
    {3, "the trajectory, X out or a fit's estimates could not be written"},
    {4, "an internal error of the solver"},
    {126, "the solver could not be run"},
    {127, "the solver was not found"},
};
constexpr const char* kOtherStatus = "not a status the solver gives";
constexpr const char* kSignalled = "stopped by signal ";
constexpr const char* kEndPrefix = "Solver ended: status ";
constexpr const char* kEnterToClose = ". Press Enter to close.";

// The sh script that runs "./$1" and says how it ended; its meanings are
// the ones SolverStatusMeaning gives.
std::string SolverScript(bool inTerminal) {
  std::string script = "\"./$1\"\ns=$?\ncase $s in\n";
  for (const StatusMeaning& m : kSolverStatuses)
    script += std::to_string(m.status) + ") m=" + ShellQuote(m.meaning) + " ;;\n";
  script += "*) if [ \"$s\" -gt 128 ]; then m=" + ShellQuote(kSignalled) +
            "$((s - 128)); else m=" + ShellQuote(kOtherStatus) + "; fi ;;\nesac\n";
  script += "echo \"" + std::string(kEndPrefix) + "$s ($m)";
  if (inTerminal) script += std::string(kEnterToClose) + "\"\nread -r _\n";
  else script += "\"\n";
  return script;
}

}  // namespace

std::string SolverStatusMeaning(int status) {
  for (const StatusMeaning& m : kSolverStatuses)
    if (m.status == status) return m.meaning;
  if (status > 128) return kSignalled + std::to_string(status - 128);
  return kOtherStatus;
}

std::string SolverEndLine(int status) {
  return kEndPrefix + std::to_string(status) + " (" + SolverStatusMeaning(status) + ")";
}

ProgramStart SolverInTerminal(const ShellState& s, const std::string& terminal) {
  return {terminal,
          {"-e", "/bin/sh", "-c", SolverScript(true), "sh", s.ProblemName},
          "No terminal program at " + terminal + "."};
}

ConsoleRun SolverConsoleRun(const ShellState& s) {
  const std::string log = s.ProblemName + kSolverLogExtension;
  return {"Solver " + s.ProblemName, log,
          {"/bin/sh", {"-c", TeeToLog(SolverScript(false), log), "sh", s.ProblemName},
           "/bin/sh was not found."}};
}

bool Launch(const ProgramStart& start) {
  if (pf::Starter().StartDetached(start.program, start.args, "")) return true;
  if (!pf::FileExists(start.program))
    pf::Prompts().ShowMessage(start.missingText);
  else
    pf::Prompts().ShowMessage("Could not start " + start.program + ".");
  return false;
}

// The buttons that act on a problem refuse to run without one.
static bool NeedProblem(const ShellState& s) {
  if (s.HasProblem()) return true;
  pf::Prompts().ShowMessage("No problem has been chosen: choose one with File first.");
  return false;
}

void StartForeparse(const ShellState& s) {
  if (NeedProblem(s)) Launch(ForeparseStart(s));
}
void StartSequist(const ShellState& s) {
  if (NeedProblem(s)) Launch(SequistStart(s));
}
void StartCasewright(const ShellState& s) { Launch(CasewrightStart(s)); }
void StartUpdate(const ShellState& s) {
  if (NeedProblem(s)) Launch(UpdateStart(s));
}
void StartPlotvane(const ShellState& s) { Launch(PlotvaneStart(s)); }
void StartBrackenfold(const ShellState& s) { Launch(BrackenfoldStart(s)); }
void StartSolver(const ShellState& s, const std::string& terminal, ConsoleRunner& console) {
  if (!NeedProblem(s)) return;
  // The start runs a shell, which is always there: look for the solver first.
  if (!pf::IsExecutableFile(s.ProblemName)) {
    pf::Prompts().ShowMessage("The solver " + s.ProblemName +
                              " is not in the problem directory: compile first.");
    return;
  }
  if (terminal.empty())
    console.Run(SolverConsoleRun(s));
  else
    Launch(SolverInTerminal(s, terminal));
}

}  // namespace krv::guide
