// Moving whole files (bytes, date and mode), making directories, the running program's directory.
#pragma once

#include <string>

namespace krv::platform {

// Moves `from` (resolved case-blind) to `to`, replacing a file there. On
// one file system this is a rename. Across file systems the bytes are
// copied to a temporary name beside `to`, with the source's modification
// time and mode bits, synced and renamed into place; only then is the
// source deleted. On failure `to` is as it was (never half written), the
// source is kept, and `reason` (when given) gets the system's reason.
bool MoveFileWhole(const std::string& from, const std::string& to, std::string* reason = nullptr);

// Makes the directory `path` (mode 0777 less the umask). True when it was
// made; false when it already existed or could not be made.
bool MakeDirectory(const std::string& path);

// Sets the permission bits of `path`; false on failure.
bool SetFileMode(const std::string& path, unsigned mode);

// The directory that holds the running executable, without a trailing '/'.
// Empty when the system cannot say.
std::string ExecutableDir();

}  // namespace krv::platform
