// An advisory lock that one run of a program holds for its whole run, so a
// second run that would share its files stops before touching any of them.
#pragma once

#include <string>

namespace krv::platform {

class RunLock {
 public:
  RunLock() = default;
  ~RunLock();  // releases the lock
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

  // Takes the lock held through the file `path` without waiting: false
  // when another run holds it (Busy()) or the lock file cannot be made
  // (Error() names it and the reason). The lock file is removed again on
  // release; a run that dies loses its lock with it.
  bool TryLock(const std::string& path);
  void Release();

  bool Held() const { return fd_ >= 0; }
  bool Busy() const { return busy_; }
  const std::string& Error() const { return error_; }

 private:
  std::string path_, error_;
  int fd_ = -1;
  bool busy_ = false;
};

}  // namespace krv::platform
