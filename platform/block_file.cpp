// A file of fixed-size records read and written in place, and changed
// whole through a rollback journal.
#include "platform/block_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iterator>
#include <map>
#include <random>
#include <vector>

#include "platform/block_journal.h"
#include "platform/system_calls.h"

namespace krv::platform {

// What a change holds until it goes out: runs of consecutive blocks by
// their first block, none touching another.
struct BlockFile::Change {
  JournalHeader journal;        // originalSize: the file's size when the change began
  int64_t diskSize = 0;         // the file's size now, with the parts gone out
  std::map<int64_t, std::vector<uint8_t>> runs;
  size_t held = 0;              // bytes in runs
  std::vector<bool> journaled;  // by block of the file before the change
  int journalFd = -1;
  off_t journalEnd = 0;
  mode_t mode = 0644;
  bool failed = false;

  int64_t RunEnd(std::map<int64_t, std::vector<uint8_t>>::const_iterator it, size_t blockSize) const {
    return it->first + int64_t(it->second.size() / blockSize);
  }
  void Put(int64_t first, int64_t count, const uint8_t* data, size_t blockSize);
};

// Writes of a series mostly come in order, each run just past the last:
// those extend it, and a write inside a run goes in place; only a write
// that bridges runs merges them.
void BlockFile::Change::Put(int64_t first, int64_t count, const uint8_t* data, size_t blockSize) {
  const size_t bytes = size_t(count) * blockSize;
  const int64_t end = first + count;
  auto it = runs.upper_bound(first);
  if (it != runs.begin() && RunEnd(std::prev(it), blockSize) >= first) --it;
  if (it != runs.end() && it->first <= first) {
    int64_t runEnd = RunEnd(it, blockSize);
    if (runEnd >= end) {
      std::memcpy(it->second.data() + size_t(first - it->first) * blockSize, data, bytes);
      return;
    }
    auto next = std::next(it);
    if (runEnd == first && (next == runs.end() || next->first > end)) {
      it->second.insert(it->second.end(), data, data + bytes);
      held += bytes;
      return;
    }
  }
  int64_t lo = first, hi = end;
  auto last = it;
  for (; last != runs.end() && last->first <= end; ++last) {
    lo = std::min(lo, last->first);
    hi = std::max(hi, RunEnd(last, blockSize));
  }
  // The runs it touches go into the first of them where that one starts
  // no later than the write (a long run is grown, never copied whole).
  auto into = it != last && it->first == lo ? it : runs.end();
  std::vector<uint8_t> fresh;
  std::vector<uint8_t>& merged = into != runs.end() ? into->second : fresh;
  held -= merged.size();
  merged.resize(size_t(hi - lo) * blockSize);
  for (auto k = into != runs.end() ? std::next(it) : it; k != last; ++k) {
    std::memcpy(merged.data() + size_t(k->first - lo) * blockSize, k->second.data(), k->second.size());
    held -= k->second.size();
  }
  std::memcpy(merged.data() + size_t(first - lo) * blockSize, data, bytes);
  held += merged.size();
  if (into != runs.end()) {
    runs.erase(std::next(it), last);
  } else {
    runs.erase(it, last);
    runs.emplace(lo, std::move(fresh));
  }
}

namespace {
// A change holding more than this goes out part by part.
constexpr size_t kHeldMax = size_t(64) << 20;
}  // namespace

BlockFile::BlockFile(size_t blockSize) : blockSize_(blockSize), holdLimit_(kHeldMax) {}

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
  journal_ = JournalPath(path);
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
  if (change_) AbandonChange();
  if (fd_ >= 0) ::close(fd_);  // also drops any lock
  fd_ = -1;
  path_.clear();
  journal_.clear();
}

int64_t BlockFile::BlockCount() const {
  if (change_) {
    int64_t blocks = change_->diskSize / int64_t(blockSize_);
    if (!change_->runs.empty()) blocks = std::max(blocks, change_->RunEnd(std::prev(change_->runs.end()), blockSize_));
    return blocks;
  }
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

bool BlockFile::ByteRange(int64_t first, int64_t count, off_t& offset, size_t& bytes) const {
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
bool BlockFile::TransferAll(size_t want, const char* stalled, Step step) const {
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
  if (change_ && !change_->runs.empty()) return ReadInChange(first, count, out);
  off_t off;
  size_t want;
  return ByteRange(first, count, off, want) &&
         TransferAll(want, "unexpected end of file", [&](size_t done) {
           return Sys().ReadAt(fd_, out + done, want - done, off + off_t(done));
         });
}

// The blocks as the change leaves them: what it holds over what the file
// has. A block neither holds is past the end of the file.
bool BlockFile::ReadInChange(int64_t first, int64_t count, uint8_t* out) const {
  off_t off;
  size_t want;
  if (!ByteRange(first, count, off, want)) return false;
  const Change& c = *change_;
  const int64_t end = first + count;
  auto it = c.runs.upper_bound(first);
  if (it != c.runs.begin() && c.RunEnd(std::prev(it), blockSize_) > first) --it;
  if (it != c.runs.end() && it->first <= first && c.RunEnd(it, blockSize_) >= end) {
    std::memcpy(out, it->second.data() + size_t(first - it->first) * blockSize_, want);
    return true;
  }
  const int64_t onDisk = std::min(end, c.diskSize / int64_t(blockSize_));
  if (onDisk > first) {
    size_t n = size_t(onDisk - first) * blockSize_;
    if (!TransferAll(n, "unexpected end of file",
                     [&](size_t done) { return Sys().ReadAt(fd_, out + done, n - done, off + off_t(done)); }))
      return false;
  }
  int64_t covered = std::max(first, onDisk);  // from here on only what the change holds counts
  for (; it != c.runs.end() && it->first < end; ++it) {
    int64_t a = std::max(first, it->first), b = std::min(end, c.RunEnd(it, blockSize_));
    if (a >= b) continue;
    if (a > covered) break;
    std::memcpy(out + size_t(a - first) * blockSize_, it->second.data() + size_t(a - it->first) * blockSize_,
                size_t(b - a) * blockSize_);
    covered = std::max(covered, b);
  }
  if (covered < end) {
    error_ = "unexpected end of file";
    return false;
  }
  return true;
}

namespace {
// Runs this close together in the file, or closer, are read as one stretch:
// a gap costs less to copy over than a call of its own.
constexpr int64_t kJoinBytes = 1024;
constexpr int64_t kStretchBytes = 1 << 20;  // the longest stretch read in one call
}  // namespace

bool BlockFile::ReadRuns(const Run* runs, size_t n) const {
  if (fd_ < 0) return false;
  if (change_) {
    for (size_t i = 0; i < n; ++i)
      if (!ReadBlocks(runs[i].first, runs[i].count, runs[i].out)) return false;
    return true;
  }
  std::vector<uint8_t> stretch;
  for (size_t i = 0; i < n;) {
    off_t off;
    size_t want;
    if (!ByteRange(runs[i].first, runs[i].count, off, want)) return false;
    // The runs after this one that lie ahead of it in the file, close by.
    int64_t end = int64_t(off) + int64_t(want);
    size_t j = i + 1;
    for (; j < n; ++j) {
      off_t o;
      size_t w;
      if (!ByteRange(runs[j].first, runs[j].count, o, w)) return false;
      if (int64_t(o) < end || int64_t(o) - end > kJoinBytes || int64_t(o) + int64_t(w) - int64_t(off) > kStretchBytes)
        break;
      end = int64_t(o) + int64_t(w);
    }
    if (j == i + 1) {
      if (!ReadBlocks(runs[i].first, runs[i].count, runs[i].out)) return false;
    } else {
      size_t bytes = size_t(end - int64_t(off));
      stretch.resize(bytes);
      if (!TransferAll(bytes, "unexpected end of file", [&](size_t done) {
            return Sys().ReadAt(fd_, stretch.data() + done, bytes - done, off + off_t(done));
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
  return TransferAll(want, "nothing could be written", [&](size_t done) {
    return Sys().WriteAt(fd_, data + done, want - done, off + off_t(done));
  });
}

bool BlockFile::WriteBlocks(int64_t first, int64_t count, const uint8_t* data) {
  off_t off;
  size_t want;
  if (!ByteRange(first, count, off, want)) return false;
  if (!change_) return WriteAll(data, want, off);
  if (change_->failed) {
    error_ = "the change has failed";
    return false;
  }
  if (count == 0) return true;
  change_->Put(first, count, data, blockSize_);
  if (change_->held > holdLimit_ && !Flush(false)) {
    FailChange();
    return false;
  }
  return true;
}

// ---- Changes ----

bool BlockFile::BeginChange() {
  if (fd_ < 0 || mode_ != Mode::ReadWrite || change_) {
    error_ = fd_ < 0 ? "not open" : change_ ? "a change is already under way" : "opened read-only";
    return false;
  }
  if (RollBackJournal(fd_, journal_, error_) == Rollback::kFailed) return false;
  struct stat st;
  if (::fstat(fd_, &st) != 0) return Fail();
  auto c = std::make_unique<Change>();
  c->journal.blockSize = uint32_t(blockSize_);
  c->journal.originalSize = int64_t(st.st_size);
  c->diskSize = int64_t(st.st_size);
  c->mode = st.st_mode & 0666;
  // Any number tells this journal's entries from those of an earlier
  // one; the clock is mixed in where the device gives nothing.
  std::random_device device;
  c->journal.salt = uint32_t(device()) ^ uint32_t(std::chrono::steady_clock::now().time_since_epoch().count());
  change_ = std::move(c);
  return true;
}

bool BlockFile::ChangeFailed() const { return change_ && change_->failed; }

// The old bytes of the blocks the change is about to write over for the
// first time, appended to the journal and synced; the journal is made,
// and its directory synced, on the first part.
bool BlockFile::JournalOldBlocks() {
  Change& c = *change_;
  SystemCalls& sys = Sys();
  const int64_t size = int64_t(blockSize_);
  const int64_t before = (c.journal.originalSize + size - 1) / size;  // blocks the file held, the last maybe in part
  if (c.journaled.empty()) c.journaled.assign(size_t(before), false);
  std::vector<uint8_t> out;
  bool fresh = c.journalFd < 0;
  if (fresh) {
    c.journalFd = sys.OpenFile(journal_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, c.mode);
    if (c.journalFd < 0) {
      return Fail();
    }
    out.resize(kJournalHeaderBytes);
    EncodeJournalHeader(c.journal, out.data());
  }
  const size_t entry = JournalEntryBytes(blockSize_);
  std::vector<uint8_t> old;
  for (const auto& [first, bytes] : c.runs) {
    int64_t end = std::min(before, first + int64_t(bytes.size() / blockSize_));
    for (int64_t b = first; b < end;) {
      if (c.journaled[size_t(b)]) {
        ++b;
        continue;
      }
      int64_t e = b;
      while (e < end && !c.journaled[size_t(e)]) ++e;
      // Not written by this change yet: the file still has them as they were.
      old.assign(size_t(e - b) * blockSize_, 0);
      for (size_t done = 0; done < old.size();) {
        ssize_t r = sys.ReadAt(fd_, old.data() + done, old.size() - done, off_t(b * size) + off_t(done));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return Fail();
        if (r == 0) break;  // the last block's part past the end stays zeros
        done += size_t(r);
      }
      size_t at = out.size();
      out.resize(at + size_t(e - b) * entry);
      for (int64_t k = b; k < e; ++k) {
        EncodeJournalEntry(c.journal, k, old.data() + size_t(k - b) * blockSize_, out.data() + at);
        at += entry;
        c.journaled[size_t(k)] = true;
      }
      b = e;
    }
  }
  if (out.empty()) return true;
  auto journalFailed = [&] { return Fail(); };
  for (size_t done = 0; done < out.size();) {
    ssize_t r = sys.WriteAt(c.journalFd, out.data() + done, out.size() - done, c.journalEnd + off_t(done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      if (r == 0) errno = EIO;
      return journalFailed();
    }
    done += size_t(r);
  }
  c.journalEnd += off_t(out.size());
  if (sys.Sync(c.journalFd) != 0) return journalFailed();
  if (fresh) {
    size_t slash = path_.rfind('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path_.substr(0, slash);
    int d = sys.OpenDirectory(dir.c_str());
    if (d < 0) return journalFailed();
    bool synced = sys.Sync(d) == 0;
    int err = errno;
    sys.Close(d);
    errno = err;
    if (!synced) return journalFailed();
  }
  return true;
}

bool BlockFile::Flush(bool last) {
  Change& c = *change_;
  SystemCalls& sys = Sys();
  if (!c.runs.empty()) {
    if (!JournalOldBlocks()) return false;
    for (const auto& [first, bytes] : c.runs) {
      if (!WriteAll(bytes.data(), bytes.size(), off_t(first) * off_t(blockSize_))) return false;
      c.diskSize = std::max(c.diskSize, (first + int64_t(bytes.size() / blockSize_)) * int64_t(blockSize_));
    }
    c.runs.clear();
    c.held = 0;
  }
  if (!last || c.journalFd < 0) return true;
  if (sys.Sync(fd_) != 0) return Fail();
  // The change is whole in the file from here on: the journal must not
  // undo it. Where it cannot be removed it is emptied, which counts as
  // no journal.
  if (sys.Unlink(journal_.c_str()) != 0) {
    int err = errno;
    if (sys.Truncate(c.journalFd, 0) != 0 || sys.Sync(c.journalFd) != 0) {
      errno = err;
      return Fail();
    }
  }
  sys.Close(c.journalFd);
  c.journalFd = -1;
  return true;
}

void BlockFile::FailChange() {
  Change& c = *change_;
  c.failed = true;
  c.runs.clear();
  c.held = 0;
  if (c.journalFd >= 0) {
    Sys().Close(c.journalFd);
    c.journalFd = -1;
    // What went out goes back; where even that fails, the journal stays
    // for whoever opens the file next. The first failure is the one told.
    std::string ignored;
    RollBackJournal(fd_, journal_, ignored);
  }
}

bool BlockFile::CommitChange() {
  if (!change_) return true;
  bool ok = !change_->failed && Flush(true);
  if (!ok && !change_->failed) FailChange();
  if (!ok && error_.empty()) error_ = "the change has failed";
  change_.reset();
  return ok;
}

void BlockFile::AbandonChange() {
  if (!change_) return;
  if (!change_->failed) FailChange();
  change_.reset();
}

BlockFile::Recovery BlockFile::RecoverJournal(bool wait) {
  if (fd_ < 0) return Recovery::kNone;
  SystemCalls& sys = Sys();
  struct stat st;
  if (sys.LinkStat(journal_.c_str(), &st) != 0) {
    if (errno == ENOENT) return Recovery::kNone;
    Fail();
    return Recovery::kFailed;
  }
  int fd = sys.OpenFile(path_.c_str(), O_RDWR | O_CLOEXEC, 0);
  if (fd < 0) {
    Fail();
    return Recovery::kFailed;
  }
  Recovery result;
  const int how = wait ? LOCK_EX : LOCK_EX | LOCK_NB;
  int held = sys.Lock(fd, how);
  while (held != 0 && errno == EINTR) held = sys.Lock(fd, how);
  if (held != 0) {
    result = errno == EWOULDBLOCK ? Recovery::kBusy : Recovery::kFailed;
    if (result == Recovery::kFailed) Fail();
  } else {
    switch (RollBackJournal(fd, journal_, error_)) {
      case Rollback::kNone:
      case Rollback::kTorn: result = Recovery::kNone; break;
      case Rollback::kRolledBack: result = Recovery::kRolledBack; break;
      default: result = Recovery::kFailed; break;
    }
  }
  sys.Close(fd);  // also lets the lock go
  return result;
}

bool BlockFile::Lock() {
  if (fd_ < 0) return false;
  while (Sys().Lock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) return Fail();
  }
  return true;
}

BlockFile::ReadLock BlockFile::LockShared() {
  if (fd_ < 0) return ReadLock::kLockFailed;
  SystemCalls& sys = Sys();
  for (;;) {
    while (sys.Lock(fd_, LOCK_SH) != 0) {
      if (errno != EINTR) {
        Fail();
        return ReadLock::kLockFailed;
      }
    }
    struct stat st;
    if (sys.LinkStat(journal_.c_str(), &st) != 0 && errno == ENOENT) return ReadLock::kHeld;
    // A journal there, or one that cannot be looked at: RecoverJournal
    // rolls it back or says why it cannot.
    Unlock();
    if (RecoverJournal(true) == Recovery::kFailed) return ReadLock::kRestoreFailed;
  }
}

void BlockFile::Unlock() {
  if (fd_ >= 0) Sys().Lock(fd_, LOCK_UN);
}

}  // namespace krv::platform
