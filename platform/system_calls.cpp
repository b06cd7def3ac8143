// The real file system calls behind the replaceable table.
#include "platform/system_calls.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

namespace krv::platform {

int SystemCalls::MakeTemp(char* pattern, int flags) { return ::mkostemp(pattern, flags); }
int SystemCalls::OpenDirectory(const char* path) {
  return ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}
int SystemCalls::OpenFile(const char* path, int flags, mode_t mode) {
  return ::open(path, flags | O_CLOEXEC, mode);
}
ssize_t SystemCalls::Write(int fd, const void* data, size_t size) { return ::write(fd, data, size); }
ssize_t SystemCalls::WriteAt(int fd, const void* data, size_t size, off_t offset) {
  return ::pwrite(fd, data, size, offset);
}
ssize_t SystemCalls::ReadAt(int fd, void* data, size_t size, off_t offset) {
  return ::pread(fd, data, size, offset);
}
int SystemCalls::Truncate(int fd, off_t size) { return ::ftruncate(fd, size); }
int SystemCalls::Sync(int fd) { return ::fsync(fd); }
int SystemCalls::ChangeMode(int fd, mode_t mode) { return ::fchmod(fd, mode); }
int SystemCalls::Close(int fd) { return ::close(fd); }
int SystemCalls::Rename(const char* from, const char* to) { return ::rename(from, to); }
int SystemCalls::Unlink(const char* path) { return ::unlink(path); }
int SystemCalls::LinkStat(const char* path, struct stat* st) { return ::lstat(path, st); }
ssize_t SystemCalls::ReadLink(const char* path, char* buf, size_t size) {
  return ::readlink(path, buf, size);
}
int SystemCalls::Lock(int fd, int operation) { return ::flock(fd, operation); }

static SystemCalls& RealCalls() {
  static SystemCalls real;
  return real;
}

static SystemCalls* current = nullptr;

SystemCalls& Sys() { return current ? *current : RealCalls(); }

SystemCalls* ReplaceSystemCalls(SystemCalls* calls) {
  SystemCalls* before = current ? current : &RealCalls();
  current = calls;
  return before;
}

}  // namespace krv::platform
