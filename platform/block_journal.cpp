// The rollback journal of a file of fixed-size blocks.
#include "platform/block_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/little_endian.h"
#include "platform/system_calls.h"

namespace krv::platform {

namespace {

constexpr uint8_t kMagic[8] = {'K', 'R', 'V', 'J', 'R', 'N', 'L', 1};

std::string Why() { return std::strerror(errno); }

// Reads what there is of `n` bytes at `off`, up to the end of the file.
ssize_t ReadUpTo(int fd, uint8_t* p, size_t n, off_t off) {
  size_t done = 0;
  while (done < n) {
    ssize_t r = Sys().ReadAt(fd, p + done, n - done, off + off_t(done));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) break;
    done += size_t(r);
  }
  return ssize_t(done);
}

bool WriteWhole(int fd, const uint8_t* p, size_t n, off_t off) {
  for (size_t done = 0; done < n;) {
    ssize_t r = Sys().WriteAt(fd, p + done, n - done, off + off_t(done));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return false;
    if (r == 0) {
      errno = EIO;
      return false;
    }
    done += size_t(r);
  }
  return true;
}

}  // namespace

std::string JournalPath(const std::string& path) { return path + "-journal"; }

uint32_t JournalChecksum(const uint8_t* p, size_t n, uint32_t salt) {
  uint32_t h = 2166136261u ^ salt;
  for (size_t i = 0; i < n; ++i) {
    h ^= p[i];
    h *= 16777619u;
  }
  return h;
}

void EncodeJournalHeader(const JournalHeader& h, uint8_t* out) {
  std::memcpy(out, kMagic, 8);
  PutU32(out, 8, h.blockSize);
  PutU32(out, 12, h.salt);
  PutI64(out, 16, h.originalSize);
  PutU32(out, 24, 0);
  PutU32(out, 28, JournalChecksum(out, 28, h.salt));
}

bool DecodeJournalHeader(const uint8_t* p, size_t n, JournalHeader& h) {
  if (n < kJournalHeaderBytes || std::memcmp(p, kMagic, 8) != 0) return false;
  h.blockSize = GetU32(p, 8);
  h.salt = GetU32(p, 12);
  h.originalSize = GetI64(p, 16);
  return h.blockSize >= 1 && h.blockSize <= kJournalBlockMax && h.originalSize >= 0 && GetU32(p, 24) == 0 &&
         GetU32(p, 28) == JournalChecksum(p, 28, h.salt);
}

void EncodeJournalEntry(const JournalHeader& h, int64_t block, const uint8_t* old, uint8_t* out) {
  PutI64(out, 0, block);
  std::memcpy(out + 8, old, h.blockSize);
  PutU32(out, 8 + h.blockSize, JournalChecksum(out, 8 + h.blockSize, h.salt));
}

Rollback RollBackJournal(int fd, const std::string& journal, std::string& error) {
  SystemCalls& sys = Sys();
  int j = sys.OpenFile(journal.c_str(), O_RDONLY, 0);
  if (j < 0) {
    if (errno == ENOENT) return Rollback::kNone;
    error = Why();
    return Rollback::kFailed;
  }
  auto fail = [&] {
    error = Why();
    sys.Close(j);
    return Rollback::kFailed;
  };
  uint8_t head[kJournalHeaderBytes];
  ssize_t got = ReadUpTo(j, head, sizeof head, 0);
  if (got < 0) return fail();
  JournalHeader h;
  if (!DecodeJournalHeader(head, size_t(got), h)) {
    sys.Close(j);
    if (sys.Unlink(journal.c_str()) != 0 && errno != ENOENT) {
      error = Why();
      return Rollback::kFailed;
    }
    return Rollback::kTorn;
  }
  // The entries, a stretch of the journal at a time; the old blocks of
  // consecutive entries for consecutive blocks go back in one write.
  const size_t entry = JournalEntryBytes(h.blockSize);
  const size_t perRead = std::max<size_t>(1, (size_t(1) << 20) / entry);
  std::vector<uint8_t> in(perRead * entry), out;
  int64_t outFirst = -1;
  auto flush = [&] {
    bool ok = out.empty() || WriteWhole(fd, out.data(), out.size(), off_t(outFirst) * off_t(h.blockSize));
    out.clear();
    return ok;
  };
  off_t at = off_t(kJournalHeaderBytes);
  for (bool more = true; more;) {
    got = ReadUpTo(j, in.data(), in.size(), at);
    if (got < 0) return fail();
    size_t whole = size_t(got) / entry;
    more = whole == perRead;
    for (size_t k = 0; k < whole; ++k) {
      const uint8_t* e = in.data() + k * entry;
      if (GetU32(e, 8 + h.blockSize) != JournalChecksum(e, 8 + h.blockSize, h.salt)) {
        more = false;
        break;
      }
      int64_t block = GetI64(e);
      // Only blocks the file held count; the cut below drops the rest.
      if (block < 0 || block > (h.originalSize - 1) / int64_t(h.blockSize) || h.originalSize == 0) continue;
      if (!out.empty() && block != outFirst + int64_t(out.size() / h.blockSize) && !flush()) return fail();
      if (out.empty()) outFirst = block;
      out.insert(out.end(), e + 8, e + 8 + h.blockSize);
      if (out.size() >= (size_t(1) << 20) && !flush()) return fail();
    }
    at += off_t(whole * entry);
  }
  if (!flush() || sys.Truncate(fd, off_t(h.originalSize)) != 0 || sys.Sync(fd) != 0) return fail();
  sys.Close(j);
  if (sys.Unlink(journal.c_str()) != 0 && errno != ENOENT) {
    error = Why();
    return Rollback::kFailed;
  }
  return Rollback::kRolledBack;
}

}  // namespace krv::platform
