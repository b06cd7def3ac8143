// A file of fixed-size records read and written in place.
#include "platform/block_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/mapped_copy.h"
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
  if (head_) ::munmap(const_cast<void*>(head_), blockSize_);
  head_ = nullptr;
  headUnmappable_ = false;
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

bool BlockFile::MapFirstPage() const {
  if (head_) return true;
  if (fd_ < 0 || headUnmappable_) return false;
  void* m = ::mmap(nullptr, blockSize_, PROT_READ, MAP_SHARED, fd_, 0);
  if (m == MAP_FAILED) {
    headUnmappable_ = true;  // a file system that maps nothing: read it
    return false;
  }
  head_ = m;
  return true;
}

bool BlockFile::ReadFirstBlock(uint8_t* out, int64_t size) const {
  // Past the file's end a mapping shows zeros where a read fails, so only
  // a block the file held is taken from it.
  if (size >= int64_t(blockSize_) && MapFirstPage() && CopyFromMapping(out, head_, blockSize_)) return true;
  return ReadBlocks(0, 1, out);
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

bool BlockFile::WriteRunsInOrder(const WriteRun* runs, size_t n) {
  constexpr size_t kPieces = 8;
  SystemCalls::WritePiece pieces[kPieces];
  ssize_t done[kPieces];
  for (size_t start = 0; start < n; start += kPieces) {
    size_t m = std::min(n - start, kPieces);
    for (size_t i = 0; i < m; ++i) {
      const WriteRun& r = runs[start + i];
      off_t off;
      size_t bytes;
      if (!Place(r.first, r.count, off, bytes)) return false;
      pieces[i] = {r.data, bytes, off};
    }
    long handed = Sys().WriteInOrder(fd_, pieces, m, done);
    size_t next = size_t(std::max(handed, 0L));  // the first piece still to write here
    bool ok = true;
    for (long i = 0; i < handed && ok; ++i) {
      const SystemCalls::WritePiece& p = pieces[i];
      if (done[i] < 0 && done[i] != -EINTR) {
        errno = int(-done[i]);
        ok = Fail();
      } else if (size_t(done[i]) != p.size) {
        // A short write: the rest goes the ordinary way, which also names
        // the reason when there is one, and the pieces after it go again
        // after it, so that each has the last word it would have had.
        size_t got = done[i] < 0 ? 0 : size_t(done[i]);
        ok = WriteAll(static_cast<const uint8_t*>(p.data) + got, p.size - got, p.offset + off_t(got));
        next = size_t(i) + 1;
        break;
      }
    }
    // What was not handed over goes one piece after another, as long as
    // every write so far went through.
    for (size_t i = next; i < m && ok; ++i)
      ok = WriteAll(static_cast<const uint8_t*>(pieces[i].data), pieces[i].size, pieces[i].offset);
    if (!ok) return false;
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
