// The shell's one test for a file: can it be opened for reading, and its stamp.
#include "guide/file_probe.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include "platform/file_query.h"
#include "platform/file_resolver.h"

namespace krv::guide {

bool GetFileDate(const std::string& name, uint32_t& stamp) {
  std::optional<uint32_t> date = krv::platform::ReadableFileDate(name);
  if (date) stamp = *date;
  return date.has_value();
}

std::string FullName(const std::string& name) {
  if (!name.empty() && name[0] == '/') return name;
  char dir[4096];
  if (!::getcwd(dir, sizeof dir)) return name;
  return krv::platform::JoinPath(dir, name);
}

std::string SystemReason() {
  const int err = errno;
  return err ? ::strerror(err) : "the system gave no reason";
}

std::string ReadFailure(const std::string& name) {
  const int fd = ::open(krv::platform::ResolvePath(name).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return SystemReason();
  ::close(fd);
  return "it is not a regular file that can be read";
}

}  // namespace krv::guide
