// Whole-file byte reads and crash-safe whole-file writes.
#include "platform/byte_io.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/file_resolver.h"

namespace krv::platform {

bool ReadFileBytes(const std::string& path, std::string& out) {
  out.clear();
  int fd = ::open(ResolvePath(path).c_str(), O_RDONLY);
  if (fd < 0) return false;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    out.append(buf, size_t(n));
  }
  ::close(fd);
  return true;
}

bool WriteFileAtomic(const std::string& path, const std::string& data) {
  std::string target = ResolvePath(path);
  std::string dir = DirName(target);
  std::string tmpl = JoinPath(dir, "." + BaseName(target) + ".XXXXXX");
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0) return false;
  const char* p = data.data();
  size_t left = data.size();
  bool ok = true;
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n <= 0) {
      ok = false;
      break;
    }
    p += n;
    left -= size_t(n);
  }
  ok = ok && ::fsync(fd) == 0;
  // mkstemp makes the file 0600; give it the usual permissions.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(name.data(), target.c_str()) == 0) return true;
  ::unlink(name.data());
  return false;
}

}  // namespace krv::platform
