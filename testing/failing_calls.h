// Puts a system call table in place that fails chosen calls, for tests of
// what a full disk, a read-only directory or a kill mid-save leaves behind.
#pragma once

#include <functional>
#include <string>

#include "platform/system_calls.h"

namespace krv::testing {

class FailingCalls : public platform::SystemCalls {
 public:
  FailingCalls();
  ~FailingCalls() override;  // puts the previous table back
  FailingCalls(const FailingCalls&) = delete;
  FailingCalls& operator=(const FailingCalls&) = delete;

  // Which calls count: "" counts every call, otherwise only the calls of
  // that name ("MakeTemp", "Write", "Sync", "Rename", ...).
  std::string only;
  // The counted call (from 0) that fails with `error`; -1 fails none.
  long failAt = -1;
  // Every counted call from failAt on fails, not just that one.
  bool keepFailing = false;
  int error = 5;  // EIO
  // Reads, writes and flushes first fail with EINTR once each, as a signal
  // would.
  bool interrupt = false;
  // Writes take at most this many bytes at a time (0: no limit).
  size_t shortWrites = 0;
  // Called before each call with its name, before it can fail.
  std::function<void(const char*)> before;

  long counted() const { return counted_; }  // calls counted so far
  bool failed() const { return failed_; }    // some call was made to fail

  int MakeTemp(char* pattern, int flags) override;
  int OpenDirectory(const char* path) override;
  int OpenFile(const char* path, int flags, mode_t mode) override;
  ssize_t Write(int fd, const void* data, size_t size) override;
  ssize_t WriteAt(int fd, const void* data, size_t size, off_t offset) override;
  ssize_t ReadAt(int fd, void* data, size_t size, off_t offset) override;
  int Truncate(int fd, off_t size) override;
  int Sync(int fd) override;
  int ChangeMode(int fd, mode_t mode) override;
  int Close(int fd) override;
  int Rename(const char* from, const char* to) override;
  int Unlink(const char* path) override;
  int LinkStat(const char* path, struct stat* st) override;
  ssize_t ReadLink(const char* path, char* buf, size_t size) override;
  int Lock(int fd, int operation) override;

 private:
  bool Fails(const char* name);  // sets errno when the call is to fail
  bool Interrupts();

  platform::SystemCalls* previous_;
  long counted_ = 0;
  bool failed_ = false;
  bool interrupted_ = false;
};

}  // namespace krv::testing
