// Tests of the questions about files: kinds, stamps and directory listings.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "platform/file_query.h"
#include "platform/file_stamp.h"
#include "testing/temp_dir.h"

using namespace krv::platform;
using krv::testing::TempDir;

namespace {

// A program, a plain file, a directory and a link to the program.
struct Kinds {
  TempDir dir;
  Kinds() {
    dir.Write("prog", "#!/bin/sh\n");
    ::chmod(dir.File("prog").c_str(), 0755);
    dir.Write("plain", "text");
    std::filesystem::create_directory(dir.File("sub"));
    ::chmod(dir.File("sub").c_str(), 0755);
    std::filesystem::create_symlink(dir.File("prog"), dir.File("link"));
  }
};

TEST(FileQuery, OnlyRegularFilesThatMayRunAreExecutable) {
  Kinds k;
  EXPECT_TRUE(IsExecutableFile(k.dir.File("prog")));
  EXPECT_TRUE(IsExecutableFile(k.dir.File("link")));  // a link to a program runs it
  EXPECT_FALSE(IsExecutableFile(k.dir.File("plain")));
  EXPECT_FALSE(IsExecutableFile(k.dir.File("sub")));  // searchable, but no program
  EXPECT_FALSE(IsExecutableFile(k.dir.File("absent")));
  EXPECT_FALSE(IsExecutableFile(""));
}

TEST(FileQuery, ReadableDateIsTheFilesStampAndNothingForDirectoriesOrAbsentNames) {
  Kinds k;
  ASSERT_TRUE(SetPackedFileDate(k.dir.File("plain"), PackLocalTime(1700000000)));
  EXPECT_EQ(ReadableFileDate(k.dir.File("plain")), PackLocalTime(1700000000));
  EXPECT_EQ(ReadableFileDate(k.dir.File("PLAIN")), PackLocalTime(1700000000));  // case-blind
  EXPECT_EQ(ReadableFileDate(k.dir.File("sub")), std::nullopt);
  EXPECT_EQ(ReadableFileDate(k.dir.File("absent")), std::nullopt);
}

TEST(FileQuery, RegularFilesInListsSortedFilesWithoutDirectories) {
  Kinds k;
  EXPECT_EQ(RegularFilesIn(k.dir.path()), (std::vector<std::string>{"link", "plain", "prog"}));
  EXPECT_TRUE(RegularFilesIn(k.dir.File("absent")).empty());
}

}  // namespace
