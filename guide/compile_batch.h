// The compile batch TMPTMP.BAT (a sh script here) and the problem's unit-path file.
#pragma once

#include <string>

#include "guide/shell_state.h"

namespace krv::guide {

struct ConsoleRun;
class ConsoleRunner;

inline constexpr const char* kBatchName = "TMPTMP.BAT";
inline constexpr const char* kBatchLogName = "TMPTMP.LOG";

// `text` quoted for sh: inside single quotes, with every ' written '\''.
std::string ShellQuote(const std::string& text);

// The program file of the problem as it is spelt on disk in the current
// directory (NAME.LPR, NAME.lpr, ...), NAME.lpr when there is none.
std::string ProgramFileOnDisk(const std::string& problemName);

// The two lines of the batch, LF-ended: the compiler on the program file,
// then Tessary, told the problem and the compiler's exit status.
std::string CompileBatchText(const ShellState& s, const std::string& programFile);

// The .pat file's one line: the program directory's units folder, CR LF.
std::string UnitPathText(const ShellState& s);

// Without a terminal, the batch's run for Helmsman's console window
// "Compile NAME", its output appended to TMPTMP.LOG as well.
ConsoleRun CompileConsoleRun(const ShellState& s);

// The "Compile" command: writes TMPTMP.BAT and NAME.pat in the current
// directory, then starts the batch with /bin/sh: detached in `terminal`
// (an x-terminal-emulator path) when one is given, otherwise through
// `console`.
void StartCompile(const ShellState& s, const std::string& terminal, ConsoleRunner& console);

// The x-terminal-emulator on the PATH, or "" when there is none.
std::string FindTerminal();

}  // namespace krv::guide
