// Tests of the run driver, the error limit, the program start and the menus.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <regex>
#include <set>

#include "platform/file_stamp.h"
#include "platform/run_lock.h"
#include "platform/user_prompts.h"
#include "preprocessor/generated_types.h"
#include "preprocessor/tests/run_fixture.h"
#include "testing/failing_calls.h"

namespace krv::pp::test {
namespace {

const std::string kModel = "XVTYPE A = RECORD X: XVR END;\r\n" + kTinyXproc;

TEST(Run, MissingSourceStopsWithLineZero) {
  RunFixture f;
  HandleCommandLine(f.pp, {"absent"});
  EXPECT_EQ(f.Log(), (std::vector<std::string>{kBanner, "0 NO FILE", "0  FATAL SYNTAX ERR", "Stopped"}));
  EXPECT_FALSE(f.dir.Has("TMPQTL.TMP"));
  EXPECT_FALSE(f.pp.SourceOpen());
}

TEST(Run, CompleteRunWritesEveryOutputWithFinalByte26) {
  RunFixture f;
  f.Run(kModel, {"m"}, "m.qtl");  // found case-blind
  auto log = f.Log();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(log.begin(), log.end() - 1),
            (std::vector<std::string>{kBanner, "Finished P  BUF=75861", "Finished SYSTEM  BUF=75846",
                                      "continuing...", " 2 variables of type XVR"}));
  EXPECT_TRUE(f.Finished()) << f.LastLine();
  EXPECT_EQ(f.dir.Read("m.GTY"), "  A=RECORD\r\n     X:XVR;\r\n  END;\r\n  _SYSTEM=RECORD\r\n     A,B:XVR;\r\n"
                                 "  END;\r\nCONST _UCMPLABEL='" + f.pp.Label() + "';\r\n\x1a");
  EXPECT_EQ(f.dir.Read("TMPQTL.TMP"), kTinyXprocOut + "\x1a");
  EXPECT_EQ(f.dir.Read("m.PSY"), kTinyXprocOut + "\x1a");
  EXPECT_EQ(f.dir.Read("m.VNM"), f.pp.Label() + "\r\n   0 I*  _X.A\r\n   1 *O  _X.B\r\n     #\r\n"
                                 "    1    0 0 0\r\n\x1a");
  EXPECT_FALSE(f.dir.Has("SAVI.TMP"));
  EXPECT_FALSE(f.dir.Has("SAVIJ.TMP"));
  EXPECT_EQ(f.pp.Label().substr(20), " m");
  EXPECT_FALSE(f.dir.Has("DMPTABLE.txt"));
  EXPECT_EQ(f.pp.State().accessPrefix, "_X");
}

TEST(Run, SecondArgumentTurnsTheDumpOnAndSlashESetsThePointerPrefix) {
  struct Case {
    std::string arg, prefix;
  } cases[] = {{"/E", "_X^"}, {"/e", "_X^"}, {"x", "_X"}};
  for (const Case& c : cases) {
    RunFixture f;
    f.Run(kModel, {"m", c.arg});
    EXPECT_EQ(f.pp.State().accessPrefix, c.prefix) << c.arg;
    EXPECT_TRUE(f.dir.Has("DMPTABLE.txt")) << c.arg;
  }
}

TEST(Run, ThreeErrorsEndInErrHaltAndTheFourthStops) {
  const std::string three = "XVTYPE A = RECORD X: B; Y: C; Z: D END;\r\n" + kTinyXproc;
  RunFixture f;
  f.Run(three);
  EXPECT_EQ(f.Messages().size(), 3u);
  EXPECT_EQ(f.LastLine(), "Err Halt");
  EXPECT_FALSE(f.dir.Has("TMPQTL.TMP"));
  EXPECT_EQ(f.dir.Read("m.GTY"), "");
  EXPECT_EQ(f.dir.Read("m.VNM"), "");

  RunFixture g;
  g.Run("XVTYPE A = RECORD X: B; Y: C; Z: D; W: E END;\r\n" + kTinyXproc);
  EXPECT_EQ(g.Messages().size(), 4u);
  EXPECT_EQ(g.LastLine(), "Stopped");
  EXPECT_TRUE(g.dir.Has("TMPQTL.TMP"));
}

TEST(Run, ScannerNotesAloneEndInErrHaltEvenPast255) {
  for (int notes : {1, 256, 300}) {
    RunFixture f;
    f.Run("{ header }\r\n" + std::string(size_t(notes), '#') + "\r\n" + kTinyXproc);
    EXPECT_EQ(f.LastLine(), "Err Halt") << notes;
    EXPECT_EQ(f.pp.ErrorCount(), unsigned(notes));
  }
}

TEST(Run, LongHeaderCommentComesOutIntact) {
  std::string comment = "{";
  for (int i = 0; comment.size() < 9000; ++i) comment += " line " + std::to_string(i) + "\r\n";
  comment += "}";
  RunFixture f;
  f.Run(comment + "\r\nCONST K = 1;\r\n" + kTinyXproc);
  // The writer breaks the line before a leading text that runs past column 80.
  EXPECT_EQ(f.dir.Read("TMPQTL.TMP"), "\r\n" + comment + "\r\nCONST K = 1;" + kTinyXprocOut + "\x1a");
}

TEST(Run, QuoteInTheModelNameIsDoubledInTheLabelLiteral) {
  RunFixture f;
  f.Run(kModel, {"O'Brien"}, "O'Brien.QTL");
  EXPECT_NE(f.pp.Label().find(" O'Brien"), std::string::npos);
  std::string gty = f.dir.Read("O'Brien.GTY");
  EXPECT_NE(gty.find("O''Brien';\r\n\x1a"), std::string::npos);
}

TEST(Run, UncreatableOutputIsAnOtherExceptionInBatchMode) {
  RunFixture f;
  std::filesystem::create_directory(f.dir.File("m.GTY"));
  f.Run(kModel);
  EXPECT_EQ(f.LastLine(), "Other Exception");
}

TEST(CompileLabel, FieldsArePaddedWithBlanksAndSecondsCountTwoSecondSteps) {
  LabelTime t{2026, 7, 3, 9, 5, 58 / 2};
  EXPECT_EQ(CompileLabel(t, "C:\\MODELS\\PENDULUM"), "> 7- 3-2026  9: 5:29 PENDULUM");
  EXPECT_EQ(CompileLabel(t, "/home/me/PENDULUM"), "> 7- 3-2026  9: 5:29 PENDULUM");
  EXPECT_EQ(CompileLabel({2026, 12, 31, 23, 59, 29}, "ABCDEFGHIJKLMNOPQRST"),
            ">12-31-2026 23:59:29 ABCDEFGHIJKLMNOPQ");
  uint32_t stamp = (46u << 25) | (7u << 21) | (3u << 16) | (9u << 11) | (5u << 5) | 29u;
  LabelTime u = LabelTimeFromPackedStamp(stamp);
  EXPECT_EQ(CompileLabel(u, "P"), "> 7- 3-2026  9: 5:29 P");
}

// A translation within the two seconds of one whose label a file on disk
// still carries takes the next two-second step that no such file carries.
TEST(CompileLabel, ATranslationNeverTakesALabelOnDisk) {
  const uint32_t at = (46u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;
  auto label = [](uint32_t s) { return CompileLabel(LabelTimeFromPackedStamp(s), "/w/TANKS"); };
  const uint32_t next = platform::PackLocalTime(platform::UnpackLocalTime(at) + 2);
  const uint32_t after = platform::PackLocalTime(platform::UnpackLocalTime(at) + 4);
  EXPECT_EQ(label(next), "> 1- 1-2027  0: 0: 0 TANKS");  // over the year's end
  struct Case {
    const char* what;
    std::vector<std::string> taken;
    uint32_t dated;
  } cases[] = {
      {"nothing on disk", {}, at},
      {"other labels", {label(after), "another file's line", label(at).substr(0, 21) + "OTHER"}, at},
      {"the map's label", {label(at)}, next},
      {"two in a row", {label(next), label(at), label(at)}, after},
      {"the problem file's first line", {"*" + label(at) + "#0000"}, next},
      {"a line holding two", {label(at) + label(next)}, after},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(DistinctLabelStamp(at, "/w/TANKS", c.taken), c.dated);
  }
}

TEST(CompileLabel, TheTypesFileGivesItsLabelBack) {
  for (const std::string label :
       {"> 7- 3-2026  9: 5:29 PENDULUM", ">12-31-2026 23:59:29 O'B''Q", "", "A CONST _UCMPLABEL='B"}) {
    const std::string gty = "  T=RECORD\r\n     A:XVR;\r\n  END;\r\n" + LabelConstantLine(label) + "\r\n\x1a";
    EXPECT_EQ(LabelOfTypesFile(gty), label);
  }
  EXPECT_EQ(LabelConstantLine("O'B"), "CONST _UCMPLABEL='O''B';");
  for (const char* none : {"", "\x1a", "  END;\r\n", "CONST _UCMPLABEL='cut", "CONST _UCMPLABEL='a'b';",
                           "X CONST _UCMPLABEL='a';"})
    EXPECT_EQ(LabelOfTypesFile(none), std::nullopt) << none;
}

TEST(ProgramStart, ChosenFileLosesOnlyATrailingQtl) {
  struct Case {
    std::string chosen, model;
  } cases[] = {{"/w/model.QTL", "/w/model"},
               {"/w/model.qtl", "/w/model"},
               {"/w/model.Qtl", "/w/model.Qtl"},
               {"/w/a.qtl.d/m.QTL", "/w/a.qtl.d/m"},
               {"/w/a.QTL.x", "/w/a.QTL.x"},
               {"/" + std::string(200, 'd') + "/m.QTL", "/" + std::string(200, 'd') + "/m"}};
  for (const Case& c : cases) EXPECT_EQ(ModelPathFromChosenFile(c.chosen), c.model);
}

TEST(ProgramStart, EmptyFirstArgumentDoesNotRun) {
  RunFixture f;
  HandleCommandLine(f.pp, {});
  HandleCommandLine(f.pp, {"", "/E"});
  EXPECT_EQ(f.log.Lines().size(), 1u);
  EXPECT_TRUE(f.pp.State().modelPath.empty());
}

// Writes a model, lets the open dialog choose it and runs the File menu.
void ChooseAndRun(RunFixture& f, platform::ScriptedPrompts& prompts, const std::string& file) {
  f.dir.Write(file, kModel);
  prompts.files.push_back(f.dir.File(file));
  Getfile(f.pp);
}

TEST(Menus, GetfileRunsTheChosenModelOnceThenRefuses) {
  RunFixture f;
  platform::ScriptedPrompts prompts;
  ChooseAndRun(f, prompts, "model.QTL");
  ASSERT_EQ(prompts.dialogs.size(), 1u);
  EXPECT_EQ(prompts.dialogs[0].title, "Specify file to start processing");
  EXPECT_EQ(prompts.dialogs[0].filter, "QTL file|*.QTL");
  EXPECT_EQ(prompts.dialogs[0].defaultExt, "QTL");
  EXPECT_TRUE(prompts.dialogs[0].mustExist);
  EXPECT_TRUE(f.Finished()) << f.LastLine();
  EXPECT_TRUE(f.dir.Has("model.GTY"));

  Getfile(f.pp);
  EXPECT_EQ(prompts.messages, (std::vector<std::string>{"Must close and restart"}));
  EXPECT_EQ(prompts.dialogs.size(), 1u);
}

TEST(Menus, GetfileAfterABatchRunRefusesAndCancelDoesNothing) {
  RunFixture f;
  platform::ScriptedPrompts prompts;
  Getfile(f.pp);  // cancelled
  EXPECT_TRUE(f.pp.State().modelPath.empty());
  f.Run(kModel);
  Getfile(f.pp);
  EXPECT_EQ(prompts.messages, (std::vector<std::string>{"Must close and restart"}));
}

TEST(Menus, GetfileWithMixedCaseExtensionLooksForTheWrongFile) {
  RunFixture f;
  platform::ScriptedPrompts prompts;
  ChooseAndRun(f, prompts, "model.Qtl");
  EXPECT_EQ(f.Log(), (std::vector<std::string>{kBanner, "0 NO FILE", "0  FATAL SYNTAX ERR", "Stopped"}));
}

TEST(Menus, GetfileShowsAFileErrorInAMessageBox) {
  RunFixture f;
  platform::ScriptedPrompts prompts;
  std::filesystem::create_directory(f.dir.File("m.VNM"));
  ChooseAndRun(f, prompts, "m.QTL");
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_NE(prompts.messages[0].find("m.VNM"), std::string::npos);
}

TEST(Menus, SwitchOfAnEmptyCommandLineHoldsForTheMenuRun) {
  RunFixture f;
  platform::ScriptedPrompts prompts;
  HandleCommandLine(f.pp, {"", "/E"});
  ChooseAndRun(f, prompts, "m.QTL");
  EXPECT_TRUE(f.Finished()) << f.LastLine();
  EXPECT_NE(f.dir.Read("m.PSY").find("P(_X^.A, _X^.B);"), std::string::npos);
}

TEST(Menus, AFileNamedOnlyQtlStillCountsAsTheRun) {
  RunFixture f;
  platform::ScriptedPrompts prompts;
  f.dir.Write(".QTL", kModel);
  prompts.files.push_back(".QTL");  // the path as a dialog may return it
  Getfile(f.pp);
  EXPECT_TRUE(f.Finished()) << f.LastLine();
  EXPECT_TRUE(f.dir.Has(".GTY"));
  Getfile(f.pp);
  EXPECT_EQ(prompts.messages, (std::vector<std::string>{"Must close and restart"}));
  EXPECT_EQ(prompts.dialogs.size(), 1u);
}

// Prompts that note whether the run's scope (the hourglass) was open.
struct BusyPrompts : platform::ScriptedPrompts {
  void ShowMessage(const std::string& text) override {
    shownBusy = shownBusy || busy;
    ScriptedPrompts::ShowMessage(text);
  }
  std::optional<std::string> OpenFileName(const platform::FileDialogSpec& desc) override {
    shownBusy = shownBusy || busy;
    return ScriptedPrompts::OpenFileName(desc);
  }
  bool busy = false, shownBusy = false;
};

TEST(Menus, RunScopeWrapsTheRunOnlyNotTheDialogOrTheMessage) {
  RunFixture f;
  BusyPrompts prompts;
  std::filesystem::create_directory(f.dir.File("m.VNM"));
  f.dir.Write("m.QTL", kModel);
  prompts.files.push_back(f.dir.File("m.QTL"));
  int runs = 0;
  Getfile(f.pp, [&](const std::function<void()>& run) {
    prompts.busy = true;
    ++runs;
    struct Reset {
      bool& b;
      ~Reset() { b = false; }
    } reset{prompts.busy};
    run();
  });
  EXPECT_EQ(runs, 1);
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_FALSE(prompts.shownBusy);
  Getfile(f.pp, [&](const std::function<void()>&) { ++runs; });
  EXPECT_EQ(runs, 1);  // the refusal runs nothing
}

TEST(Menus, DebugDumpBeforeAndAfterARun) {
  RunFixture f;
  Debug1Click(f.pp);
  EXPECT_EQ(f.dir.Read("DMPTABLE.txt"), "\r\n");
  EXPECT_EQ(f.LastLine(), "Debug dump in DMPTABLE.txt");
  f.Run(kTinyXproc);
  Debug1Click(f.pp);
  std::string dump = f.dir.Read("DMPTABLE.txt");
  // XVR and the SYSTEM locals, the three built-ins, P, and SYSTEM's tree.
  const std::string head =
      "\r\nXVTYPE=XVR\r\n DIMENS=     1\r\n  SECTN=TRUE\r\n\r\nXVTYPE=_SYSTEM\r\n DIMENS=     2\r\n"
            "A:XVR\r\nB:XVR\r\n\r\n\r\n**XPROC QTLFIX\r\n";
  EXPECT_EQ(dump.substr(0, head.size()), head);
  const std::string tail =
      "\r\n**XPROC P\r\n PAR=A:XVR\r\n PAR=B:XVR\r\n  VARIN\r\nA:XVR\r\n  VAROT\r\nB:XVR\r\n"
      "\r\n**MPROC SYSTEM\r\nPARM1\r\nINTFL1\r\n PAR=A:XVR\r\n PAR=B:XVR\r\nINTVL1\r\n"
      "\r\n**MPROC SYSTEM\r\n\r\n**XPROC P\r\n  VARIN\r\nA:XVR\r\n  VAROT\r\nB:XVR\r\n";
  ASSERT_GE(dump.size(), tail.size());
  EXPECT_EQ(dump.substr(dump.size() - tail.size()), tail);
}


// Outputs of a good run of one model, then a second run of another model
// in the same directory that fails the way a full disk or a read-only
// directory fails: every old output stays, no scratch or temporary file is
// left, and the log names the file and the reason.
class FailedRun {
 public:
  static constexpr const char* kOutputs[] = {"m.GTY", "m.PSY", "m.VNM"};
  FailedRun() {
    f.Run(kModel);
    EXPECT_TRUE(f.Finished()) << f.LastLine();
    for (const char* name : kOutputs) old[name] = f.dir.Read(name);
    f.dir.Write("m.QTL", "XVTYPE B = RECORD Y: XVR END;\r\n" + kTinyXproc);
  }
  std::vector<std::string> RunAgain() {
    LogWriter log;
    Preprocessor pp{log};
    HandleCommandLine(pp, {"m"});
    return log.Lines();
  }
  void ExpectOldOutputsOnly() {
    for (const char* name : kOutputs) EXPECT_EQ(f.dir.Read(name), old[name]) << name;
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(f.dir.path())) names.insert(e.path().filename());
    EXPECT_EQ(names, (std::set<std::string>{"m.QTL", "m.GTY", "m.PSY", "m.VNM"}));
  }
  RunFixture f;
  std::map<std::string, std::string> old;
};

TEST(Run, AFailedWriteKeepsEveryOldOutputAndLogsTheFileAndReason) {
  struct Case {
    const char* name;
    const char* call;
    long failAt;
    int error;
    std::string logged;
  } cases[] = {
      {"disk full", "Write", 0, ENOSPC, "Cannot write TMPQTL.TMP: No space left on device"},
      {"read-only directory", "OpenFile", 1, EACCES, "Cannot write TMPQTL.TMP: Permission denied"},
      {"map not creatable", "MakeTemp", 1, EACCES, "Cannot write m.VNM: Permission denied"},
      {"the first flush is the types file's", "Sync", 0, EIO, "Cannot write m.GTY: Input/output error"},
      {"flush fails at the end", "Sync", 1, EIO, "Cannot write m.PSY: Input/output error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FailedRun run;
    std::vector<std::string> log;
    {
      krv::testing::FailingCalls fail;
      fail.only = c.call;
      fail.failAt = c.failAt;
      fail.keepFailing = true;
      fail.error = c.error;
      log = run.RunAgain();
    }
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], c.logged);
    EXPECT_EQ(log.back(), "Other Exception");
    run.ExpectOldOutputsOnly();
  }
}

// The outputs with the compile label's date and time blanked, since runs a
// second apart label their outputs differently.
std::string Undated(const std::string& bytes) {
  static const std::regex stamp(">[ 0-9]{2}-[ 0-9]{2}-[0-9]{4} [ 0-9]{2}:[ 0-9]{2}:[ 0-9]{2}");
  return std::regex_replace(bytes, stamp, ">date");
}

TEST(Run, AFailureAtAnyCallLeavesEachOutputWholeOldOrNew) {
  long calls;
  std::map<std::string, std::string> fresh;
  {
    FailedRun run;
    krv::testing::FailingCalls count;
    run.RunAgain();
    calls = count.counted();
    for (const char* name : FailedRun::kOutputs) fresh[name] = Undated(run.f.dir.Read(name));
  }
  ASSERT_GT(calls, 20);
  for (long k = 0; k < calls; ++k) {
    SCOPED_TRACE("failing call " + std::to_string(k));
    FailedRun run;
    std::vector<std::string> log;
    {
      krv::testing::FailingCalls fail;
      fail.failAt = k;
      log = run.RunAgain();
    }
    for (const char* name : FailedRun::kOutputs) {
      std::string now = run.f.dir.Read(name);
      EXPECT_TRUE(now == run.old[name] || Undated(now) == fresh[name]) << name;
    }
    // A run that failed after taking the lock leaves no scratch file;
    // one that could not take it touches nothing.
    ASSERT_GE(log.size(), 2u);
    if (log.back() == "Other Exception" && log[log.size() - 2].rfind("Cannot lock", 0) != 0) {
      EXPECT_FALSE(run.f.dir.Has("TMPQTL.TMP"));
      EXPECT_FALSE(run.f.dir.Has("SAVI.TMP"));
      EXPECT_FALSE(run.f.dir.Has("SAVIJ.TMP"));
    }
    for (const auto& e : std::filesystem::directory_iterator(run.f.dir.path()))
      EXPECT_NE(e.path().filename().string().substr(0, 3), ".m.") << e.path();
  }
}

TEST(Run, ASecondRunInTheSameDirectoryTouchesNothing) {
  FailedRun run;
  std::string tmp = run.f.dir.Read("TMPQTL.TMP");
  platform::RunLock other;
  ASSERT_TRUE(other.TryLock(run.f.dir.File(kScratchLockFile)));
  std::vector<std::string> log = run.RunAgain();
  EXPECT_EQ(log.back(), "Another run is using TMPQTL.TMP, SAVI.TMP and SAVIJ.TMP in this directory: nothing done");
  for (const char* name : FailedRun::kOutputs) EXPECT_EQ(run.f.dir.Read(name), run.old[name]) << name;
  EXPECT_EQ(run.f.dir.Read("TMPQTL.TMP"), tmp);
  other.Release();
  log = run.RunAgain();
  EXPECT_EQ(log.back().rfind("  ---FINISHED", 0), 0u) << log.back();
  EXPECT_NE(run.f.dir.Read("m.GTY"), run.old["m.GTY"]);
}

}  // namespace
}  // namespace krv::pp::test
