// Questions about files and directories that the subsystems ask of the system.
#include "platform/file_query.h"

#include <dirent.h>
#include <fcntl.h>
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
