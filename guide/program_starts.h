// Starting the package's programs and the solver, detached, in the current directory.
#pragma once

#include <string>
#include <vector>

#include "guide/shell_state.h"

namespace krv::guide {

struct ConsoleRun;
class ConsoleRunner;

// One program start: what runs, with which arguments, and what to say
// when the program is not there.
struct ProgramStart {
  std::string program;
  std::vector<std::string> args;
  std::string missingText;
};

ProgramStart ForeparseStart(const ShellState& s);     // "Preprocess"
ProgramStart SequistStart(const ShellState& s);       // "Sequence"
ProgramStart CasewrightStart(const ShellState& s);    // "Start Casewright"
ProgramStart UpdateStart(const ShellState& s);        // "Update"
ProgramStart PlotvaneStart(const ShellState& s);      // "Start Plotvane"
ProgramStart BrackenfoldStart(const ShellState& s);   // "Brackenfold"

// "Start Solver": ./NAME in the problem directory, run by /bin/sh so that
// its exit status can be told; the last line of its output is
// SolverEndLine. In `terminal` (an x-terminal-emulator path) the window
// stays until Enter.
ProgramStart SolverInTerminal(const ShellState& s, const std::string& terminal);

// What a solver's exit status means, as its last line says it.
std::string SolverStatusMeaning(int status);
// "Solver ended: status N (meaning)".
std::string SolverEndLine(int status);
inline constexpr const char* kSolverLogExtension = ".LOG";

// Starts it through the platform starter in the current directory, never
// waiting. A program that is not there, or cannot be run, is reported.
bool Launch(const ProgramStart& start);

// The buttons' commands: each checks what it needs and launches.
void StartForeparse(const ShellState& s);
void StartSequist(const ShellState& s);
void StartCasewright(const ShellState& s);
void StartUpdate(const ShellState& s);
void StartPlotvane(const ShellState& s);
void StartBrackenfold(const ShellState& s);
// Without a terminal, the solver's run for Helmsman's console window
// "Solver NAME", its output appended to NAME.LOG as well.
ConsoleRun SolverConsoleRun(const ShellState& s);
// A solver that is not in the problem directory is reported, not started.
// In `terminal` when one is given, otherwise through `console`.
void StartSolver(const ShellState& s, const std::string& terminal, ConsoleRunner& console);

}  // namespace krv::guide
