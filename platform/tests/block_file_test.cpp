// Fixed-size records read and written in place, their lock, and the
// hourglass scope.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

#include "platform/block_file.h"
#include "platform/hourglass.h"
#include "testing/program.h"
#include "testing/temp_dir.h"

using namespace krv::platform;
using krv::testing::TempDir;

namespace {

// The modification time of `path`; zero when it cannot be read.
timespec ModifiedAt(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mtim : timespec{};
}

bool Later(const timespec& a, const timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

// Waits until the file system stamps a file written now later than `path`:
// its clock is coarser than a test's steps.
bool ClockPast(const TempDir& d, const std::string& path) {
  const timespec then = ModifiedAt(path);
  return krv::testing::WaitUntil(
      [&] {
        d.Write("clock.probe", "x");
        return Later(ModifiedAt(d.File("clock.probe")), then);
      },
      std::chrono::seconds(30), "a file time later than " + path);
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
  ASSERT_TRUE(ClockPast(d, d.File("F.DAT")));
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
