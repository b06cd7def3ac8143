// A system call table that fails chosen calls.
#include "testing/failing_calls.h"

#include <cerrno>

namespace krv::testing {

FailingCalls::FailingCalls() : previous_(platform::ReplaceSystemCalls(this)) {}

FailingCalls::~FailingCalls() { platform::ReplaceSystemCalls(previous_); }

bool FailingCalls::Fails(const char* name) {
  if (before) before(name);
  if (!only.empty() && only != name) return false;
  long n = counted_++;
  if (failAt < 0 || n < failAt || (n > failAt && !keepFailing)) return false;
  failed_ = true;
  errno = error;
  return true;
}

bool FailingCalls::Interrupts() {
  if (!interrupt || interrupted_) {
    interrupted_ = false;
    return false;
  }
  interrupted_ = true;
  errno = EINTR;
  return true;
}

int FailingCalls::MakeTemp(char* pattern, int flags) {
  return Fails("MakeTemp") ? -1 : SystemCalls::MakeTemp(pattern, flags);
}
int FailingCalls::OpenDirectory(const char* path) {
  return Fails("OpenDirectory") ? -1 : SystemCalls::OpenDirectory(path);
}
int FailingCalls::OpenFile(const char* path, int flags, mode_t mode) {
  return Fails("OpenFile") ? -1 : SystemCalls::OpenFile(path, flags, mode);
}
ssize_t FailingCalls::Write(int fd, const void* data, size_t size) {
  if (Interrupts()) return -1;
  if (Fails("Write")) return -1;
  if (shortWrites && size > shortWrites) size = shortWrites;
  return SystemCalls::Write(fd, data, size);
}
ssize_t FailingCalls::WriteAt(int fd, const void* data, size_t size, off_t offset) {
  if (Interrupts()) return -1;
  if (Fails("WriteAt")) return -1;
  if (shortWrites && size > shortWrites) size = shortWrites;
  return SystemCalls::WriteAt(fd, data, size, offset);
}
ssize_t FailingCalls::ReadAt(int fd, void* data, size_t size, off_t offset) {
  if (Interrupts()) return -1;
  return Fails("ReadAt") ? -1 : SystemCalls::ReadAt(fd, data, size, offset);
}
int FailingCalls::Truncate(int fd, off_t size) {
  return Fails("Truncate") ? -1 : SystemCalls::Truncate(fd, size);
}
int FailingCalls::Sync(int fd) {
  if (Interrupts()) return -1;
  return Fails("Sync") ? -1 : SystemCalls::Sync(fd);
}
int FailingCalls::ChangeMode(int fd, mode_t mode) {
  return Fails("ChangeMode") ? -1 : SystemCalls::ChangeMode(fd, mode);
}
int FailingCalls::Close(int fd) {
  // The descriptor is released even when close reports a failure.
  bool fail = Fails("Close");
  int r = SystemCalls::Close(fd);
  if (fail) errno = error;
  return fail ? -1 : r;
}
int FailingCalls::Rename(const char* from, const char* to) {
  return Fails("Rename") ? -1 : SystemCalls::Rename(from, to);
}
int FailingCalls::Unlink(const char* path) {
  return Fails("Unlink") ? -1 : SystemCalls::Unlink(path);
}
int FailingCalls::LinkStat(const char* path, struct stat* st) {
  return Fails("LinkStat") ? -1 : SystemCalls::LinkStat(path, st);
}
ssize_t FailingCalls::ReadLink(const char* path, char* buf, size_t size) {
  return Fails("ReadLink") ? -1 : SystemCalls::ReadLink(path, buf, size);
}
int FailingCalls::Lock(int fd, int operation) {
  return Fails("Lock") ? -1 : SystemCalls::Lock(fd, operation);
}

}  // namespace krv::testing
