// Writing trajectory files in the packed layout.
#include "viewer/ttr_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>

#include "platform/file_resolver.h"

namespace krv::view {

TTRWriter::~TTRWriter() { Abort(); }

bool TTRWriter::Create(const std::string& path) {
  Abort();
  target_ = platform::ResolvePath(path);
  // Appended piecewise: GCC 12 warns falsely on "." + name + ".XXXXXX".
  std::string hidden(1, '.');
  hidden += platform::BaseName(target_);
  hidden += ".XXXXXX";
  std::string tmpl = platform::JoinPath(platform::DirName(target_), hidden);
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  fd_ = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd_ < 0) return false;
  temp_ = name.data();
  return true;
}

bool TTRWriter::WriteBlocks(int64_t first, const uint8_t* data, size_t bytes) {
  if (fd_ < 0 || first < 0) return false;
  off_t off = off_t(first) * kBlockSize;
  size_t done = 0;
  while (done < bytes) {
    ssize_t n = ::pwrite(fd_, data + done, bytes - done, off + off_t(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

bool TTRWriter::Commit() {
  if (fd_ < 0) return false;
  bool ok = ::fsync(fd_) == 0;
  // mkostemp makes the file 0600; give it the usual permissions.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd_, 0666 & ~mask);
  ok = (::close(fd_) == 0) && ok;
  fd_ = -1;
  if (ok && ::rename(temp_.c_str(), target_.c_str()) == 0) {
    temp_.clear();
    return true;
  }
  Abort();
  return false;
}

void TTRWriter::Abort() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

bool WriteTTRRecord(TTRWriter& out, int d, const TTRRecord& rec) {
  assert(rec.jt >= 0);
  std::vector<uint8_t> bytes = EncodePackedRecord(rec, d);
  return out.WriteBlocks(TTRLayout::Packed(d).FirstBlock(rec.jt), bytes.data(), bytes.size());
}

bool CopyTruncatedTTR(const TTRFile& source, const TTRLayout& layout, const TTRHeader& header,
                      int32_t j, const std::string& target) {
  assert(j >= 0);
  TTRWriter out;
  if (!out.Create(target)) {
    ReportFileError("creating", target);
    return false;
  }
  TTRHeader h = header;
  h.SetMark(kMarkPacked);
  if (!out.WriteBlocks(0, h.bytes.data(), kBlockSize)) {
    ReportFileError("writing", target);
    return false;
  }
  TTRRecord rec;
  bool jtErrorShown = false;
  for (int32_t jt = 0; jt <= j; ++jt) {
    std::vector<uint8_t> buf(layout.RecordBytes());
    if (!source.ReadBlocks(layout.FirstBlock(jt), layout.r, buf.data())) {
      ReportFileError("reading", source.Path());
      return false;
    }
    DecodeRecord(buf.data(), layout, rec);
    // One notice per copy: a damaged file must not raise a box per record.
    if (rec.jt != jt && !jtErrorShown) {
      ReportJTError(rec.jt, jt);
      jtErrorShown = true;
    }
    rec.jt = jt;
    if (!WriteTTRRecord(out, layout.d, rec)) {
      ReportFileError("writing", target);
      return false;
    }
  }
  h.SetLastT(rec.t);
  h.SetJTmax(j);
  if (!out.WriteBlocks(0, h.bytes.data(), kBlockSize) || !out.Commit()) {
    ReportFileError("writing", target);
    return false;
  }
  return true;
}

}  // namespace krv::view
