// The file system calls that the platform's writers and locks make, behind
// one replaceable table, so tests can make any single call fail the way a
// full disk, a read-only directory or a signal would.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>

namespace krv::platform {

class SystemCalls {
 public:
  virtual ~SystemCalls() = default;
  virtual int MakeTemp(char* pattern, int flags);  // mkostemp
  virtual int OpenDirectory(const char* path);      // open(O_RDONLY | O_DIRECTORY)
  virtual int OpenFile(const char* path, int flags, mode_t mode);
  virtual ssize_t Write(int fd, const void* data, size_t size);
  virtual ssize_t WriteAt(int fd, const void* data, size_t size, off_t offset);  // pwrite
  virtual ssize_t ReadAt(int fd, void* data, size_t size, off_t offset);         // pread
  virtual int Truncate(int fd, off_t size);                                      // ftruncate
  virtual int Sync(int fd);  // fsync
  virtual int ChangeMode(int fd, mode_t mode);
  virtual int Close(int fd);
  virtual int Rename(const char* from, const char* to);
  virtual int Unlink(const char* path);
  virtual int LinkStat(const char* path, struct stat* st);  // lstat
  virtual ssize_t ReadLink(const char* path, char* buf, size_t size);
  virtual int Lock(int fd, int operation);  // flock
};

// The table in use: the real calls unless a test has put its own in place.
SystemCalls& Sys();

// Puts `calls` in place (nullptr restores the real calls); returns the
// table that was in place before.
SystemCalls* ReplaceSystemCalls(SystemCalls* calls);

}  // namespace krv::platform
