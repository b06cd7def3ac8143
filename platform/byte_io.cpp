// Whole-file byte reads and crash-safe whole-file writes.
#include "platform/byte_io.h"

#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/atomic_file.h"
#include "platform/file_resolver.h"
#include "platform/text.h"

namespace krv::platform {

bool ReadFileBytes(const std::string& path, std::string& out) {
  return ReadFileBytes(path, out, UINT64_MAX) == ReadOutcome::kRead;
}

std::string SystemReason(int err) {
  char buf[256];
  return ::strerror_r(err, buf, sizeof buf);
}

ReadOutcome ReadFileBytes(const std::string& path, std::string& out, uint64_t maxBytes,
                          std::string* reason) {
  out.clear();
  int fd = ::open(ResolvePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (reason) *reason = SystemReason(errno);
    return ReadOutcome::kUnreadable;
  }
  ReadOutcome result = ReadOutcome::kRead;
  int err = 0;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    err = errno;
    result = ReadOutcome::kUnreadable;
  } else if (S_ISREG(st.st_mode) && uint64_t(st.st_size) > maxBytes) {
    result = ReadOutcome::kTooLarge;
  } else {
    // One byte to spare: a reader that ends the text with a mark of its own
    // (Foreparse's end-of-file byte) then adds it without copying the file.
    if (S_ISREG(st.st_mode)) out.reserve(size_t(st.st_size) + 1);
    char buf[65536];
    for (;;) {
      ssize_t n = ::read(fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        err = errno;
        result = ReadOutcome::kUnreadable;
        break;
      }
      if (n == 0) break;
      if (out.size() + uint64_t(n) > maxBytes) {
        result = ReadOutcome::kTooLarge;
        break;
      }
      out.append(buf, size_t(n));
    }
  }
  ::close(fd);
  if (result != ReadOutcome::kRead) out.clear();
  if (result == ReadOutcome::kUnreadable && reason) *reason = SystemReason(err);
  return result;
}

std::optional<std::string> ReadFileHead(const std::string& path, size_t maxBytes) {
  int fd = ::open(ResolvePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string head(maxBytes, '\0');
  size_t got = 0;
  bool ok = true;
  while (got < maxBytes) {
    ssize_t n = ::pread(fd, head.data() + got, maxBytes - got, off_t(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    got += size_t(n);
  }
  ::close(fd);
  if (!ok) return std::nullopt;
  head.resize(got);
  return head;
}

std::string TooLargeMessage(const std::string& path, const std::string& format, uint64_t maxBytes) {
  struct stat st;
  std::string size = ::stat(ResolvePath(path).c_str(), &st) == 0 ? IntToString(st.st_size) + " bytes; " : "";
  return path + " is larger than " + format + " can be (" + size + "at most " + IntToString(int64_t(maxBytes)) + ")";
}

bool WriteFileAtomic(const std::string& path, const std::string& data, std::string* error,
                     std::string* reason) {
  AtomicFile out;
  bool ok = out.Open(path) && out.Write(data) && out.Commit();
  if (!ok && error) *error = out.Error();
  if (!ok && reason) *reason = out.Reason();
  return ok;
}

}  // namespace krv::platform
