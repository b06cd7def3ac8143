// The attached trajectory file.
#include "viewer/ttr_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/text.h"
#include "platform/user_prompts.h"

namespace krv::view {

TTRFile::~TTRFile() { Close(); }

bool TTRFile::Open(const std::string& path) {
  Close();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  path_ = path;
  return true;
}

void TTRFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  path_.clear();
}

int64_t TTRFile::BlockCount() const {
  struct stat st;
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return 0;
  return int64_t(st.st_size) / kBlockSize;
}

bool TTRFile::ReadBlocks(int64_t first, int64_t count, uint8_t* out) const {
  if (fd_ < 0 || first < 0 || count < 0) return false;
  // Block numbers come from file headers; keep the byte offset in range.
  if (first > (INT64_MAX / kBlockSize) - count) return false;
  size_t want = size_t(count) * kBlockSize;
  off_t off = off_t(first) * kBlockSize;
  size_t got = 0;
  while (got < want) {
    ssize_t n = ::pread(fd_, out + got, want - got, off + off_t(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += size_t(n);
  }
  return true;
}

void ReportFileError(const std::string& what, const std::string& path) {
  platform::Prompts().ShowMessage("I/O error " + what + " " + path);
}

bool ReadTTRRecord(const TTRFile& file, const TTRLayout& layout, int64_t jt, TTRRecord& out) {
  std::vector<uint8_t> buf(layout.RecordBytes());
  if (!file.ReadBlocks(layout.FirstBlock(jt), layout.r, buf.data())) {
    ReportFileError("reading", file.Path());
    return false;
  }
  DecodeRecord(buf.data(), layout, out);
  if (out.jt != jt) ReportJTError(out.jt, jt);
  return true;
}

void ReportJTError(int64_t stored, int64_t wanted) {
  platform::Prompts().ShowMessage("TTR JT ERROR!" + platform::IntToString(stored) + " " +
                                  platform::IntToString(wanted));
}

bool ReadTTRTime(const TTRFile& file, const TTRLayout& layout, int64_t jt, double& t) {
  uint8_t block[kBlockSize];
  if (!file.ReadBlocks(layout.FirstBlock(jt), 1, block)) {
    ReportFileError("reading", file.Path());
    return false;
  }
  t = GetDouble(block + 4);
  return true;
}

}  // namespace krv::view
