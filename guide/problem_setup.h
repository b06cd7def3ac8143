// Choosing a problem: its name, its directory, sample sources, user unit and program file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "guide/shell_state.h"

namespace krv::guide {

struct ProblemChoice {
  // The path passed its checks: the problem is current, even when its
  // files could not be set up.
  bool accepted = false;
  // The problem is current and its files are ready: set the captions and
  // enable "Compile".
  bool ready = false;
  // The modeller asked for SOSI input: open the SOSI editor on the .SO file.
  bool openSosiEditor = false;
};

// Makes the problem at `chosenPath` current: checks its name, changes into
// its directory, supplies a missing .QTL (or .SO) from the samples in the
// program directory, parks another problem's user unit as OWNER.DSU and
// brings this problem's back (or writes a fresh one), and creates a
// missing .LPR from KRVSRC.TXT. A rejected path leaves the previous
// problem current and changes nothing. A user unit or program file that
// cannot be written (a read-only directory) is reported in one message,
// "Problem with setting up files" with each file and the reason.
ProblemChoice ChooseProblem(ShellState& state, const std::string& chosenPath);

// The user-unit steps alone, in the current directory. What could not be
// written or brought back comes back as texts naming the file and the
// system's reason; a parking conflict is shown as its own message.
std::vector<std::string> PrepareUserUnit(const std::string& problemName);

// Creates `problemName`.LPR in the current directory when there is none:
// "program NAME;" and then the lines of `programDir`/KRVSRC.TXT. When it
// cannot be written, the text naming the file and the reason.
std::optional<std::string> CreateProgramFile(const std::string& problemName,
                                             const std::string& programDir);

}  // namespace krv::guide
