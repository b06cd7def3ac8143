// Starting the package's programs and the solver, detached, in the current directory.
#pragma once

#include <string>
#include <vector>

#include "guide/shell_state.h"

namespace krv::guide {

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
ProgramStart SolverStart(const ShellState& s);        // "Start Solver"

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
void StartSolver(const ShellState& s);

}  // namespace krv::guide
