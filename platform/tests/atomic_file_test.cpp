// The file writers: every system call they make is made to fail in turn;
// at every step the crash-safe writer's target must be the old file or the
// new one, and the scratch writer leaves the whole file or none.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>

#include "platform/atomic_file.h"
#include "platform/byte_io.h"
#include "platform/run_lock.h"
#include "platform/scratch_file.h"
#include "testing/failing_calls.h"
#include "testing/temp_dir.h"

using krv::platform::AtomicFile;
using krv::platform::ScratchFile;
using krv::platform::WriteFileAtomic;
using krv::platform::WriteScratchFile;
using krv::testing::FailingCalls;
using krv::testing::TempDir;

namespace {

std::set<std::string> Entries(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

bool Done(AtomicFile& f) { return f.Commit(); }
bool Done(ScratchFile& f) { return f.Close(); }

// Writes `bytes` in pieces, so the buffer fills and both write paths run.
template <class File = AtomicFile>
bool Save(const std::string& path, const std::string& bytes, std::string* error = nullptr) {
  File f;
  bool ok = f.Open(path);
  for (size_t i = 0; ok && i < bytes.size(); i += 40000) ok = f.Write(std::string_view(bytes).substr(i, 40000));
  ok = ok && Done(f);
  if (error) *error = f.Error();
  return ok;
}

std::string Fresh() {
  std::string bytes(200000, 'x');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char('a' + i % 26);
  return bytes;
}

}  // namespace

TEST(AtomicFile, EveryFailingCallLeavesTheOldOrTheNewFileAndNoTemporary) {
  const std::string fresh(200000, 'n');
  for (bool hadOld : {true, false}) {
    long calls;
    {
      TempDir d;
      if (hadOld) d.Write("OUT.GTY", "old");
      FailingCalls count;
      ASSERT_TRUE(Save(d.File("OUT.GTY"), fresh));
      calls = count.counted();
    }
    ASSERT_GT(calls, 6);
    for (long k = 0; k < calls; ++k) {
      SCOPED_TRACE("old file " + std::to_string(hadOld) + ", failing call " + std::to_string(k));
      TempDir d;
      if (hadOld) d.Write("OUT.GTY", "old");
      std::string error;
      bool ok;
      {
        FailingCalls fail;
        fail.failAt = k;
        fail.error = ENOSPC;
        // A kill just before any call finds the target whole, old or new.
        fail.before = [&](const char*) {
          if (d.Has("OUT.GTY")) {
            std::string now = d.Read("OUT.GTY");
            EXPECT_TRUE(now == (hadOld ? "old" : "") || now == fresh) << now.size();
          }
        };
        ok = Save(d.File("OUT.GTY"), fresh, &error);
      }
      EXPECT_EQ(Entries(d.path()), hadOld || d.Has("OUT.GTY") ? std::set<std::string>{"OUT.GTY"}
                                                              : std::set<std::string>{});
      if (ok) {
        EXPECT_EQ(d.Read("OUT.GTY"), fresh);
      } else {
        EXPECT_EQ(error, "Cannot write " + d.File("OUT.GTY") + ": No space left on device");
        if (d.Has("OUT.GTY")) {
          std::string now = d.Read("OUT.GTY");
          EXPECT_TRUE(now == fresh || (hadOld && now == "old"));
        }
      }
    }
  }
}

TEST(AtomicFile, SignalsAndShortWritesDoNotCutTheFile) {
  TempDir d;
  std::string bytes(300000, 'x');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char('a' + i % 26);
  FailingCalls calls;
  calls.interrupt = true;
  calls.shortWrites = 999;
  ASSERT_TRUE(Save(d.File("x.VNM"), bytes));
  EXPECT_EQ(d.Read("x.VNM"), bytes);

  AtomicFile blocks;
  ASSERT_TRUE(blocks.Open(d.File("x.TTR")));
  ASSERT_TRUE(blocks.WriteAt(5000, "tail", 4));
  ASSERT_TRUE(blocks.WriteAt(0, "head", 4));
  ASSERT_TRUE(blocks.Commit());
  std::string ttr = d.Read("x.TTR");
  ASSERT_EQ(ttr.size(), 5004u);
  EXPECT_EQ(ttr.substr(0, 4), "head");
  EXPECT_EQ(ttr.substr(5000), "tail");
  EXPECT_EQ(ttr[100], '\0');
}

TEST(AtomicFile, KeepsModeAndWritesThroughSymbolicLinks) {
  TempDir d;
  std::filesystem::create_directory(d.File("data"));
  d.Write("data/real.PRB", "old");
  ASSERT_EQ(::chmod(d.File("data/real.PRB").c_str(), 0640), 0);
  ASSERT_EQ(::symlink("data/real.PRB", d.File("hop.PRB").c_str()), 0);
  ASSERT_EQ(::symlink("hop.PRB", d.File("MODEL.PRB").c_str()), 0);

  ASSERT_TRUE(WriteFileAtomic(d.File("model.prb"), "new"));
  struct stat st;
  ASSERT_EQ(::lstat(d.File("MODEL.PRB").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(::lstat(d.File("hop.PRB").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(d.Read("data/real.PRB"), "new");
  ASSERT_EQ(::stat(d.File("data/real.PRB").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(Entries(d.path()), (std::set<std::string>{"MODEL.PRB", "data", "hop.PRB"}));
  EXPECT_EQ(Entries(d.File("data")), std::set<std::string>{"real.PRB"});

  // A link to a file not there yet creates that file.
  ASSERT_EQ(::symlink("data/later.PRB", d.File("LATER.PRB").c_str()), 0);
  ASSERT_TRUE(WriteFileAtomic(d.File("LATER.PRB"), "made"));
  EXPECT_EQ(d.Read("data/later.PRB"), "made");

  // A new file gets the usual mode under the process's umask.
  mode_t old = ::umask(027);
  ASSERT_TRUE(WriteFileAtomic(d.File("NEW.GTY"), "x"));
  ::umask(old);
  ASSERT_EQ(::stat(d.File("NEW.GTY").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(AtomicFile, RefusesWhatItCannotReplaceNamingTheFile) {
  TempDir d;
  d.Write("LOCKED.PRB", "keep");
  ASSERT_EQ(::chmod(d.File("LOCKED.PRB").c_str(), 0444), 0);
  std::filesystem::create_directory(d.File("DIR.PRB"));
  ASSERT_EQ(::symlink("LOCKED.PRB", d.File("VIA.PRB").c_str()), 0);
  ASSERT_EQ(::symlink("LOOP.PRB", d.File("LOOP.PRB").c_str()), 0);
  struct Case {
    const char* name;
    const char* reason;
  } cases[] = {
      {"LOCKED.PRB", "the file is read-only"},
      {"VIA.PRB", "the file is read-only"},
      {"DIR.PRB", std::strerror(EISDIR)},
      {"LOOP.PRB", std::strerror(ELOOP)},
      {"no/such/dir/X.PRB", std::strerror(ENOENT)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    EXPECT_FALSE(WriteFileAtomic(d.File(c.name), "new", &error));
    EXPECT_EQ(error, "Cannot write " + d.File(c.name) + ": " + c.reason);
  }
  EXPECT_EQ(d.Read("LOCKED.PRB"), "keep");
  EXPECT_EQ(Entries(d.path()), (std::set<std::string>{"DIR.PRB", "LOCKED.PRB", "LOOP.PRB", "VIA.PRB"}));

  // A directory that refuses new files: the reason is the system's.
  FailingCalls readOnly;
  readOnly.only = "MakeTemp";
  readOnly.failAt = 0;
  readOnly.error = EACCES;
  std::string error;
  EXPECT_FALSE(WriteFileAtomic(d.File("OUT.VNM"), "x", &error));
  EXPECT_EQ(error, "Cannot write " + d.File("OUT.VNM") + ": Permission denied");
}

TEST(AtomicFile, AnAbandonedFileLeavesTheTargetAlone) {
  TempDir d;
  d.Write("A.PSY", "old");
  {
    AtomicFile f;
    ASSERT_TRUE(f.Open(d.File("A.PSY")));
    ASSERT_TRUE(f.Write("new"));
    ASSERT_TRUE(f.Finish());
  }
  EXPECT_EQ(d.Read("A.PSY"), "old");
  EXPECT_EQ(Entries(d.path()), std::set<std::string>{"A.PSY"});
}

TEST(ScratchFile, ReplacesTheFileInPlaceUnderItsDiskSpellingWithoutAFlush) {
  TempDir d;
  d.Write("tmpqtl.tmp", std::string(300000, 'o'));
  std::set<std::string> made;
  {
    FailingCalls calls;
    calls.interrupt = true;
    calls.shortWrites = 999;
    calls.before = [&](const char* name) { made.insert(name); };
    ASSERT_TRUE(Save<ScratchFile>(d.File("TMPQTL.TMP"), Fresh()));
  }
  EXPECT_EQ(d.Read("tmpqtl.tmp"), Fresh());
  EXPECT_EQ(Entries(d.path()), std::set<std::string>{"tmpqtl.tmp"});
  EXPECT_EQ(made.count("Sync"), 0u);
  EXPECT_EQ(made.count("MakeTemp"), 0u);
  EXPECT_EQ(made.count("Rename"), 0u);
}

TEST(ScratchFile, EveryFailingCallNamesTheFileAndLeavesNothing) {
  long calls;
  {
    TempDir d;
    FailingCalls count;
    ASSERT_TRUE(Save<ScratchFile>(d.File("SAVI.TMP"), Fresh()));
    calls = count.counted();
  }
  ASSERT_GT(calls, 3);
  for (long k = 0; k < calls; ++k) {
    SCOPED_TRACE("failing call " + std::to_string(k));
    TempDir d;
    std::string error;
    {
      FailingCalls fail;
      fail.failAt = k;
      fail.error = ENOSPC;
      EXPECT_FALSE(Save<ScratchFile>(d.File("SAVI.TMP"), Fresh(), &error));
    }
    EXPECT_EQ(error, "Cannot write " + d.File("SAVI.TMP") + ": No space left on device");
    EXPECT_EQ(Entries(d.path()), std::set<std::string>{});
  }
}

TEST(ScratchFile, RefusesAReadOnlyFileAndANameItCannotCreate) {
  TempDir d;
  d.Write("SAVIJ.TMP", "keep");
  ASSERT_EQ(::chmod(d.File("SAVIJ.TMP").c_str(), 0444), 0);
  std::string error;
  EXPECT_FALSE(WriteScratchFile(d.File("SAVIJ.TMP"), "new", &error));
  EXPECT_EQ(error, "Cannot write " + d.File("SAVIJ.TMP") + ": the file is read-only");
  EXPECT_EQ(d.Read("SAVIJ.TMP"), "keep");
  EXPECT_FALSE(WriteScratchFile(d.File("no/such/SAVI.TMP"), "new", &error));
  EXPECT_EQ(error, "Cannot write " + d.File("no/such/SAVI.TMP") + ": No such file or directory");
}

TEST(RunLock, ASecondRunIsToldBusyUntilTheFirstLetsGo) {
  TempDir d;
  krv::platform::RunLock first, second;
  ASSERT_TRUE(first.TryLock(d.File(".run.lock")));
  EXPECT_FALSE(second.TryLock(d.File(".run.lock")));
  EXPECT_TRUE(second.Busy());
  EXPECT_EQ(second.Error(), "");
  first.Release();
  EXPECT_FALSE(d.Has(".run.lock"));
  ASSERT_TRUE(second.TryLock(d.File(".run.lock")));
  EXPECT_FALSE(second.Busy());
  EXPECT_FALSE(first.TryLock(d.File(".run.lock")));

  krv::platform::RunLock nowhere;
  EXPECT_FALSE(nowhere.TryLock(d.File("gone/.run.lock")));
  EXPECT_FALSE(nowhere.Busy());
  EXPECT_EQ(nowhere.Error(), "Cannot lock " + d.File("gone/.run.lock") + ": No such file or directory");
}
