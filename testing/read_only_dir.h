// A directory that refuses writing for real, also when the tests run as
// root (as CI does): its permission bits say so, and while the guard lives
// the test process has no capability to override them. Programs the test
// starts get the same through Unprivileged.
#pragma once

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace krv::testing {

class ReadOnlyDir {
 public:
  explicit ReadOnlyDir(std::string path) : path_(std::move(path)) {
    ::chmod(path_.c_str(), 0555);
    if (::geteuid() == 0) {
      header_.version = _LINUX_CAPABILITY_VERSION_3;
      if (::syscall(SYS_capget, &header_, saved_) != 0) return;
      __user_cap_data_struct dropped[2] = {saved_[0], saved_[1]};
      for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
        dropped[cap / 32].effective &= ~(1u << (cap % 32));
      dropped_ = ::syscall(SYS_capset, &header_, dropped) == 0;
    }
    // A file made there tells, as the programs will meet it.
    const std::string probe = path_ + "/.probe";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    works_ = fd < 0;
    if (fd >= 0) {
      ::close(fd);
      ::unlink(probe.c_str());
    }
  }
  ~ReadOnlyDir() {
    if (dropped_) ::syscall(SYS_capset, &header_, saved_);
    ::chmod(path_.c_str(), 0755);
  }
  ReadOnlyDir(const ReadOnlyDir&) = delete;
  ReadOnlyDir& operator=(const ReadOnlyDir&) = delete;

  // False where nothing could make the directory refuse this process.
  bool Works() const { return works_; }

 private:
  std::string path_;
  __user_cap_header_struct header_{};
  __user_cap_data_struct saved_[2]{};
  bool dropped_ = false;
  bool works_ = false;
};

// `program` and its arguments as started without the capabilities that
// override permission bits (through setpriv when the test runs as root).
inline std::vector<std::string> Unprivileged(const std::string& program,
                                             std::vector<std::string> args) {
  if (::geteuid() != 0) {
    args.insert(args.begin(), program);
    return args;
  }
  std::vector<std::string> all = {"/usr/bin/setpriv",
                                  "--bounding-set=-dac_override,-dac_read_search,-fowner", "--",
                                  program};
  all.insert(all.end(), args.begin(), args.end());
  return all;
}

}  // namespace krv::testing
