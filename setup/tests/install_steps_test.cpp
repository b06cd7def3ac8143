// Tests of the installer's moves, its list and its main directory.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "platform/user_prompts.h"
#include "setup/install_list.h"
#include "setup/install_steps.h"
#include "testing/temp_dir.h"

namespace fs = std::filesystem;
using namespace krv::setup;
using krv::platform::ScriptedPrompts;
using krv::testing::TempDir;

namespace {

// A scratch directory on another file system than the temporary
// directory, where the machine has one (a tmpfs under /dev/shm).
class OtherFileSystemDir {
 public:
  OtherFileSystemDir() {
    struct stat a, b;
    if (::stat("/dev/shm", &a) != 0 || ::stat(fs::temp_directory_path().c_str(), &b) != 0 ||
        a.st_dev == b.st_dev)
      return;
    char tmpl[] = "/dev/shm/krv-test-XXXXXX";
    if (::mkdtemp(tmpl)) path_ = tmpl;
  }
  ~OtherFileSystemDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string Bytes(size_t n) {
  std::string s(n, '\0');
  unsigned x = 12345;
  for (char& c : s) c = char((x = x * 1103515245u + 12345u) >> 16);
  return s;
}

struct timespec MTime(const std::string& path) {
  struct stat st;
  ::stat(path.c_str(), &st);
  return st.st_mtim;
}

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

TEST(MoveInstallFile, ArrivesWholeWithDateAndModeAndTheSourceGoes) {
  struct Case {
    const char* name;
    size_t size;
    mode_t mode;
  } cases[] = {
      {"empty", 0, 0644}, {"one block", 2048, 0644}, {"two blocks", 4096, 0644},
      {"a byte more", 4097, 0600}, {"Helmsman", 70000, 0755},
  };
  TempDir here;
  OtherFileSystemDir there;
  std::vector<std::string> targets = {here.path()};
  if (!there.path().empty()) targets.push_back(there.path());
  // An odd second, so a two-second rounding would show.
  const struct timespec when[2] = {{1589000001, 0}, {1589000001, 500000000}};
  for (const std::string& target : targets) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + " into " + target);
      const std::string src = here.File(std::string("src ") + c.name);
      const std::string dst = target + "/dest " + c.name;
      here.Write(std::string("src ") + c.name, Bytes(c.size));
      ::chmod(src.c_str(), c.mode);
      ::utimensat(AT_FDCWD, src.c_str(), when, 0);
      ScriptedPrompts prompts;
      ASSERT_TRUE(MoveInstallFile(src, dst));
      EXPECT_TRUE(prompts.messages.empty());
      EXPECT_FALSE(fs::exists(src));
      std::string got;
      {
        TempDir t;
        fs::copy_file(dst, t.File("x"));
        got = t.Read("x");
      }
      EXPECT_EQ(got, Bytes(c.size));
      struct stat st;
      ::stat(dst.c_str(), &st);
      EXPECT_EQ(st.st_mode & 07777, c.mode);
      EXPECT_EQ(MTime(dst).tv_sec, when[1].tv_sec);
    }
    // No temporary is left beside the moved files.
    for (const std::string& e : Entries(target)) EXPECT_EQ(e.rfind("dest ", 0), 0u) << e;
  }
}

TEST(MoveInstallFile, FailureNamesBothPathsKeepsTheSourceAndWritesNothing) {
  TempDir here;
  OtherFileSystemDir there;
  here.Write("KRVSRC.TXT", "program text\r\n");
  fs::create_directory(here.File("taken"));
  here.Write("taken/inside", "x");
  struct Case {
    std::string name, source, destination;
  };
  std::vector<Case> cases = {
      {"missing source", here.File("Sequist"), here.File("PGM/Sequist")},
      {"destination directory missing", here.File("KRVSRC.TXT"), here.File("NOPGM/KRVSRC.TXT")},
      {"destination is a directory", here.File("KRVSRC.TXT"), here.File("taken")},
  };
  if (!there.path().empty())
    cases.push_back({"other file system, directory missing", here.File("KRVSRC.TXT"),
                     there.path() + "/NOPGM/KRVSRC.TXT"});
  if (::geteuid() != 0) {
    fs::create_directory(here.File("ro"));
    ::chmod(here.File("ro").c_str(), 0555);
    cases.push_back({"read-only directory", here.File("KRVSRC.TXT"), here.File("ro/KRVSRC.TXT")});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPrompts prompts;
    EXPECT_FALSE(MoveInstallFile(c.source, c.destination));
    EXPECT_EQ(prompts.messages,
              std::vector<std::string>{"ERROR in " + c.source + "copy to " + c.destination});
    EXPECT_EQ(here.Read("KRVSRC.TXT"), "program text\r\n");
    EXPECT_FALSE(fs::is_regular_file(c.destination));
    EXPECT_EQ(here.Read("taken/inside"), "x");
  }
  if (!there.path().empty()) {
    EXPECT_TRUE(Entries(there.path()).empty());
  }
}

TEST(InstallList, HoldsEveryBuiltRuntimeUnitAndEveryShippedExampleOnce) {
  std::set<std::string> built;
  for (const auto& e : fs::directory_iterator(KRV_RUNTIME_UNITS))
    if (e.path().extension() == ".o" || e.path().extension() == ".ppu")
      built.insert(e.path().filename().string());
  const auto& units = UnitFiles();
  EXPECT_EQ(std::set<std::string>(units.begin(), units.end()), built);
  ASSERT_GE(units.size(), 2u);
  EXPECT_EQ(units[0], "KRVPROCS.o");
  EXPECT_EQ(units[1], "KRVPROCS.ppu");

  std::multiset<std::string> listed, shipped;
  for (const ExampleDir& d : ExampleDirs())
    for (const std::string& f : d.files)
      if (fs::path(f).extension() == ".QTL") listed.insert(f);
  for (const auto& e : fs::directory_iterator(fs::path(KRV_SOURCE_DIR) / "examples"))
    if (e.path().extension() == ".QTL") shipped.insert(e.path().filename().string());
  EXPECT_EQ(listed, shipped);
  EXPECT_EQ(ExampleDirs()[0].dir, "WKD01");
  EXPECT_EQ(ExampleDirs()[0].files, std::vector<std::string>{"TANKS.QTL"});
  EXPECT_EQ(ExampleDirs()[2].dir, "WKD03");
}

TEST(MainDirectory, IsTheDirectoryOfTheRunningProgramWhateverItsName) {
  // This program's name is not nine characters long.
  EXPECT_EQ(MainDirectory(), fs::canonical(KRV_BIN_DIR).string());
}
