// The rollback journal of a file of fixed-size blocks changed in place:
// before a change overwrites a block, the block's old bytes go to a file
// beside it, `NAME-journal`, which is synced first and removed once the
// change is whole in the file. A journal found there later (the change
// cut short by a crash, a kill or a full disk) is rolled back: every old
// block written back and the file cut to its size before the change.
//
// Layout, all numbers little-endian:
//
//   header, 32 bytes:
//     0   8  "KRVJRNL" and a byte 1
//     8   4  block size B (1 .. 1 MiB)
//    12   4  salt: a number of this journal's own
//    16   8  the file's size in bytes before the change (>= 0)
//    24   4  0
//    28   4  checksum of bytes 0..27
//   then entries, 12 + B bytes each:
//     0   8  block number n (the old bytes lie at n * B in the file)
//     8   B  the block's bytes before the change (zeros past the file's
//            end, for a last block the file held only part of)
//   8+B   4  checksum of bytes 0 .. 8+B-1
//
// The checksum is FNV-1a over the bytes, started from 2166136261 xor the
// salt, so that bytes left over from an earlier journal never pass as
// this one's. A journal whose header does not pass is torn (the change
// never touched the file: the journal is synced before it does) and is
// removed. Its entries count up to the first that does not pass or is
// cut short: a change writes a block only after the entry holding its old
// bytes was synced. The solver's runtime (runtime/KRVDSF.pas) reads and
// writes the same layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace krv::platform {

constexpr size_t kJournalHeaderBytes = 32;
constexpr size_t kJournalBlockMax = size_t(1) << 20;

// The journal beside `path`.
std::string JournalPath(const std::string& path);

uint32_t JournalChecksum(const uint8_t* p, size_t n, uint32_t salt);

struct JournalHeader {
  uint32_t blockSize = 0;
  uint32_t salt = 0;
  int64_t originalSize = 0;
};
void EncodeJournalHeader(const JournalHeader& h, uint8_t* out);
// False for bytes that are not a whole, sound header.
bool DecodeJournalHeader(const uint8_t* p, size_t n, JournalHeader& h);

inline size_t JournalEntryBytes(size_t blockSize) { return 12 + blockSize; }
void EncodeJournalEntry(const JournalHeader& h, int64_t block, const uint8_t* old, uint8_t* out);

enum class Rollback {
  kNone,      // no journal there
  kTorn,      // a journal that never counted: removed, the file untouched
  kRolledBack,
  kFailed,    // the journal is kept; `error` says why
};

// Rolls the journal at `journal` back into the file open read-write at
// `fd`, whose lock the caller holds: the old blocks written back (those
// that follow one another in one write), the file cut to its size
// before the change and synced, the journal removed. `error` is the
// system's reason for a failure.
Rollback RollBackJournal(int fd, const std::string& journal, std::string& error);

}  // namespace krv::platform
