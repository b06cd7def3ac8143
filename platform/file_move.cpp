// Moving whole files (bytes, date and mode), making directories, the running program's directory.
#include "platform/file_move.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/file_resolver.h"

namespace krv::platform {

namespace {

// Directory part by '/' alone: these paths are built by programs, and a
// directory name may hold a backslash.
std::string ParentOf(const std::string& path) {
  size_t p = path.rfind('/');
  if (p == std::string::npos) return ".";
  return p == 0 ? "/" : path.substr(0, p);
}

void SetReason(std::string* reason, int err) {
  if (reason) *reason = ::strerror(err);
}

bool WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (w == 0) errno = EIO;
      return false;
    }
    p += w;
    n -= size_t(w);
  }
  return true;
}

// Copies the open `src` into a fresh temporary beside `to` and renames it
// into place. The temporary is removed on every failure.
bool CopyIntoPlace(int src, const struct stat& st, const std::string& to, std::string* reason) {
  const size_t slash = to.rfind('/');
  const std::string tmpl = slash == std::string::npos
                               ? "." + to + ".XXXXXX"
                               : to.substr(0, slash + 1) + "." + to.substr(slash + 1) + ".XXXXXX";
  std::vector<char> tmp(tmpl.begin(), tmpl.end());
  tmp.push_back('\0');
  int dst = ::mkostemp(tmp.data(), O_CLOEXEC);
  if (dst < 0) {
    SetReason(reason, errno);
    return false;
  }
  bool ok = true;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(src, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || (n > 0 && !WriteAll(dst, buf, size_t(n)))) {
      ok = false;
      break;
    }
    if (n == 0) break;
  }
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  ok = ok && ::fchmod(dst, st.st_mode & 07777) == 0 && ::futimens(dst, times) == 0 &&
       ::fsync(dst) == 0;
  int err = errno;
  ok = ::close(dst) == 0 && ok;
  if (ok && ::rename(tmp.data(), to.c_str()) == 0) return true;
  if (ok) err = errno;
  ::unlink(tmp.data());
  SetReason(reason, err);
  return false;
}

void SyncDirectory(const std::string& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool MoveFileWhole(const std::string& fromPath, const std::string& to, std::string* reason) {
  const std::string from = ResolvePath(fromPath);
  struct stat st;
  if (::stat(from.c_str(), &st) != 0) {
    SetReason(reason, errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    SetReason(reason, EISDIR);
    return false;
  }
  if (::rename(from.c_str(), to.c_str()) == 0) {
    SyncDirectory(ParentOf(to));
    return true;
  }
  if (errno != EXDEV) {
    SetReason(reason, errno);
    return false;
  }
  int src = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (src < 0) {
    SetReason(reason, errno);
    return false;
  }
  bool ok = CopyIntoPlace(src, st, to, reason);
  ::close(src);
  if (!ok) return false;
  SyncDirectory(ParentOf(to));
  if (::unlink(from.c_str()) != 0) {
    // The destination is whole; the source stays, and the caller hears why.
    SetReason(reason, errno);
    return false;
  }
  return true;
}

bool MakeDirectory(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

bool SetFileMode(const std::string& path, unsigned mode) {
  return ::chmod(path.c_str(), mode_t(mode)) == 0;
}

std::string ExecutableDir() {
  std::vector<char> buf(4096);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return "";
    if (size_t(n) < buf.size()) {
      std::string exe(buf.data(), size_t(n));
      size_t p = exe.rfind('/');
      return p == std::string::npos ? "" : exe.substr(0, p == 0 ? 1 : p);
    }
    buf.resize(buf.size() * 2);
  }
}

}  // namespace krv::platform
