// Fixed-size records read and written in place, their lock, and the
// hourglass scope.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/wait.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

#include "platform/block_file.h"
#include "platform/hourglass.h"
#include "platform/mapped_copy.h"
#include "testing/failing_calls.h"
#include "testing/temp_dir.h"

using namespace krv::platform;
using krv::testing::FailingCalls;
using krv::testing::TempDir;

namespace {

// How the writes of WriteRunsInOrder reach the file: the system's own
// single submission, or, through a test table, each as a counted write
// with every piece attempted, or one after another where the system
// takes no batch.
enum class Way { kSystem, kBatch, kOneByOne };
const Way kWays[] = {Way::kSystem, Way::kBatch, Way::kOneByOne};
const char* Name(Way w) { return w == Way::kSystem ? "system" : w == Way::kBatch ? "batch" : "one by one"; }

std::unique_ptr<FailingCalls> Calls(Way w) {
  if (w == Way::kSystem) return nullptr;
  auto calls = std::make_unique<FailingCalls>();
  calls->batches = w == Way::kBatch;
  return calls;
}

// In a child: the first run crosses the largest size the process may
// write (a short write, then a refusal), the second is record 0. Exits
// 0 when the failure is reported with its reason.
[[noreturn]] void WriteAcrossTheSizeLimit(const std::string& path, Way way, const uint8_t* x) {
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{6 * 128, 6 * 128};
  ::setrlimit(RLIMIT_FSIZE, &limit);
  BlockFile f(128);
  if (!f.Open(path, BlockFile::Mode::ReadWrite)) ::_exit(2);
  std::unique_ptr<FailingCalls> calls = Calls(way);
  BlockFile::WriteRun runs[] = {{4, 3, x}, {0, 1, x}};
  bool ok = f.WriteRunsInOrder(runs, 2);
  calls.reset();
  ::_exit(!ok && f.LastError() == "File too large" ? 0 : 3);
}

}  // namespace

TEST(BlockFile, ReadsAndWritesRecordsInPlace) {
  TempDir d;
  d.Write("F.DAT", std::string(256, 'a') + "tail");  // two whole records and a part
  BlockFile f(128);
  ASSERT_TRUE(f.Open(d.File("F.DAT"), BlockFile::Mode::ReadWrite));
  EXPECT_EQ(f.BlockCount(), 2);
  uint8_t rec[256];
  std::fill(rec, rec + 256, uint8_t('b'));
  ASSERT_TRUE(f.WriteBlocks(1, 2, rec));  // over the part and beyond
  EXPECT_EQ(f.BlockCount(), 3);
  ASSERT_TRUE(f.ReadBlocks(0, 2, rec));
  EXPECT_EQ(rec[127], 'a');
  EXPECT_EQ(rec[128], 'b');
  EXPECT_FALSE(f.ReadBlocks(2, 2, rec));  // past the end
  EXPECT_EQ(f.LastError(), "unexpected end of file");
  EXPECT_FALSE(f.ReadBlocks(INT64_MAX / 64, 1, rec));  // offset out of range
  EXPECT_FALSE(f.ReadBlocks(-1, 1, rec));
  EXPECT_EQ(d.Read("F.DAT"), std::string(128, 'a') + std::string(256, 'b'));

  BlockFile ro(64);
  ASSERT_TRUE(ro.Open(d.File("F.DAT"), BlockFile::Mode::ReadOnly));
  EXPECT_TRUE(ro.IsReadOnly());
  EXPECT_EQ(ro.BlockCount(), 6);
  EXPECT_FALSE(ro.WriteBlocks(0, 1, rec));
  EXPECT_FALSE(ro.LastError().empty());

  BlockFile missing(128);
  EXPECT_FALSE(missing.Open(d.File("NONE"), BlockFile::Mode::ReadOnly));
  EXPECT_EQ(missing.LastError(), "No such file or directory");
  EXPECT_FALSE(missing.Open(d.path(), BlockFile::Mode::ReadOnly));  // a directory
}

TEST(BlockFile, ReopenFollowsAFileWrittenAnewUnderThePath) {
  TempDir d;
  d.Write("F.DAT", std::string(128, 'a'));
  BlockFile f(128);
  ASSERT_TRUE(f.Open(d.File("F.DAT"), BlockFile::Mode::ReadOnly));
  uint8_t rec[128];
  struct Case {
    const char* what;
    std::function<void()> change;
    char expect;
  } cases[] = {
      {"grown in place", [&] { d.Write("F.DAT", std::string(256, 'b')); }, 'b'},
      {"deleted and written anew",
       [&] {
         ASSERT_EQ(::unlink(d.File("F.DAT").c_str()), 0);
         d.Write("F.DAT", std::string(128, 'c'));
       },
       'c'},
      {"renamed over",
       [&] {
         d.Write("G.DAT", std::string(128, 'e'));
         ASSERT_EQ(::rename(d.File("G.DAT").c_str(), d.File("F.DAT").c_str()), 0);
       },
       'e'},
  };
  for (const Case& c : cases) {
    c.change();
    ASSERT_TRUE(f.Reopen()) << c.what;
    ASSERT_TRUE(f.ReadBlocks(0, 1, rec)) << c.what;
    EXPECT_EQ(rec[0], c.expect) << c.what;
    EXPECT_EQ(f.Path(), d.File("F.DAT"));
  }
  ASSERT_EQ(::unlink(d.File("F.DAT").c_str()), 0);
  EXPECT_FALSE(f.Reopen());
  EXPECT_FALSE(f.IsOpen());
  EXPECT_EQ(f.LastError(), "No such file or directory");
}

// A write through another descriptor, even one that keeps the size,
// gives another stamp; no write keeps it.
TEST(BlockFile, StampTellsAnotherWriteApart) {
  TempDir d;
  d.Write("F.DAT", std::string(256, 'a'));
  BlockFile f(128);
  ASSERT_TRUE(f.Open(d.File("F.DAT"), BlockFile::Mode::ReadOnly));
  BlockFile::Stamp a, b;
  ASSERT_TRUE(f.GetStamp(a));
  ASSERT_TRUE(f.GetStamp(b));
  EXPECT_EQ(a, b);
  EXPECT_EQ(a.size, 256);
  ::usleep(20000);  // past the coarsest clock a file system keeps times with
  int other = ::open(d.File("F.DAT").c_str(), O_RDWR);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::pwrite(other, "b", 1, 5), 1);
  ASSERT_TRUE(f.GetStamp(b));
  EXPECT_NE(a, b);
  EXPECT_EQ(b.size, 256);
  ASSERT_EQ(::pwrite(other, "c", 1, 256), 1);
  ::close(other);
  ASSERT_TRUE(f.GetStamp(a));
  EXPECT_EQ(a.size, 257);
  BlockFile closed(128);
  EXPECT_FALSE(closed.GetStamp(a));
}

// Runs go out in their order, each whole in its place, whichever way
// they reach the file, through interrupted and short writes too.
TEST(BlockFile, WriteRunsInOrderPutsEachRunInItsPlace) {
  for (Way way : kWays) {
    for (bool cut : {false, true}) {
      SCOPED_TRACE(std::string(Name(way)) + (cut ? ", interrupted and cut" : ""));
      TempDir d;
      d.Write("F.DAT", std::string(4 * 128, '.'));
      BlockFile f(128);
      ASSERT_TRUE(f.Open(d.File("F.DAT"), BlockFile::Mode::ReadWrite));
      std::string a(2 * 128, 'a'), b(128, 'b'), c(128, 'c');
      auto u = [](const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); };
      // Past the end, over a part, then over the first: twelve runs take
      // more than one submission.
      std::vector<BlockFile::WriteRun> runs = {{5, 2, u(a)}, {3, 1, u(b)}};
      for (int k = 0; k < 10; ++k) runs.push_back({0, 1, u(k % 2 ? c : b)});
      std::unique_ptr<FailingCalls> calls = Calls(way);
      if (calls && cut) {
        calls->interrupt = true;
        calls->shortWrites = 100;
      }
      if (!calls && cut) continue;
      ASSERT_TRUE(f.WriteRunsInOrder(runs.data(), runs.size())) << f.LastError();
      calls.reset();
      EXPECT_EQ(d.Read("F.DAT"), c + std::string(2 * 128, '.') + b + std::string(128, '\0') + a);
      EXPECT_TRUE(f.WriteRunsInOrder(runs.data(), 0));
    }
  }
}

// Taken together, a run is written even after one before it failed; one
// after another, nothing follows a failed run. Either way the failure
// is reported with the system's reason.
TEST(BlockFile, WriteRunsInOrderReportsAFailedRun) {
  for (Way way : kWays) {
    SCOPED_TRACE(Name(way));
    TempDir d;
    d.Write("F.DAT", std::string(4 * 128, '.'));
    std::string bytes(3 * 128, 'x');
    const auto* x = reinterpret_cast<const uint8_t*>(bytes.data());
    EXPECT_EXIT(WriteAcrossTheSizeLimit(d.File("F.DAT"), way, x), ::testing::ExitedWithCode(0), "");
    bool batched = way != Way::kOneByOne;
    EXPECT_EQ(d.Read("F.DAT"), (batched ? std::string(128, 'x') : std::string(128, '.')) +
                                   std::string(3 * 128, '.') + std::string(2 * 128, 'x'));

    BlockFile ro(128);
    ASSERT_TRUE(ro.Open(d.File("F.DAT"), BlockFile::Mode::ReadOnly));
    std::unique_ptr<FailingCalls> calls = Calls(way);
    BlockFile::WriteRun runs[] = {{1, 1, x}, {0, 1, x}, {-1, 1, x}};
    EXPECT_FALSE(ro.WriteRunsInOrder(runs, 2));
    EXPECT_EQ(ro.LastError(), "Bad file descriptor");
    BlockFile rw(128);
    ASSERT_TRUE(rw.Open(d.File("F.DAT"), BlockFile::Mode::ReadWrite));
    EXPECT_FALSE(rw.WriteRunsInOrder(runs + 2, 1));  // no such block
    calls.reset();
    EXPECT_EQ(d.Read("F.DAT").substr(128, 128), std::string(128, '.'));
  }
}

// A file opened for writing skips access-time updates where its owner
// may ask for that; anyone else it lets write opens it all the same.
TEST(BlockFile, AnotherOwnersFileOpensForWriting) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs a file of another owner";
  TempDir d;
  d.Write("F.DAT", std::string(128, 'a'));
  ASSERT_EQ(::chmod(d.path().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(d.File("F.DAT").c_str(), 0666), 0);
  EXPECT_EXIT(
      {
        if (::setuid(65534) != 0) ::_exit(2);
        BlockFile f(128);
        uint8_t rec[128] = {'b'};
        ::_exit(f.Open(d.File("F.DAT"), BlockFile::Mode::ReadWrite) && f.WriteBlocks(0, 1, rec) ? 0 : 3);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(d.Read("F.DAT")[0], 'b');
}

TEST(BlockFile, LockKeepsOtherHoldersOut) {
  TempDir d;
  d.Write("F.DAT", std::string(128, 0));
  BlockFile a(128);
  ASSERT_TRUE(a.Open(d.File("F.DAT"), BlockFile::Mode::ReadWrite));
  int other = ::open(d.File("F.DAT").c_str(), O_RDWR);
  ASSERT_GE(other, 0);
  {
    BlockFileLock lock(a);
    EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0);
  }
  EXPECT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  ::close(other);
}

// Block 0 from the kept mapping: what any descriptor last wrote, and,
// when the file is cut short beneath it, a failed read with the reason
// instead of the end of the program.
TEST(BlockFile, FirstBlockShowsEveryWriteAndOutlivesTheFileCutBeneathIt) {
  TempDir d;
  d.Write("F.DAT", std::string(256, 'a'));
  BlockFile f(128);
  ASSERT_TRUE(f.Open(d.File("F.DAT"), BlockFile::Mode::ReadWrite));
  int other = ::open(d.File("F.DAT").c_str(), O_RDWR);
  ASSERT_GE(other, 0);
  uint8_t rec[128];
  struct Case {
    const char* what;
    std::function<void()> change;
    int64_t size;  // what the reader last saw
    bool read;
    char expect;
  } cases[] = {
      {"as written", [] {}, 256, true, 'a'},
      {"another descriptor's write", [&] { ASSERT_EQ(::pwrite(other, std::string(128, 'b').data(), 128, 0), 128); },
       256, true, 'b'},
      {"its own write",
       [&] {
         std::fill(rec, rec + 128, uint8_t('c'));
         ASSERT_TRUE(f.WriteBlocks(0, 1, rec));
       },
       256, true, 'c'},
      {"cut to nothing, still thought whole", [&] { ASSERT_EQ(::ftruncate(other, 0), 0); }, 256, false, 0},
      {"cut to half a block", [&] { ASSERT_EQ(::pwrite(other, "dddd", 4, 0), 4); }, 4, false, 0},
      {"whole again", [&] { ASSERT_EQ(::pwrite(other, std::string(128, 'e').data(), 128, 0), 128); }, 128, true,
       'e'},
      {"renamed over and opened again",
       [&] {
         d.Write("G.DAT", std::string(128, 'f'));
         ASSERT_EQ(::rename(d.File("G.DAT").c_str(), d.File("F.DAT").c_str()), 0);
         ASSERT_TRUE(f.Reopen());
       },
       128, true, 'f'},
  };
  for (const Case& c : cases) {
    c.change();
    std::fill(rec, rec + 128, uint8_t(0));
    ASSERT_EQ(f.ReadFirstBlock(rec, c.size), c.read) << c.what;
    if (c.read)
      EXPECT_EQ(rec[0], c.expect) << c.what;
    else
      EXPECT_EQ(f.LastError(), "unexpected end of file") << c.what;
  }
  ::close(other);
}

// A fault that is not one of the guarded copies ends the program as it
// would have: the guard takes only its own pages.
TEST(MappedCopy, AFaultElsewhereStillEndsTheProgram) {
  TempDir d;
  d.Write("F.DAT", std::string(4096, 'a'));
  d.Write("G.DAT", std::string(4096, 'b'));
  auto fault = [&] {
    int f = ::open(d.File("F.DAT").c_str(), O_RDWR);
    int g = ::open(d.File("G.DAT").c_str(), O_RDWR);
    auto* mf = static_cast<const volatile char*>(::mmap(nullptr, 4096, PROT_READ, MAP_SHARED, f, 0));
    auto* mg = static_cast<const char*>(::mmap(nullptr, 4096, PROT_READ, MAP_SHARED, g, 0));
    char out[16];
    if (!CopyFromMapping(out, mg, sizeof out) || out[0] != 'b') ::_exit(3);  // the guard is in place
    if (::ftruncate(g, 0) != 0 || CopyFromMapping(out, mg, sizeof out)) ::_exit(4);
    if (::ftruncate(f, 0) != 0) ::_exit(5);
    char c = mf[0];  // unguarded
    (void)c;
    ::_exit(0);
  };
  // Killed by SIGBUS; under a sanitizer, whose own handler reports it, a
  // failure exit. Either way not the survivor's 0, nor the setup's codes.
  EXPECT_EXIT(fault(), [](int status) {
    return WIFSIGNALED(status) ? WTERMSIG(status) == SIGBUS : WEXITSTATUS(status) != 0 && WEXITSTATUS(status) < 3;
  }, "");
}

TEST(Hourglass, ShowsForTheScopeOnlyWhereADisplayIsInstalled) {
  struct Counting : HourglassDisplay {
    int shown = 0, restored = 0;
    void Show() override { ++shown; }
    void Restore() override { ++restored; }
  } display;
  { Hourglass silent; }
  SetHourglassDisplay(&display);
  {
    Hourglass outer;
    Hourglass inner;
    EXPECT_EQ(display.shown, 2);
    EXPECT_EQ(display.restored, 0);
  }
  EXPECT_EQ(display.restored, 2);
  SetHourglassDisplay(nullptr);
  { Hourglass again; }
  EXPECT_EQ(display.shown, 2);
}
