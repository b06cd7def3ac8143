// Questions about files and directories that the subsystems ask of the system.
#include "platform/file_query.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/file_resolver.h"
#include "platform/file_stamp.h"

namespace krv::platform {

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::string FindOnPath(const std::string& name) {
  const char* path = ::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (!dir.empty()) {
      std::string candidate = JoinPath(dir, name);
      if (IsExecutableFile(candidate)) return candidate;
    }
    start = end + 1;
  }
  return "";
}

bool IsReadOnlyFile(const std::string& path) {
  const std::string real = ResolvePath(path);
  struct stat st;
  if (::stat(real.c_str(), &st) != 0) return false;
  return (st.st_mode & 0222) == 0 || ::access(real.c_str(), W_OK) != 0;
}

std::optional<uint32_t> ReadableFileDate(const std::string& path) {
  int fd = ::open(ResolvePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  if (!ok) return std::nullopt;
  return PackLocalTime(st.st_mtime);
}

std::vector<std::string> RegularFilesIn(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return names;
  while (struct dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    struct stat st;
    if (::stat(JoinPath(dir, name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(name);
  }
  ::closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

bool ChangeDirectory(const std::string& dir) { return ::chdir(dir.c_str()) == 0; }

bool TalkingToTerminal() { return ::isatty(0) && ::isatty(1); }

}  // namespace krv::platform
