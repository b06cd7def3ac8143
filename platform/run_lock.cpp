// An advisory lock held through a lock file with flock.
#include "platform/run_lock.h"

#include <fcntl.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/system_calls.h"

namespace krv::platform {

RunLock::~RunLock() { Release(); }

bool RunLock::TryLock(const std::string& path) {
  Release();
  path_ = path;
  error_.clear();
  busy_ = false;
  SystemCalls& sys = Sys();
  for (int attempt = 0; attempt < 100; ++attempt) {
    int fd = sys.OpenFile(path.c_str(), O_RDWR | O_CREAT, 0666);
    if (fd < 0) break;
    if (sys.Lock(fd, LOCK_EX | LOCK_NB) != 0) {
      int err = errno;
      sys.Close(fd);
      if (err == EWOULDBLOCK) {
        busy_ = true;
        return false;
      }
      errno = err;
      break;
    }
    // The holder before us removes the file as it lets go: a lock taken on
    // a file no longer under that name guards nothing, so try again.
    struct stat held, named;
    if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino) {
      fd_ = fd;
      return true;
    }
    sys.Close(fd);
  }
  char buf[256];
  error_ = "Cannot lock " + path + ": " + ::strerror_r(errno, buf, sizeof buf);
  return false;
}

void RunLock::Release() {
  if (fd_ < 0) return;
  // Removed while still locked, so no one can lock this file after us.
  Sys().Unlink(path_.c_str());
  Sys().Close(fd_);
  fd_ = -1;
}

}  // namespace krv::platform
