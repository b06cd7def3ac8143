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
  virtual ssize_t WriteAt(int fd, const void* data, size_t size, off_t offset);
  virtual int Sync(int fd);  // fsync
  virtual int ChangeMode(int fd, mode_t mode);
  virtual int Close(int fd);
  virtual int Rename(const char* from, const char* to);
  virtual int Unlink(const char* path);
  virtual int LinkStat(const char* path, struct stat* st);  // lstat
  virtual ssize_t ReadLink(const char* path, char* buf, size_t size);
  virtual int Lock(int fd, int operation);  // flock

  // Writes each piece at its offset, in order, handing them to the kernel
  // in one call where the system allows: Linux's native asynchronous
  // interface does buffered writes one after another inside io_submit.
  // Every piece handed over is attempted, whatever became of those before
  // it. Returns how many were handed over (the rest the caller writes
  // itself), with done[i] the bytes piece i wrote or -errno; -1, with
  // errno, when none could be (no such interface, a sandbox refusing it).
  struct WritePiece {
    const void* data;
    size_t size;
    off_t offset;
  };
  virtual long WriteInOrder(int fd, const WritePiece* pieces, size_t n, ssize_t* done);
};

// The table in use: the real calls unless a test has put its own in place.
SystemCalls& Sys();

// Puts `calls` in place (nullptr restores the real calls); returns the
// table that was in place before.
SystemCalls* ReplaceSystemCalls(SystemCalls* calls);

}  // namespace krv::platform
