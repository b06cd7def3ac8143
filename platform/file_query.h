// Questions about files and directories that the subsystems ask of the
// system: what kind of file a name holds, its stamp, a directory's files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace krv::platform {

// A regular file the user may run.
bool IsExecutableFile(const std::string& path);

// The first such file named `name` in the directories of PATH (/usr/bin:/bin
// when PATH is unset); "" when there is none.
std::string FindOnPath(const std::string& name);

// True for an existing file marked read-only (no write permission bit) or
// one this user may not write, as the crash-safe writer refuses it.
bool IsReadOnlyFile(const std::string& path);

// The stamp of the regular file `path` resolves to, when it can be opened
// for reading; nothing otherwise (absent, unreadable, a directory).
std::optional<uint32_t> ReadableFileDate(const std::string& path);

// The names of the regular files in `dir`, sorted.
std::vector<std::string> RegularFilesIn(const std::string& dir);

// Makes `dir` the current directory; false when it cannot be entered.
bool ChangeDirectory(const std::string& dir);

// True when both standard input and output are a terminal.
bool TalkingToTerminal();

}  // namespace krv::platform
