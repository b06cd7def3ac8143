// A file of fixed-size records read and written in place.
#include "platform/block_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/system_calls.h"

namespace krv::platform {

BlockFile::~BlockFile() { Close(); }

bool BlockFile::Fail() const {
  error_ = std::strerror(errno);
  return false;
}

bool BlockFile::Open(const std::string& path, Mode mode) {
  Close();
  int flags = (mode == Mode::ReadOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC;
  // A file this program changes gets a new modification time from each
  // change; a read need not also dirty its inode for the access time.
  // Only the file's owner may ask for that: anyone else opens it plainly.
  int fd = mode == Mode::ReadWrite ? ::open(path.c_str(), flags | O_NOATIME) : -1;
  if (fd < 0) fd = ::open(path.c_str(), flags);
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

bool BlockFile::Place(int64_t first, int64_t count, off_t& offset, size_t& bytes) const {
  if (fd_ < 0 || first < 0 || count < 0) return false;
  int64_t size = int64_t(blockSize_);
  if (first > (INT64_MAX / size) - count) return false;
  offset = off_t(first * size);
  bytes = size_t(count) * blockSize_;
  return true;
}

// `step(done)` makes one call for what is left after `done` bytes and
// returns what it moved, or -1 with errno; an interrupted call is made
// again, and a call that moves nothing fails with `stalled`.
template <class Step>
bool BlockFile::Whole(size_t want, const char* stalled, Step step) const {
  for (size_t done = 0; done < want;) {
    ssize_t n = step(done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail();
    if (n == 0) {
      error_ = stalled;
      return false;
    }
    done += size_t(n);
  }
  return true;
}

bool BlockFile::ReadBlocks(int64_t first, int64_t count, uint8_t* out) const {
  off_t off;
  size_t want;
  return Place(first, count, off, want) &&
         Whole(want, "unexpected end of file", [&](size_t done) {
           return ::pread(fd_, out + done, want - done, off + off_t(done));
         });
}

namespace {
// Runs this close together in the file, or closer, are read as one stretch:
// a gap costs less to copy over than a call of its own.
constexpr int64_t kJoinBytes = 1024;
constexpr int64_t kStretchBytes = 1 << 20;  // the longest stretch read in one call
}  // namespace

bool BlockFile::ReadRuns(const Run* runs, size_t n) const {
  if (fd_ < 0) return false;
  std::vector<uint8_t> stretch;
  for (size_t i = 0; i < n;) {
    off_t off;
    size_t want;
    if (!Place(runs[i].first, runs[i].count, off, want)) return false;
    // The runs after this one that lie ahead of it in the file, close by.
    int64_t end = int64_t(off) + int64_t(want);
    size_t j = i + 1;
    for (; j < n; ++j) {
      off_t o;
      size_t w;
      if (!Place(runs[j].first, runs[j].count, o, w)) return false;
      if (int64_t(o) < end || int64_t(o) - end > kJoinBytes || int64_t(o) + int64_t(w) - int64_t(off) > kStretchBytes)
        break;
      end = int64_t(o) + int64_t(w);
    }
    if (j == i + 1) {
      if (!ReadBlocks(runs[i].first, runs[i].count, runs[i].out)) return false;
    } else {
      size_t bytes = size_t(end - int64_t(off));
      stretch.resize(bytes);
      if (!Whole(bytes, "unexpected end of file", [&](size_t done) {
            return ::pread(fd_, stretch.data() + done, bytes - done, off + off_t(done));
          }))
        return false;
      for (size_t k = i; k < j; ++k)
        std::memcpy(runs[k].out, stretch.data() + (size_t(runs[k].first) * blockSize_ - size_t(off)),
                    size_t(runs[k].count) * blockSize_);
    }
    i = j;
  }
  return true;
}

bool BlockFile::WriteAll(const uint8_t* data, size_t want, off_t off) {
  return Whole(want, "nothing could be written", [&](size_t done) {
    return Sys().WriteAt(fd_, data + done, want - done, off + off_t(done));
  });
}

bool BlockFile::WriteBlocks(int64_t first, int64_t count, const uint8_t* data) {
  off_t off;
  size_t want;
  return Place(first, count, off, want) && WriteAll(data, want, off);
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
