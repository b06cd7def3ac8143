// Case-blind resolution of file names within their directory.
#include "platform/file_resolver.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/text.h"

namespace krv::platform {

static size_t LastSeparator(const std::string& path) {
  return path.find_last_of("/\\");
}

std::string BaseName(const std::string& path) {
  size_t p = LastSeparator(path);
  return p == std::string::npos ? path : path.substr(p + 1);
}

std::string DirName(const std::string& path) {
  size_t p = LastSeparator(path);
  return p == std::string::npos ? std::string() : path.substr(0, p);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

static bool IsRegular(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string ResolvePath(const std::string& path) {
  if (path.empty()) return path;
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) return path;

  size_t sep = LastSeparator(path);
  std::string dir = sep == std::string::npos ? "." : path.substr(0, sep);
  if (dir.empty()) dir = "/";
  std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
  if (name.empty()) return path;

  DIR* d = ::opendir(dir.c_str());
  if (!d) return path;
  std::string found;
  while (struct dirent* e = ::readdir(d)) {
    if (EqualsCaseBlind(e->d_name, name)) {
      found = e->d_name;
      break;
    }
  }
  ::closedir(d);
  if (found.empty()) return path;
  return sep == std::string::npos ? found : path.substr(0, sep + 1) + found;
}

bool FileExists(const std::string& path) { return IsRegular(ResolvePath(path)); }

bool DeleteFile(const std::string& path) {
  std::string real = ResolvePath(path);
  return IsRegular(real) && ::unlink(real.c_str()) == 0;
}

bool RenameFile(const std::string& from, const std::string& to, bool replace) {
  std::string src = ResolvePath(from);
  std::string dst = replace ? ResolvePath(to) : to;
  if (!replace) {
    // link() fails when the target exists, so nothing is ever replaced.
    if (FileExists(to)) return false;
    if (::link(src.c_str(), dst.c_str()) == 0) return ::unlink(src.c_str()) == 0;
    return false;
  }
  return ::rename(src.c_str(), dst.c_str()) == 0;
}

bool LinkFile(const std::string& existing, const std::string& newName) {
  return ::link(ResolvePath(existing).c_str(), newName.c_str()) == 0;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  if (::stat(ResolvePath(a).c_str(), &sa) != 0) return false;
  if (::stat(ResolvePath(b).c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace krv::platform
