// Helmsman.TXT: the Free Pascal base directory and the compiler options.
#pragma once

#include <string>
#include <string_view>

#include "guide/shell_state.h"

namespace krv::guide {

inline constexpr const char* kConfigFileName = "Helmsman.TXT";

// The main directory above a program directory ("/x/PGM/" gives "/x/").
std::string MainDirOf(const std::string& programDir);

// Every '#' of `line` replaced by `fpcDir`, left to right; the inserted
// text is not scanned again and at most 1000 characters after each '#' stay.
std::string ReplaceHashes(std::string_view line, std::string_view fpcDir);

// Sets FpcDir, CompileOptions and compileWords from the configuration
// text; missing lines count as empty. state.MainDir must be set.
void ApplyConfiguration(std::string_view text, ShellState& state);

// Derives MainDir from state.ProgramDir and reads ProgramDir + Helmsman.TXT
// (a missing file reads as empty, without a message).
void ReadConfiguration(ShellState& state);

}  // namespace krv::guide
