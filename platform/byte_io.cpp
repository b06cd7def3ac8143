// Whole-file byte reads and crash-safe whole-file writes.
#include "platform/byte_io.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/atomic_file.h"
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

bool WriteFileAtomic(const std::string& path, const std::string& data, std::string* error) {
  AtomicFile out;
  bool ok = out.Open(path) && out.Write(data) && out.Commit();
  if (!ok && error) *error = out.Error();
  return ok;
}

}  // namespace krv::platform
