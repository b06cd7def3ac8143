// Changes of a block file made whole through a rollback journal: what a
// change shows before its commit, what a kill or a full disk at any of its
// calls leaves, and journals that are torn, foreign or in use.
#include <gtest/gtest.h>
#include <sys/file.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/block_file.h"
#include "platform/block_journal.h"
#include "testing/cut_short.h"
#include "testing/temp_dir.h"

using namespace krv::platform;
using krv::testing::TempDir;

namespace {

// `n` blocks of 16 bytes, block b filled with the letter `from` + b.
std::string Blocks(int n, char from) {
  std::string s;
  for (int b = 0; b < n; ++b) s += std::string(16, char(from + b));
  return s;
}

const uint8_t* U(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// A journal for a file of `originalSize` bytes in 16-byte blocks holding
// `entries` (block, its old bytes).
std::string Journal(int64_t originalSize, const std::vector<std::pair<int64_t, std::string>>& entries,
                    uint32_t salt = 7) {
  JournalHeader h;
  h.blockSize = 16;
  h.salt = salt;
  h.originalSize = originalSize;
  std::string j(kJournalHeaderBytes, '\0');
  EncodeJournalHeader(h, reinterpret_cast<uint8_t*>(j.data()));
  for (const auto& [block, old] : entries) {
    std::string e(JournalEntryBytes(16), '\0');
    EncodeJournalEntry(h, block, U(old), reinterpret_cast<uint8_t*>(e.data()));
    j += e;
  }
  return j;
}

}  // namespace

// Inside a change reads see its writes, past the file's end too, and the
// file sees nothing of it; the commit leaves exactly what it wrote and no
// journal. A block neither the file nor the change holds is past the end.
TEST(BlockChange, ReadsSeeTheChangeAndTheFileOnlyItsCommit) {
  TempDir d;
  const std::string before = Blocks(4, 'a') + "tail";  // four blocks and a part
  d.Write("F.DAT", before);
  BlockFile f(16);
  ASSERT_TRUE(f.Open(d.File("F.DAT"), BlockFile::Mode::ReadWrite));
  ASSERT_TRUE(f.Lock());
  ASSERT_TRUE(f.BeginChange());
  const std::string x = Blocks(2, 'x'), z = Blocks(1, 'z');
  ASSERT_TRUE(f.WriteBlocks(1, 2, U(x)));  // over blocks 1, 2
  ASSERT_TRUE(f.WriteBlocks(6, 1, U(z)));  // past the end, a gap before it
  ASSERT_TRUE(f.WriteBlocks(2, 1, U(z)));  // over its own write
  EXPECT_EQ(f.BlockCount(), 7);
  std::string got(7 * 16, '\0');
  uint8_t* g = reinterpret_cast<uint8_t*>(got.data());
  ASSERT_TRUE(f.ReadBlocks(0, 4, g)) << f.LastError();
  EXPECT_EQ(got.substr(0, 64), Blocks(1, 'a') + Blocks(1, 'x') + z + Blocks(1, 'd'));
  ASSERT_TRUE(f.ReadBlocks(6, 1, g));
  EXPECT_EQ(got.substr(0, 16), z);
  EXPECT_FALSE(f.ReadBlocks(3, 3, g));  // block 4 is held by neither
  EXPECT_EQ(f.LastError(), "unexpected end of file");
  EXPECT_EQ(d.Read("F.DAT"), before);
  EXPECT_FALSE(d.Has("F.DAT-journal"));
  // The gap is filled before the commit, so the file is whole blocks.
  ASSERT_TRUE(f.WriteBlocks(4, 2, U(Blocks(2, 'p'))));
  ASSERT_TRUE(f.CommitChange()) << f.LastError();
  f.Unlock();
  EXPECT_EQ(d.Read("F.DAT"), Blocks(1, 'a') + Blocks(1, 'x') + z + Blocks(1, 'd') + Blocks(2, 'p') + z);
  EXPECT_FALSE(d.Has("F.DAT-journal"));

  // A change dropped, or with nothing written, leaves the file as it was.
  const std::string now = d.Read("F.DAT");
  ASSERT_TRUE(f.BeginChange());
  ASSERT_TRUE(f.WriteBlocks(0, 1, U(z)));
  f.AbandonChange();
  ASSERT_TRUE(f.BeginChange());
  ASSERT_TRUE(f.CommitChange());
  EXPECT_EQ(d.Read("F.DAT"), now);
  EXPECT_FALSE(d.Has("F.DAT-journal"));

  BlockFile ro(16);
  ASSERT_TRUE(ro.Open(d.File("F.DAT"), BlockFile::Mode::ReadOnly));
  EXPECT_FALSE(ro.BeginChange());
}

// Writes in any order, inside, before, between and across the runs a
// change holds (and, with a small hold limit, across parts gone out):
// every read sees exactly the latest bytes, and so does the file after
// the commit.
TEST(BlockChange, ReadsAndTheFileShowTheLatestWriteWhateverTheOrder) {
  for (size_t limit : {size_t(1) << 30, size_t(300)}) {
    SCOPED_TRACE(limit);
    TempDir d;
    std::string model = Blocks(20, 'a');
    d.Write("F.DAT", model);
    BlockFile f(16);
    f.SetHoldLimit(limit);
    ASSERT_TRUE(f.Open(d.File("F.DAT"), BlockFile::Mode::ReadWrite));
    ASSERT_TRUE(f.Lock());
    ASSERT_TRUE(f.BeginChange());
    uint32_t seed = 99;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (int w = 0; w < 300; ++w) {
      int64_t first = int64_t(next() % 40), count = 1 + int64_t(next() % 6);
      first = std::min<int64_t>(first, int64_t(model.size() / 16));  // no gap past the end
      std::string bytes(size_t(count) * 16, char('A' + w % 26));
      bytes[0] = char(w);
      ASSERT_TRUE(f.WriteBlocks(first, count, U(bytes))) << f.LastError();
      if (size_t((first + count) * 16) > model.size()) model.resize(size_t((first + count) * 16));
      model.replace(size_t(first) * 16, bytes.size(), bytes);
      std::string got(model.size(), '\0');
      ASSERT_EQ(f.BlockCount(), int64_t(model.size() / 16));
      ASSERT_TRUE(f.ReadBlocks(0, int64_t(model.size() / 16), reinterpret_cast<uint8_t*>(got.data())));
      ASSERT_EQ(got, model) << "after write " << w;
    }
    ASSERT_TRUE(f.CommitChange()) << f.LastError();
    f.Unlock();
    EXPECT_EQ(d.Read("F.DAT"), model);
  }
}

// A change that overwrites, grows the file and goes out in parts (a small
// hold limit), cut short at any of its calls: killed just before it, the
// next opener's roll-back finds the file exactly as before or as after;
// the call failing, the change reports it and has left the file as
// before, or reports none and is whole.
TEST(BlockChange, AKillOrAFullDiskAtAnyCallLeavesTheOldOrTheNewFile) {
  TempDir d;
  const std::string before = Blocks(10, 'a') + "partial";
  auto change = [&](BlockFile& f) {
    if (!f.Lock() || !f.BeginChange()) return false;
    bool ok = true;
    for (int k = 0; k < 6 && ok; ++k) ok = f.WriteBlocks(k * 2, 3, U(Blocks(3, char('A' + k))));
    ok = ok && f.WriteBlocks(0, 1, U(Blocks(1, 'z')));
    ok = f.CommitChange() && ok;
    f.Unlock();
    return ok;
  };
  std::string after;
  long calls;
  {
    d.Write("F.DAT", before);
    BlockFile f(16);
    f.SetHoldLimit(40);  // a part goes out at every third write
    ASSERT_TRUE(f.Open(d.File("F.DAT"), BlockFile::Mode::ReadWrite));
    bool ok = false;
    calls = krv::testing::CountCalls([&] { ok = change(f); });
    ASSERT_TRUE(ok) << f.LastError();
    after = d.Read("F.DAT");
    ASSERT_EQ(after.size(), 13u * 16);
  }
  int olds = 0, news = 0;
  for (long k = 0; k < calls; ++k) {
    for (bool killed : {true, false}) {
      SCOPED_TRACE((killed ? "killed before call " : "call failing: ") + std::to_string(k));
      d.Write("F.DAT", before);
      ::unlink(d.File("F.DAT-journal").c_str());
      bool ok = true;
      std::vector<krv::testing::FileState> left;
      {
        BlockFile f(16);
        f.SetHoldLimit(40);
        ASSERT_TRUE(f.Open(d.File("F.DAT"), BlockFile::Mode::ReadWrite));
        left = krv::testing::CutShortAt(k, killed, {d.File("F.DAT"), d.File("F.DAT-journal")},
                                        [&] { ok = change(f); });
      }
      if (!killed) {
        EXPECT_EQ(*left[0], ok ? after : before);
        // Gone, or emptied where it could not be removed: no journal either way.
        EXPECT_TRUE(!left[1] || left[1]->empty());
      }
      krv::testing::PutState(d.File("K.DAT"), left[0]);
      krv::testing::PutState(d.File("K.DAT-journal"), left[1]);
      BlockFile next(16);
      ASSERT_TRUE(next.Open(d.File("K.DAT"), BlockFile::Mode::ReadOnly));
      BlockFile::Recovery r = next.RecoverJournal();
      EXPECT_NE(r, BlockFile::Recovery::kFailed) << next.LastError();
      std::string found = d.Read("K.DAT");
      ASSERT_TRUE(found == before || found == after) << found.size();
      EXPECT_FALSE(d.Has("K.DAT-journal"));
      (found == before ? olds : news)++;
    }
  }
  EXPECT_GT(olds, 0);
  EXPECT_GT(news, 0);
}

// Rolled back: every entry up to the first that is cut short or does not
// pass its checksum (bytes of an earlier journal, whose salt was
// another), then the file cut to its size before the change. A journal
// whose header does not pass never counted: it is removed and the file
// left alone. Entries past the file's old end count for nothing.
TEST(Journal, OnlyWholeEntriesOfThisJournalAreRolledBack) {
  const std::string now = Blocks(6, 'n');  // the file as the crash left it: grown by two blocks
  const std::string o0 = Blocks(1, 'a'), o2 = Blocks(1, 'c'), o3 = Blocks(1, 'd');
  struct Case {
    const char* what;
    std::string journal;
    std::string expect;  // the file afterwards
  } cases[] = {
      {"whole", Journal(64, {{0, o0}, {2, o2}, {3, o3}}), o0 + now.substr(16, 16) + o2 + o3},
      {"the last entry cut short", Journal(64, {{0, o0}, {2, o2}, {3, o3}}).substr(0, 32 + 28 * 2 + 20),
       o0 + now.substr(16, 16) + o2 + now.substr(48, 16)},
      {"an entry of another journal", Journal(64, {{0, o0}}) + Journal(64, {{2, o2}}, 8).substr(32),
       o0 + now.substr(16, 48)},
      {"an entry past the old end", Journal(40, {{3, o3}, {1, o0}}), now.substr(0, 16) + o0 + now.substr(32, 8)},
      {"no entries", Journal(64, {}), now.substr(0, 64)},
      {"the header cut short", Journal(64, {{0, o0}}).substr(0, 31), now},
      {"empty", "", now},
      {"not a journal", std::string(100, 'J'), now},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir d;
    d.Write("F.DAT", now);
    d.Write("F.DAT-journal", c.journal);
    int fd = ::open(d.File("F.DAT").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    std::string error;
    Rollback r = RollBackJournal(fd, d.File("F.DAT-journal"), error);
    ::close(fd);
    EXPECT_EQ(r, c.expect == now ? Rollback::kTorn : Rollback::kRolledBack) << error;
    EXPECT_EQ(d.Read("F.DAT"), c.expect);
    EXPECT_FALSE(d.Has("F.DAT-journal"));
  }
  TempDir d;
  d.Write("F.DAT", now);
  int fd = ::open(d.File("F.DAT").c_str(), O_RDWR);
  std::string error;
  EXPECT_EQ(RollBackJournal(fd, d.File("F.DAT-journal"), error), Rollback::kNone);
  ::close(fd);
}

// A journal beside a file whose lock another holds is that holder's,
// under way: it is left alone until the lock is let go.
TEST(Journal, AJournalInUseIsLeftToItsHolder) {
  TempDir d;
  d.Write("F.DAT", Blocks(4, 'n'));
  d.Write("F.DAT-journal", Journal(32, {{0, Blocks(1, 'a')}}));
  int holder = ::open(d.File("F.DAT").c_str(), O_RDWR);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  BlockFile f(16);
  ASSERT_TRUE(f.Open(d.File("F.DAT"), BlockFile::Mode::ReadOnly));
  EXPECT_EQ(f.RecoverJournal(), BlockFile::Recovery::kBusy);
  EXPECT_TRUE(d.Has("F.DAT-journal"));
  ::close(holder);
  EXPECT_EQ(f.RecoverJournal(), BlockFile::Recovery::kRolledBack);
  EXPECT_EQ(d.Read("F.DAT"), Blocks(1, 'a') + Blocks(1, 'o'));
  EXPECT_EQ(f.RecoverJournal(), BlockFile::Recovery::kNone);
}

// The shared lock for reading: taken, it keeps changes out but not other
// readers; a journal found under it is a change cut short, rolled back
// (or, torn, removed) before the lock is handed over; one that cannot be
// rolled back leaves no lock held.
TEST(Journal, TheSharedLockRollsBackAJournalLeftBehindFirst) {
  enum class Left { kNone, kWhole, kTorn, kUnreadable };
  struct Case {
    const char* what;
    Left journal;
    BlockFile::ReadLock result;
    std::string file;  // after LockShared
    bool journalStays;
  } cases[] = {
      {"no journal", Left::kNone, BlockFile::ReadLock::kHeld, Blocks(4, 'n'), false},
      {"a journal left behind", Left::kWhole, BlockFile::ReadLock::kHeld, Blocks(1, 'a') + Blocks(1, 'o'), false},
      {"a journal cut short before its header", Left::kTorn, BlockFile::ReadLock::kHeld, Blocks(4, 'n'), false},
      {"a journal that cannot be read", Left::kUnreadable, BlockFile::ReadLock::kRestoreFailed, Blocks(4, 'n'), true},
  };
  for (const Case& c : cases) {
    TempDir d;
    d.Write("F.DAT", Blocks(4, 'n'));
    if (c.journal == Left::kWhole) d.Write("F.DAT-journal", Journal(32, {{0, Blocks(1, 'a')}}));
    if (c.journal == Left::kTorn) d.Write("F.DAT-journal", "");
    if (c.journal == Left::kUnreadable) {
      ASSERT_EQ(::mkdir(d.File("F.DAT-journal").c_str(), 0755), 0);
    }
    BlockFile f(16);
    ASSERT_TRUE(f.Open(d.File("F.DAT"), BlockFile::Mode::ReadOnly)) << c.what;
    EXPECT_EQ(f.LockShared(), c.result) << c.what;
    EXPECT_EQ(d.Read("F.DAT"), c.file) << c.what;
    EXPECT_EQ(d.Has("F.DAT-journal"), c.journalStays) << c.what;
    int other = ::open(d.File("F.DAT").c_str(), O_RDONLY);
    ASSERT_GE(other, 0);
    bool held = c.result == BlockFile::ReadLock::kHeld;
    EXPECT_EQ(::flock(other, LOCK_EX | LOCK_NB) == 0, !held) << c.what;
    ::flock(other, LOCK_UN);
    EXPECT_EQ(::flock(other, LOCK_SH | LOCK_NB), 0) << c.what;
    ::flock(other, LOCK_UN);
    f.Unlock();
    EXPECT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0) << c.what;
    ::close(other);
  }
}

// A change under way in another process, its journal beside the file:
// the shared lock waits for it to end, and what is read then is the whole
// change, its journal never rolled back by the reader.
TEST(Journal, TheSharedLockWaitsForAChangeUnderWay) {
  TempDir d;
  d.Write("F.DAT", Blocks(4, 'n'));
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t writer = ::fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    int fd = ::open(d.File("F.DAT").c_str(), O_RDWR);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0) ::_exit(1);
    std::string j = Journal(64, {{0, Blocks(1, 'n')}});
    int jfd = ::open(d.File("F.DAT-journal").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (jfd < 0 || ::write(jfd, j.data(), j.size()) != ssize_t(j.size())) ::_exit(1);
    ::close(jfd);
    if (::write(ready[1], "x", 1) != 1) ::_exit(1);
    ::usleep(200 * 1000);  // the reader is waiting by now
    std::string now = Blocks(1, 'w');
    if (::pwrite(fd, now.data(), now.size(), 0) != ssize_t(now.size())) ::_exit(1);
    ::unlink(d.File("F.DAT-journal").c_str());
    ::_exit(0);  // lets the lock go
  }
  char x;
  ASSERT_EQ(::read(ready[0], &x, 1), 1);
  BlockFile f(16);
  ASSERT_TRUE(f.Open(d.File("F.DAT"), BlockFile::Mode::ReadOnly));
  EXPECT_EQ(f.LockShared(), BlockFile::ReadLock::kHeld);
  uint8_t first[16];
  ASSERT_TRUE(f.ReadBlocks(0, 1, first));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(first), 16), Blocks(1, 'w'));
  f.Unlock();
  int status = -1;
  ASSERT_EQ(::waitpid(writer, &status, 0), writer);
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(d.Has("F.DAT-journal"));
  ::close(ready[0]);
  ::close(ready[1]);
}
