// Crash-safe file writing through a flushed temporary file and a rename.
#include "platform/atomic_file.h"

#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/byte_io.h"
#include "platform/file_resolver.h"
#include "platform/system_calls.h"

namespace krv::platform {

namespace {

constexpr int kMaxLinks = 40;  // as the kernel allows in one lookup

// The process's umask, read without changing it (umask() can only be read
// by setting it, which would race with other threads creating files).
mode_t CurrentUmask() {
  if (FILE* f = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned mask = 0;
    bool found = false;
    while (std::fgets(line, sizeof line, f))
      if (std::sscanf(line, "Umask: %o", &mask) == 1) {
        found = true;
        break;
      }
    std::fclose(f);
    if (found) return mode_t(mask);
  }
  mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

}  // namespace

AtomicFile::~AtomicFile() { Abort(); }

bool AtomicFile::Fail(int err) {
  if (!failed_) {
    reason_ = SystemReason(err);
    error_ = "Cannot write " + path_ + ": " + reason_;
  }
  failed_ = true;
  Abort();
  return false;
}

bool AtomicFile::Open(const std::string& path) {
  Abort();
  path_ = path;
  error_.clear();
  reason_.clear();
  failed_ = finished_ = false;
  buffer_.Clear();
  SystemCalls& sys = Sys();

  // Follow symbolic links to the file they end at: replacing the link by a
  // plain file would cut it off from the data it is meant to share.
  target_ = ResolvePath(path);
  struct stat st;
  bool exists = false;
  for (int hops = 0;; ++hops) {
    if (sys.LinkStat(target_.c_str(), &st) != 0) {
      if (errno != ENOENT) return Fail(errno);
      break;
    }
    if (!S_ISLNK(st.st_mode)) {
      exists = true;
      break;
    }
    if (hops == kMaxLinks) return Fail(ELOOP);
    std::vector<char> buf(size_t(st.st_size > 0 ? st.st_size : 255) + 1);
    ssize_t n = sys.ReadLink(target_.c_str(), buf.data(), buf.size());
    if (n < 0) return Fail(errno);
    if (n == 0) return Fail(ENOENT);
    if (size_t(n) >= buf.size()) return Fail(ENAMETOOLONG);
    std::string link(buf.data(), size_t(n));
    target_ = link.front() == '/' ? link : JoinPath(DirName(target_), link);
  }
  if (exists) {
    if (S_ISDIR(st.st_mode)) return Fail(EISDIR);
    // Refuse by the file's own permission bits as well: a modeller who
    // marked an output read-only means it, even when running as root.
    if (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0 || ::access(target_.c_str(), W_OK) != 0) {
      reason_ = "the file is read-only";
      error_ = "Cannot write " + path_ + ": " + reason_;
      failed_ = true;
      return false;
    }
    mode_ = st.st_mode & 07777;
  } else {
    mode_ = 0666 & ~CurrentUmask();
  }

  // Appended piecewise: GCC 12 warns falsely on "." + name + ".XXXXXX".
  std::string hidden(1, '.');
  hidden += BaseName(target_);
  hidden += ".XXXXXX";
  std::string pattern = JoinPath(DirName(target_), hidden);
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  fd_ = sys.MakeTemp(name.data(), O_CLOEXEC);
  if (fd_ < 0) return Fail(errno);
  temp_ = name.data();
  return true;
}

bool AtomicFile::FlushBuffer() {
  if (int err = buffer_.Flush(fd_)) return Fail(err);
  return true;
}

bool AtomicFile::Write(std::string_view bytes) {
  if (failed_ || fd_ < 0) return false;
  if (int err = buffer_.Append(fd_, bytes)) return Fail(err);
  return true;
}

bool AtomicFile::WriteAt(uint64_t offset, const void* bytes, size_t size) {
  if (failed_ || fd_ < 0) return false;
  if (!FlushBuffer()) return false;
  const char* p = static_cast<const char*>(bytes);
  off_t at = off_t(offset);
  while (size > 0) {
    ssize_t n = Sys().WriteAt(fd_, p, size, at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail(errno);
    if (n == 0) return Fail(ENOSPC);
    p += n;
    at += n;
    size -= size_t(n);
  }
  return true;
}

bool AtomicFile::Finish() {
  if (failed_ || temp_.empty()) return false;
  if (finished_) return true;
  if (!FlushBuffer()) return false;
  SystemCalls& sys = Sys();
  // mkostemp makes the file 0600: give it the replaced file's mode, or
  // the usual one for a new file.
  if (sys.ChangeMode(fd_, mode_t(mode_)) != 0) return Fail(errno);
  int r;
  while ((r = sys.Sync(fd_)) != 0 && errno == EINTR) {
  }
  if (r != 0) return Fail(errno);
  int fd = fd_;
  fd_ = -1;
  // A failed close may mean the data never reached the disk; close is not
  // retried on EINTR (Linux has released the descriptor either way).
  if (sys.Close(fd) != 0 && errno != EINTR) return Fail(errno);
  finished_ = true;
  return true;
}

bool AtomicFile::Commit() {
  if (!Finish()) return false;
  SystemCalls& sys = Sys();
  if (sys.Rename(temp_.c_str(), target_.c_str()) != 0) return Fail(errno);
  temp_.clear();
  // The rename is only durable once the directory is flushed too.
  std::string dir = DirName(target_);
  if (dir.empty()) dir = ".";
  int dfd = sys.OpenDirectory(dir.c_str());
  if (dfd < 0) return Fail(errno);
  int r;
  while ((r = sys.Sync(dfd)) != 0 && errno == EINTR) {
  }
  int err = errno;
  sys.Close(dfd);
  // Some file systems cannot flush a directory; the rename stands.
  if (r != 0 && err != EINVAL && err != EROFS) return Fail(err);
  return true;
}

void AtomicFile::Abort() {
  SystemCalls& sys = Sys();
  if (fd_ >= 0) sys.Close(fd_);
  fd_ = -1;
  if (!temp_.empty()) sys.Unlink(temp_.c_str());
  temp_.clear();
  buffer_.Clear();
  finished_ = false;
}

}  // namespace krv::platform
