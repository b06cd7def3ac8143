// The shell's one test for a file: can it be opened for reading, and its stamp.
#include "guide/file_probe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_resolver.h"
#include "platform/file_stamp.h"

namespace krv::guide {

bool GetFileDate(const std::string& name, uint32_t& stamp) {
  int fd = ::open(krv::platform::ResolvePath(name).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  if (ok) stamp = krv::platform::PackLocalTime(st.st_mtime);
  return ok;
}

}  // namespace krv::guide
