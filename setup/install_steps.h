// The installer's steps: moving the package's files from the main directory into place.
#pragma once

#include <string>

namespace krv::setup {

// Moves `source` to `destination` whole (bytes, date and mode bits) and
// deletes the source. On failure shows "ERROR in " + source + "copy to " +
// destination and returns false; the destination is then as it was and the
// source is kept.
bool MoveInstallFile(const std::string& source, const std::string& destination);

// Makes the directory; true when it was made (an existing one is fine).
bool CreateInstallDir(const std::string& path);

// Makes main/PGM and moves the program files into it, then main/PGM/units
// and the runtime units into that, stopping at the first failure.
bool InstallProgramFiles(const std::string& mainDir);

// Makes each example work directory and moves its files into it,
// stopping at the first failure.
bool InstallExamples(const std::string& mainDir);

// The main directory of the running installer: the directory of its own
// executable, whatever its name.
std::string MainDirectory();

}  // namespace krv::setup
