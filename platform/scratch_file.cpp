// Plain, unflushed writing of scratch files.
#include "platform/scratch_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/byte_io.h"
#include "platform/file_resolver.h"
#include "platform/system_calls.h"

namespace krv::platform {

ScratchFile::~ScratchFile() { Abort(); }

bool ScratchFile::Fail(int err) {
  if (!failed_) error_ = "Cannot write " + path_ + ": " + SystemReason(err);
  failed_ = true;
  Abort();
  return false;
}

bool ScratchFile::Open(const std::string& path) {
  Abort();
  path_ = path;
  error_.clear();
  failed_ = false;
  target_ = ResolvePath(path);
  struct stat st;
  if (::stat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0) {
    error_ = "Cannot write " + path_ + ": the file is read-only";
    failed_ = true;
    return false;
  }
  fd_ = Sys().OpenFile(target_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) return Fail(errno);
  created_ = true;
  return true;
}

bool ScratchFile::FlushBuffer() {
  if (int err = buffer_.Flush(fd_)) return Fail(err);
  return true;
}

bool ScratchFile::Write(std::string_view bytes) {
  if (failed_ || !IsOpen()) return false;
  if (int err = buffer_.Append(fd_, bytes)) return Fail(err);
  return true;
}

bool ScratchFile::Close() {
  if (failed_ || !IsOpen()) return false;
  if (!FlushBuffer()) return false;
  int fd = fd_;
  fd_ = -1;
  // Close is not retried on EINTR: Linux has released the descriptor.
  if (Sys().Close(fd) != 0 && errno != EINTR) return Fail(errno);
  created_ = false;
  return true;
}

void ScratchFile::Abort() {
  SystemCalls& sys = Sys();
  if (fd_ >= 0) sys.Close(fd_);
  fd_ = -1;
  if (created_) sys.Unlink(target_.c_str());
  created_ = false;
  buffer_.Clear();
}

bool WriteScratchFile(const std::string& path, std::string_view data, std::string* error) {
  ScratchFile out;
  bool ok = out.Open(path) && out.Write(data) && out.Close();
  if (!ok && error) *error = out.Error();
  return ok;
}

}  // namespace krv::platform
