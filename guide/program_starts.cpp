// Starting the package's programs and the solver, detached, in the current directory.
#include "guide/program_starts.h"

#include "platform/file_resolver.h"
#include "platform/process_start.h"
#include "platform/user_prompts.h"

namespace krv::guide {

namespace pf = krv::platform;

static ProgramStart Packaged(const ShellState& s, const std::string& name,
                             std::vector<std::string> args) {
  std::string path = pf::JoinPath(s.programDir, name);
  return {path, std::move(args), name + " is not installed: " + path + " was not found."};
}

ProgramStart ForeparseStart(const ShellState& s) {
  return Packaged(s, "Foreparse", {s.problemName});
}
ProgramStart SequistStart(const ShellState& s) { return Packaged(s, "Sequist", {s.problemName}); }
ProgramStart CasewrightStart(const ShellState& s) { return Packaged(s, "Casewright", {}); }
ProgramStart UpdateStart(const ShellState& s) {
  return Packaged(s, "Casewright", {s.problemName, "/u"});
}
ProgramStart PlotvaneStart(const ShellState& s) { return Packaged(s, "Plotvane", {}); }
ProgramStart BrackenfoldStart(const ShellState& s) { return Packaged(s, "Brackenfold", {}); }
ProgramStart SolverStart(const ShellState& s) {
  return {"./" + s.problemName, {},
          "The solver " + s.problemName + " is not in the problem directory: compile first."};
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
void StartSolver(const ShellState& s) {
  if (NeedProblem(s)) Launch(SolverStart(s));
}

}  // namespace krv::guide
