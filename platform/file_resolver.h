// Case-blind resolution of file names within their directory.
#pragma once

#include <string>

namespace krv::platform {

// The part after the last '/' or '\' of a path.
std::string BaseName(const std::string& path);
// Everything before the last '/' or '\' ("" when there is none).
std::string DirName(const std::string& path);
// Joins a directory and a name with one '/'; an empty directory yields name.
std::string JoinPath(const std::string& dir, const std::string& name);

// The existing file that `path` names when its last component is compared
// case-blind (a..z only) with the entries of its directory; the exact
// spelling wins. Returns `path` unchanged when nothing matches, so the
// result can always be used to create the file with the spelling asked for.
std::string ResolvePath(const std::string& path);

// True when ResolvePath(path) names an existing regular file.
bool FileExists(const std::string& path);

// Deletes the file that `path` resolves to; false when there was none.
bool DeleteFile(const std::string& path);

// Renames `from` (resolved) to `to`. Never replaces an existing `to`
// unless `replace` is set. Returns false on failure.
bool RenameFile(const std::string& from, const std::string& to, bool replace);

// Gives the file `existing` resolves to the second name `newName` (a hard
// link). Never replaces an existing `newName`; false on failure, also
// where the file system has no hard links.
bool LinkFile(const std::string& existing, const std::string& newName);

// True when both paths name the same file on disk (device and inode).
bool SameFile(const std::string& a, const std::string& b);

}  // namespace krv::platform
