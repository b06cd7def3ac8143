// Tests of choosing a problem: names, samples, the user unit and its parking, the program file.
#include <gtest/gtest.h>

#include <filesystem>

#include "guide/file_probe.h"
#include "guide/problem_setup.h"
#include "testing/read_only_dir.h"
#include "guide/user_unit.h"
#include "platform/file_stamp.h"
#include "platform/user_prompts.h"
#include "testing/temp_dir.h"

using namespace krv::guide;
using krv::platform::Answer;
using krv::platform::PackLocalTime;
using krv::platform::ScriptedPrompts;
using krv::platform::SetPackedFileDate;
using krv::testing::ScopedCwd;
using krv::testing::TempDir;

namespace {

const uint32_t kSampleStamp = PackLocalTime(1500000000);  // July 2017

class ProblemSetup : public ::testing::Test {
 protected:
  void SetUp() override {
    pgm.Write("DSAMPLE.QTL", "{sample model}\r\n");
    pgm.Write("DSAMPLE.SO", "{sample SOSI}\r\n");
    pgm.Write("KRVSRC.TXT", "uses KRVUSER;\nbegin\r\n  RUNSOLVER;\nend.\n\x1a" "after eof\n");
    for (const char* f : {"DSAMPLE.QTL", "DSAMPLE.SO"})
      ASSERT_TRUE(SetPackedFileDate(pgm.File(f), kSampleStamp));
    state.ProgramDir = pgm.path() + "/";
  }

  ProblemChoice Choose(const std::string& name) { return ChooseProblem(state, work.File(name)); }
  uint32_t Stamp(const std::string& name) {
    uint32_t s = 0;
    EXPECT_TRUE(GetFileDate(work.File(name), s)) << name;
    return s;
  }

  ScopedCwd keepCwd{"."};
  TempDir pgm, work;
  ScriptedPrompts prompts;
  ShellState state;
};

std::string Cwd() { return std::filesystem::current_path().string(); }

}  // namespace

TEST_F(ProblemSetup, NewProblemGetsSampleUserUnitAndProgramFile) {
  ProblemChoice c = Choose("MYPROB.QTL");
  EXPECT_TRUE(c.ready);
  EXPECT_FALSE(c.openSosiEditor);
  EXPECT_EQ(prompts.questions, std::vector<std::string>{"Use SOSI (System-Only Simplified Input) ???"});
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_EQ(state.ProblemName, "MYPROB");
  EXPECT_EQ(state.ProblemDir, work.path());
  EXPECT_EQ(state.ProblemBase, work.File("MYPROB"));
  EXPECT_EQ(Cwd(), std::filesystem::canonical(work.path()).string());

  EXPECT_EQ(work.Read("MYPROB.QTL"), "{sample model}\r\n");
  EXPECT_EQ(Stamp("MYPROB.QTL"), kSampleStamp);  // the sample's date, not the copy's

  const std::string unit = work.Read("KRVUSER.PAS");
  EXPECT_EQ(unit, UserUnitText("MYPROB"));
  EXPECT_EQ(std::count(unit.begin(), unit.end(), '\n'), 26);
  EXPECT_EQ(unit.substr(0, 15), "UNIT KRVUSER;\r\n");
  EXPECT_NE(unit.find("\r\nTYPE\r\n{$I MYPROB.GTY }\r\nVAR _X:_SYSTEM ABSOLUTE _Y;\r\n"
                      "VAR _X2T:_SYSTEM ABSOLUTE _Y2T;\r\n{$I MYPROB.PSY }\r\nprocedure SYSTEMM"),
            std::string::npos);
  EXPECT_TRUE(unit.ends_with("INITIALIZATION\r\n   _CMPLABEL:=_UCMPLABEL;\r\nend.\r\n"));

  // KRVSRC.TXT is read to its end or a Ctrl-Z; bare LF lines come out CR LF.
  EXPECT_EQ(work.Read("MYPROB.LPR"),
            "program MYPROB;\r\nuses KRVUSER;\r\nbegin\r\n  RUNSOLVER;\r\nend.\r\n");
}

TEST_F(ProblemSetup, SosiAnswerCopiesTheSampleButKeepsTheModellersInput) {
  prompts.answers = {Answer::Yes};
  ProblemChoice c = Choose("NEWSO.QTL");
  EXPECT_TRUE(c.ready);
  EXPECT_TRUE(c.openSosiEditor);
  EXPECT_EQ(work.Read("NEWSO.SO"), "{sample SOSI}\r\n");
  EXPECT_FALSE(work.Has("NEWSO.QTL"));

  work.Write("MINE.so", "my equations\r\n");
  prompts.answers = {Answer::Yes};
  c = Choose("MINE.QTL");
  EXPECT_TRUE(c.openSosiEditor);
  EXPECT_EQ(work.Read("MINE.so"), "my equations\r\n");
  EXPECT_FALSE(work.Has("MINE.SO"));
}

TEST_F(ProblemSetup, ExistingSourceAsksNothingAndProgramFileIsNeverTouched) {
  work.Write("m.qtl", "model");
  work.Write("m.lpr", "program m; {edited}\r\n");
  EXPECT_TRUE(Choose("m.QTL").ready);
  EXPECT_TRUE(prompts.questions.empty());
  EXPECT_EQ(work.Read("m.qtl"), "model");
  EXPECT_EQ(work.Read("m.lpr"), "program m; {edited}\r\n");
  EXPECT_FALSE(work.Has("m.LPR"));
}

TEST_F(ProblemSetup, NamesUpToSeventeenCharactersAreAccepted) {
  work.Write("A2345678901234567.QTL", "m");
  EXPECT_TRUE(Choose("A2345678901234567.QTL").ready);
  const std::string cwd = Cwd();

  TempDir other;
  other.Write("A23456789012345678.QTL", "m");
  ProblemChoice c = ChooseProblem(state, other.File("A23456789012345678.QTL"));
  EXPECT_FALSE(c.ready);
  EXPECT_EQ(prompts.messages, std::vector<std::string>{"Name too long"});
  // The previous problem stays current, with its directory.
  EXPECT_EQ(state.ProblemName, "A2345678901234567");
  EXPECT_EQ(state.ProblemDir, work.path());
  EXPECT_EQ(Cwd(), cwd);
  EXPECT_FALSE(other.Has("KRVUSER.PAS"));
}

TEST_F(ProblemSetup, PathWithoutExtensionIsRefused) {
  for (const char* bad : {"NOEXT", ".QTL"}) {
    prompts.messages.clear();
    EXPECT_FALSE(ChooseProblem(state, work.File(bad)).ready);
    EXPECT_EQ(prompts.messages, std::vector<std::string>{"ERROR"}) << bad;
    EXPECT_FALSE(state.HasProblem());
  }
  // A dot in a directory name is no extension.
  std::filesystem::create_directory(work.File("dir.v2"));
  EXPECT_FALSE(ChooseProblem(state, work.File("dir.v2/MODEL")).ready);
  EXPECT_FALSE(work.Has("KRVUSER.PAS"));
}

TEST_F(ProblemSetup, UserUnitsAreParkedAndBroughtBack) {
  work.Write("OTHER.QTL", "m");
  work.Write("MYPROB.QTL", "m");
  const std::string otherUnit = UserUnitText("OTHER") + "{hand edit}\r\n";
  work.Write("KRVUSER.PAS", otherUnit);

  ASSERT_TRUE(Choose("MYPROB.QTL").ready);
  EXPECT_EQ(work.Read("OTHER.DSU"), otherUnit);
  EXPECT_EQ(work.Read("KRVUSER.PAS"), UserUnitText("MYPROB"));

  const std::string myUnit = UserUnitText("MYPROB") + "{mine}\r\n";
  work.Write("KRVUSER.PAS", myUnit);
  ASSERT_TRUE(Choose("OTHER.QTL").ready);
  EXPECT_EQ(work.Read("KRVUSER.PAS"), otherUnit);
  EXPECT_EQ(work.Read("MYPROB.DSU"), myUnit);
  EXPECT_FALSE(work.Has("OTHER.DSU"));
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(ProblemSetup, OwnerAndParkedNamesCompareCaseBlind) {
  work.Write("MYPROB.QTL", "m");
  const std::string lowerUnit = "UNIT KRVUSER;\r\n{$I myprob.psy }\r\n";
  work.Write("KRVUSER.PAS", lowerUnit);
  ASSERT_TRUE(Choose("MYPROB.QTL").ready);
  EXPECT_EQ(work.Read("KRVUSER.PAS"), lowerUnit);  // it is this problem's unit

  work.Write("KRVUSER.PAS", UserUnitText("OTHER"));
  work.Write("myprob.dsu", "parked\r\n");
  ASSERT_TRUE(Choose("MYPROB.QTL").ready);
  EXPECT_EQ(work.Read("KRVUSER.PAS"), "parked\r\n");
  EXPECT_FALSE(work.Has("myprob.dsu"));
  EXPECT_TRUE(work.Has("OTHER.DSU"));
}

TEST_F(ProblemSetup, ParkingConflictKeepsTheUnitAndStillMakesTheProgramFile) {
  work.Write("MYPROB.QTL", "m");
  work.Write("KRVUSER.PAS", UserUnitText("OTHER"));
  work.Write("OTHER.DSU", "older parked unit");
  EXPECT_TRUE(Choose("MYPROB.QTL").ready);
  EXPECT_EQ(prompts.messages, std::vector<std::string>{
                                  "Conflict with KRVUSER.PAS and OTHER.DSU needs to be "
                                  "manually resolved."});
  EXPECT_EQ(work.Read("KRVUSER.PAS"), UserUnitText("OTHER"));
  EXPECT_EQ(work.Read("OTHER.DSU"), "older parked unit");
  EXPECT_TRUE(work.Has("MYPROB.LPR"));
}

TEST_F(ProblemSetup, UnitWithoutIncludeIsRewritten) {
  work.Write("MYPROB.QTL", "m");
  work.Write("KRVUSER.PAS", std::string("garbage\0\xff\r\n", 11));
  ASSERT_TRUE(Choose("MYPROB.QTL").ready);
  EXPECT_EQ(work.Read("KRVUSER.PAS"), UserUnitText("MYPROB"));
}

TEST_F(ProblemSetup, MissingSampleStopsTheSetUp) {
  std::filesystem::remove(pgm.File("DSAMPLE.QTL"));
  std::filesystem::remove(pgm.File("KRVSRC.TXT"));
  ProblemChoice c = Choose("MYPROB.QTL");
  EXPECT_FALSE(c.ready);
  EXPECT_EQ(prompts.messages,
            (std::vector<std::string>{"ERROR in " + pgm.File("DSAMPLE.QTL") +
                                          "copy to MYPROB.QTL\nCannot read " + pgm.File("DSAMPLE.QTL") +
                                          ": No such file or directory",
                                      "Problem with setting up files"}));
  EXPECT_FALSE(work.Has("MYPROB.QTL"));
  EXPECT_FALSE(work.Has("KRVUSER.PAS"));
  EXPECT_FALSE(work.Has("MYPROB.LPR"));

  // A missing SOSI sample opens no editor either.
  prompts.messages.clear();
  prompts.answers = {Answer::Yes};
  std::filesystem::remove(pgm.File("DSAMPLE.SO"));
  c = Choose("NEWSO.QTL");
  EXPECT_FALSE(c.ready);
  EXPECT_FALSE(c.openSosiEditor);
  EXPECT_EQ(prompts.messages.back(), "Problem with setting up files");

  // Without KRVSRC.TXT the program file has its first line only.
  work.Write("MYPROB.QTL", "m");
  EXPECT_TRUE(Choose("MYPROB.QTL").ready);
  EXPECT_EQ(work.Read("MYPROB.LPR"), "program MYPROB;\r\n");
}

TEST(UserUnit, OwnerIsTheWordBeforeThePsyExtension) {
  struct Case {
    const char* text;
    const char* owner;  // nullptr: no include line
  } cases[] = {
      {"{$I MYPROB.PSY }\r\n", "MYPROB"},
      {"x\r\n{$I C:\\W\\DEEP.psy}\r\n", "DEEP"},
      {"{$I /home/m/P1.PSY }", "P1"},
      {"{$I .PSY }", ""},
      {"{$I ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.PSY }", "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234"},
      {"{$I A.GTY }\r\n", nullptr},
      {"\x1a{$I A.PSY }", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) {
    auto owner = UserUnitOwner(c.text);
    if (c.owner) {
      ASSERT_TRUE(owner.has_value()) << c.text;
      EXPECT_EQ(*owner, c.owner);
    } else {
      EXPECT_FALSE(owner.has_value()) << c.text;
    }
  }
  // A long include path still names its owner, so its unit is parked, not overwritten.
  EXPECT_EQ(*UserUnitOwner("{$I /" + std::string(120, 'd') + "/LONG.PSY }"), "LONG");
  EXPECT_EQ(*UserUnitOwner(UserUnitText("Q7")), "Q7");
}

TEST_F(ProblemSetup, LongPathsAreUsedWhole) {
  const std::string deep = work.File(std::string(60, 'a') + "/" + std::string(60, 'b'));
  std::filesystem::create_directories(deep);
  ASSERT_TRUE(ChooseProblem(state, deep + "/DEEP.QTL").ready);
  EXPECT_EQ(state.ProblemDir, deep);
  EXPECT_EQ(state.ProblemPath, deep + "/DEEP.QTL");
  EXPECT_TRUE(std::filesystem::exists(deep + "/DEEP.LPR"));
}

TEST_F(ProblemSetup, MissingDirectoryIsReportedAndChangesNothing) {
  work.Write("FIRST.QTL", "m");
  ASSERT_TRUE(Choose("FIRST.QTL").ready);
  const std::string cwd = Cwd();
  EXPECT_FALSE(Choose("gone/SECOND.QTL").ready);
  EXPECT_EQ(prompts.messages, std::vector<std::string>{"Cannot open the directory " +
                                                       work.File("gone")});
  EXPECT_EQ(state.ProblemName, "FIRST");
  EXPECT_EQ(Cwd(), cwd);
}

// A problem in a directory that cannot be written: every file that could
// not be written or renamed is named with the system's reason, the Parts'
// own texts kept, and nothing in the directory changes.
TEST_F(ProblemSetup, ReadOnlyDirectorySaysWhichFileAndWhy) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, std::string>> files;  // there before
    bool ready;
    std::vector<std::string> messages;  // "<dir>" and "<pgm>" stand for the paths
  } cases[] = {
      {"source only", {{"MYPROB.QTL", "m"}}, true,
       {"Problem with setting up files\nCannot write <dir>/KRVUSER.PAS: Permission denied\n"
        "Cannot write <dir>/MYPROB.LPR: Permission denied"}},
      {"another problem's unit", {{"MYPROB.QTL", "m"}, {"MYPROB.LPR", "p"}, {"KRVUSER.PAS", UserUnitText("OTHER")}},
       true,
       {"Conflict with KRVUSER.PAS and OTHER.DSU needs to be manually resolved.\n"
        "Cannot rename <dir>/KRVUSER.PAS to OTHER.DSU: Permission denied"}},
      {"its own unit parked", {{"MYPROB.QTL", "m"}, {"MYPROB.LPR", "p"}, {"MYPROB.DSU", "parked"}}, true,
       {"Problem with setting up files\nCannot rename <dir>/MYPROB.DSU to KRVUSER.PAS: Permission denied"}},
      {"no source", {}, false,
       {"ERROR in <pgm>/DSAMPLE.QTLcopy to MYPROB.QTL\nCannot write <dir>/MYPROB.QTL: Permission denied",
        "Problem with setting up files"}},
      {"everything in place", {{"MYPROB.QTL", "m"}, {"MYPROB.LPR", "p"}, {"KRVUSER.PAS", UserUnitText("MYPROB")}},
       true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    for (const auto& [file, text] : c.files) dir.Write(file, text);
    prompts.messages.clear();
    std::vector<std::string> before;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) before.push_back(e.path().string());
    ProblemChoice choice;
    {
      krv::testing::ReadOnlyDir readOnly(dir.path());
      if (!readOnly.Works()) GTEST_SKIP() << "no way to make a directory refuse this process";
      choice = ChooseProblem(state, dir.File("MYPROB.QTL"));
    }
    EXPECT_TRUE(choice.accepted);
    EXPECT_EQ(choice.ready, c.ready);
    std::vector<std::string> expected;
    for (std::string m : c.messages) {
      for (size_t at; (at = m.find("<dir>")) != std::string::npos;) m.replace(at, 5, dir.path());
      for (size_t at; (at = m.find("<pgm>")) != std::string::npos;) m.replace(at, 5, pgm.path());
      expected.push_back(m);
    }
    EXPECT_EQ(prompts.messages, expected);
    std::vector<std::string> after;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) after.push_back(e.path().string());
    EXPECT_EQ(after, before);
    for (const auto& [file, text] : c.files) EXPECT_EQ(dir.Read(file), text);
  }
}
