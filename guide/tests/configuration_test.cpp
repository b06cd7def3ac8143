// Tests of Helmsman.TXT reading: the '#' rule, the unit path and the main directory.
#include <gtest/gtest.h>

#include "guide/configuration.h"
#include "testing/temp_dir.h"

using namespace krv::guide;
using krv::testing::TempDir;

TEST(Configuration, HashesBecomeTheBaseDirectoryOnce) {
  struct Case {
    const char* line;
    const char* fpcDir;
    const char* expected;
  } cases[] = {
      {" -Fu#/units", "/usr", " -Fu/usr/units"},
      {" -Fu#/a -Fi#/b", "/opt/fpc", " -Fu/opt/fpc/a -Fi/opt/fpc/b"},
      {" -Fu#/a", "/x#y", " -Fu/x#y/a"},  // the inserted '#' is not replaced again
      {"#", "/usr", "/usr"},
      {"no hash", "/usr", "no hash"},
      {"", "/usr", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ReplaceHashes(c.line, c.fpcDir), c.expected) << c.line;

  // At most 1000 characters after a '#' are kept.
  std::string longTail(1500, 'a');
  EXPECT_EQ(ReplaceHashes("#" + longTail, "D"), "D" + std::string(1000, 'a'));
}

TEST(Configuration, OptionsGetTheUnitPathAndLineThree) {
  ShellState s;
  s.MainDir = "/x/";
  ApplyConfiguration("/usr\r\n-O2\r\n -Fu#/lib/extra\r\n", s);
  EXPECT_EQ(s.FpcDir, "/usr");
  EXPECT_EQ(s.CompileOptions, "-O2 -Fu/x/PGM/units; -Fu/usr/lib/extra");
  EXPECT_EQ(s.compileWords,
            (std::vector<std::string>{"-O2", "-Fu/x/PGM/units;", "-Fu/usr/lib/extra"}));

  // The example of the guide: line 2 -O2, an empty line 3.
  ApplyConfiguration("/usr\n-O2\n\n", s);
  EXPECT_EQ(s.CompileOptions, "-O2 -Fu/x/PGM/units;");
}

TEST(Configuration, MissingLinesReadAsEmpty) {
  ShellState s;
  s.MainDir = "/x/";
  for (const char* text : {"", "/usr", "/usr\r\n"}) {
    ApplyConfiguration(text, s);
    EXPECT_EQ(s.CompileOptions, " -Fu/x/PGM/units;") << text;
    EXPECT_EQ(s.compileWords, std::vector<std::string>{"-Fu/x/PGM/units;"});
  }
}

TEST(Configuration, UnitPathStaysOneArgumentAndKeepsGluedText) {
  ShellState s;
  s.MainDir = "/my models/";
  ApplyConfiguration("/usr\r\n -O1  -vew \r\nX -Sh\r\n", s);
  EXPECT_EQ(s.CompileOptions, " -O1  -vew  -Fu/my models/PGM/units;X -Sh");
  EXPECT_EQ(s.compileWords,
            (std::vector<std::string>{"-O1", "-vew", "-Fu/my models/PGM/units;X", "-Sh"}));
}

TEST(Configuration, MainDirectoryIsAboveTheProgramDirectory) {
  EXPECT_EQ(MainDirOf("/x/PGM/"), "/x/");
  EXPECT_EQ(MainDirOf("/home/m/Kravenor/PGM/"), "/home/m/Kravenor/");
  EXPECT_EQ(MainDirOf("/PGM/"), "/");
  EXPECT_EQ(MainDirOf("/"), "/");
}

TEST(Configuration, ReadsTheFileBesideTheProgramCaseBlind) {
  TempDir d;
  d.Write("helmsman.txt", "/opt/fpc\r\n-O2\r\n -Fu#/more\r\n");
  ShellState s;
  s.ProgramDir = d.path() + "/";
  ReadConfiguration(s);
  EXPECT_EQ(s.MainDir, d.path().substr(0, d.path().rfind('/') + 1));
  EXPECT_EQ(s.FpcDir, "/opt/fpc");
  EXPECT_EQ(s.CompileOptions, "-O2 -Fu" + s.MainDir + "PGM/units; -Fu/opt/fpc/more");

  TempDir empty;
  s.ProgramDir = empty.path() + "/";
  ReadConfiguration(s);
  EXPECT_EQ(s.FpcDir, "");
  EXPECT_EQ(s.CompileOptions, " -Fu" + s.MainDir + "PGM/units;");
}
