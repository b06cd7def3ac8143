// Helmsman.TXT as the installer writes it: the Free Pascal base directory and options.txt.
#pragma once

#include <string>

namespace krv::setup {

// The chosen directory written when the user cancels the Free Pascal question.
inline constexpr const char* kNoFpcDir = "xxxxxxxxxx";

// The compiler below a Free Pascal base directory: base + "/bin/fpc".
std::string FpcCompilerPath(const std::string& baseDir);

// True when the compiler below `baseDir` is an executable file.
bool FpcFound(const std::string& baseDir);

// The three CR LF lines: `chosenDir`, then lines 1 and 2 of options.txt
// (missing lines are empty).
std::string FpcPathFileText(const std::string& chosenDir, const std::string& optionsText);

// Writes mainDir/PGM/Helmsman.TXT from `chosenDir` and mainDir/options.txt.
// When options.txt cannot be read, the chosen directory is empty or the
// file cannot be written, shows "Trouble creating Helmsman.txt", leaves
// any earlier file as it was and returns false.
bool WriteFpcPathFile(const std::string& mainDir, const std::string& chosenDir);

}  // namespace krv::setup
