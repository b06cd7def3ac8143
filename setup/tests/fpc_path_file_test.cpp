// Tests of the configuration file the installer writes and of the compiler probe.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "platform/user_prompts.h"
#include "setup/fpc_path_file.h"
#include "testing/temp_dir.h"

using namespace krv::setup;
using krv::platform::ScriptedPrompts;
using krv::testing::TempDir;

TEST(FpcPathFile, ThreeCrLfLinesFromTheChoiceAndOptions) {
  struct Case {
    const char* options;
    const char* expected;
  } cases[] = {
      {"-O2\r\n -Fu#/x\r\nignored\r\n", "/usr\r\n-O2\r\n -Fu#/x\r\n"},
      {"-O2\n -vew\n", "/usr\r\n-O2\r\n -vew\r\n"},
      {"-O2", "/usr\r\n-O2\r\n\r\n"},
      {"", "/usr\r\n\r\n\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(FpcPathFileText("/usr", c.options), c.expected);
}

TEST(FpcPathFile, WritesIntoThePgmDirectory) {
  TempDir main;
  std::filesystem::create_directory(main.File("PGM"));
  main.Write("options.txt", "-O2\r\n\r\n");
  ScriptedPrompts prompts;
  EXPECT_TRUE(WriteFpcPathFile(main.path(), "/opt/lazarus"));
  EXPECT_EQ(main.Read("PGM/Helmsman.TXT"), "/opt/lazarus\r\n-O2\r\n\r\n");
  EXPECT_TRUE(WriteFpcPathFile(main.path(), kNoFpcDir));
  EXPECT_EQ(main.Read("PGM/Helmsman.TXT"), "xxxxxxxxxx\r\n-O2\r\n\r\n");

  // An existing file spelt otherwise is rewritten under its own name.
  std::filesystem::rename(main.File("PGM/Helmsman.TXT"), main.File("PGM/Helmsman.txt"));
  EXPECT_TRUE(WriteFpcPathFile(main.path(), "/usr"));
  EXPECT_EQ(main.Read("PGM/Helmsman.txt"), "/usr\r\n-O2\r\n\r\n");
  EXPECT_FALSE(main.Has("PGM/Helmsman.TXT"));
  EXPECT_TRUE(prompts.messages.empty());
}

TEST(FpcPathFile, TroubleLeavesTheEarlierFileAlone) {
  TempDir main;
  std::filesystem::create_directory(main.File("PGM"));
  main.Write("PGM/Helmsman.TXT", "/earlier\r\n-O1\r\n\r\n");
  ScriptedPrompts prompts;
  EXPECT_FALSE(WriteFpcPathFile(main.path(), "/usr"));  // no options.txt
  main.Write("options.txt", "-O2\r\n");
  EXPECT_FALSE(WriteFpcPathFile(main.path(), ""));  // nothing chosen
  EXPECT_EQ(main.Read("PGM/Helmsman.TXT"), "/earlier\r\n-O1\r\n\r\n");

  TempDir noPgm;
  noPgm.Write("options.txt", "-O2\r\n");
  EXPECT_FALSE(WriteFpcPathFile(noPgm.path(), "/usr"));
  EXPECT_EQ(prompts.messages, std::vector<std::string>(3, "Trouble creating Helmsman.txt"));
}

TEST(FpcPathFile, CompilerProbeWantsAnExecutableBelowTheBase) {
  TempDir base;
  std::filesystem::create_directories(base.File("bin"));
  EXPECT_FALSE(FpcFound(base.path()));
  base.Write("bin/fpc", "#!/bin/sh\n");
  EXPECT_FALSE(FpcFound(base.path()));  // not executable
  ::chmod(base.File("bin/fpc").c_str(), 0755);
  EXPECT_TRUE(FpcFound(base.path()));
  EXPECT_TRUE(FpcFound(base.path() + "/"));  // a doubled separator is fine
  EXPECT_EQ(FpcCompilerPath("/"), "//bin/fpc");
  std::filesystem::create_directories(base.File("d/bin/fpc"));
  EXPECT_FALSE(FpcFound(base.File("d")));  // a directory is no compiler
}
