// A file of fixed-size records read and written in place.
#include "platform/block_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace krv::platform {

BlockFile::~BlockFile() { Close(); }

bool BlockFile::Fail() const {
  error_ = std::strerror(errno);
  return false;
}

bool BlockFile::Open(const std::string& path, Mode mode) {
  Close();
  int flags = (mode == Mode::ReadOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC;
  int fd = ::open(path.c_str(), flags);
  if (fd < 0) return Fail();
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    Fail();
    ::close(fd);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    error_ = "not a regular file";
    return false;
  }
  fd_ = fd;
  mode_ = mode;
  path_ = path;
  error_.clear();
  return true;
}

bool BlockFile::Reopen() {
  if (fd_ < 0) return false;
  std::string path = path_;
  struct stat held, named;
  if (::fstat(fd_, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
      held.st_ino == named.st_ino)
    return true;
  Mode mode = mode_;
  Close();
  return Open(path, mode);
}

void BlockFile::Close() {
  if (fd_ >= 0) ::close(fd_);  // also drops any lock
  fd_ = -1;
  path_.clear();
}

int64_t BlockFile::BlockCount() const {
  struct stat st;
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return 0;
  return int64_t(st.st_size) / int64_t(blockSize_);
}

bool BlockFile::GetStamp(Stamp& out) const {
  struct stat st;
  if (fd_ < 0) {
    error_ = "not open";
    return false;
  }
  if (::fstat(fd_, &st) != 0) return Fail();
  out.dev = uint64_t(st.st_dev);
  out.ino = uint64_t(st.st_ino);
  out.size = int64_t(st.st_size);
  out.mtimeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  out.ctimeNs = int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  return true;
}

bool BlockFile::ReadBlocks(int64_t first, int64_t count, uint8_t* out) const {
  if (fd_ < 0 || first < 0 || count < 0) return false;
  // Block numbers come from file contents; keep the byte offset in range.
  int64_t size = int64_t(blockSize_);
  if (first > (INT64_MAX / size) - count) return false;
  size_t want = size_t(count) * blockSize_;
  off_t off = off_t(first * size);
  size_t got = 0;
  while (got < want) {
    ssize_t n = ::pread(fd_, out + got, want - got, off + off_t(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail();
    if (n == 0) {
      error_ = "unexpected end of file";
      return false;
    }
    got += size_t(n);
  }
  return true;
}

bool BlockFile::WriteBlocks(int64_t first, int64_t count, const uint8_t* data) {
  if (fd_ < 0 || first < 0 || count < 0) return false;
  int64_t size = int64_t(blockSize_);
  if (first > (INT64_MAX / size) - count) return false;
  size_t want = size_t(count) * blockSize_;
  off_t off = off_t(first * size);
  size_t done = 0;
  while (done < want) {
    ssize_t n = ::pwrite(fd_, data + done, want - done, off + off_t(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Fail();
    done += size_t(n);
  }
  return true;
}

bool BlockFile::Lock() {
  if (fd_ < 0) return false;
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) return Fail();
  }
  return true;
}

void BlockFile::Unlock() {
  if (fd_ >= 0) ::flock(fd_, LOCK_UN);
}

}  // namespace krv::platform
