// Problem files: reading, the older format, broken files and saving.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/user_prompts.h"
#include "problem_editor/LDSAVE.h"
#include "problem_editor/tests/prb_fixture.h"
#include "sequencer/prb_format.h"
#include "sequencer/tests/prb_cases.h"
#include "testing/failing_calls.h"
#include "testing/temp_dir.h"

namespace krv::pe {
namespace {

using namespace krv::pe::testing;
using krv::testing::TempDir;

// The fixture with the constraint letters a save rebuilds from the codes.
std::string FixtureAsSaved() {
  std::string s = FixturePrb();
  auto fix = [&s](const char* line, char letter) {
    size_t at = s.find(std::string(line) + "\r\n");
    ASSERT_NE(at, std::string::npos);
    s[at + std::strlen(line) + 2] = letter;
  };
  fix("ICTANK.LEVEL", 'P');  // 'p' read case-blind, written upper case
  fix("COPUMP_SPEED", 'U');  // codes 4..6 never carry the constraint
  fix("**X[1]", 'U');
  return s;
}

TEST(PrbRead, FixtureNamesCodesAndValues) {
  EditorBuffer buf;
  ASSERT_TRUE(ParsePrb(FixturePrb(), false, buf));
  struct Want {
    const char* name;
    int code;
  } want[] = {{"FLOW.IN", 1},  {"FLOW.OUT", 0}, {"TANK.LEVEL", 3}, {"TANK.VOL", 2},
              {"PUMP_SPEED", 4}, {"PUMP_RATE", 5}, {"T", 6},        {"X[1]", 6},
              {"A.B.C.D", 5},  {"A.B", 0},      {"A.B.C.D", 0}};
  ASSERT_EQ(buf.records.size(), std::size(want));
  for (size_t i = 0; i < std::size(want); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(buf.records[i].name, want[i].name);
    EXPECT_EQ(buf.records[i].TypeCode, want[i].code);
  }
  EXPECT_EQ(buf.records[0].XIn(), 1.5);
  EXPECT_EQ(buf.records[0].Range(), 2.0f);
  EXPECT_EQ(buf.records[0].Fourth(), 0.25f);
  EXPECT_EQ(buf.records[0].XOut(), 3.5);
  EXPECT_EQ(buf.beginNumber, 0);
  EXPECT_EQ(buf.endNumber, 10);
  EXPECT_TRUE(buf.image.orderingComplete);
  EXPECT_EQ(buf.image.file.unreadOrdering, FixtureOrdering());
}

TEST(PrbRead, DittoTableRules) {
  std::string s = "*L\r\n" + U16(4);
  // A component longer than 31 characters is stored cut, so its ditto
  // stands for the cut text; entries past the name's end survive.
  std::string longComp(35, 'Q');
  for (const char* line : {"IOA.B.C.D", "IO\".\"", "IO\".\".C.\""})
    s += std::string(line) + "\r\n" + Block('U', 0, 0, 0, 0);
  s += "IO" + longComp + "\r\n" + Block('U', 0, 0, 0, 0);
  s += "IO\"_Z\r\n" + Block('U', 0, 0, 0, 0);
  s += "#\r\n" + U16(0) + U16(0) + U16(0) + U16(0);
  EditorBuffer buf;
  ASSERT_TRUE(ParsePrb(s, false, buf));
  EXPECT_EQ(buf.records[1].name, "A.B");
  EXPECT_EQ(buf.records[2].name, "A.B.C.D");
  EXPECT_EQ(buf.records[3].name, longComp);
  EXPECT_EQ(buf.records[4].name, std::string(31, 'Q') + "_Z");
}

TEST(PrbRead, DittosReferOnlyToTheFilesOwnNames) {
  EditorBuffer first, second;
  ASSERT_TRUE(ParsePrb(FixturePrb(), false, first));
  std::string s = "*L\r\n" + U16(0) + "IO\".X\r\n" + Block('U', 0, 0, 0, 0) + "#\r\n" +
                  U16(0) + U16(0) + U16(0) + U16(0);
  ASSERT_TRUE(ParsePrb(s, false, second));
  EXPECT_EQ(second.records[0].name, ".X");
}

TEST(PrbRead, TypeCodesAndTheConstraintSwitch) {
  struct Case {
    const char* kind;
    char letter;
    int code;
  } cases[] = {{"IO", 'U', 0}, {"IO", 'p', 1}, {"IC", 'U', 2}, {"CC", 'P', 3}, {"CO", 'P', 4},
               {"I*", 'P', 5}, {"CI", 'U', 5}, {"*O", 'P', 6}, {"OC", 'U', 6}, {"**", 'U', 6}};
  for (const auto& c : cases)
    EXPECT_EQ(TypeCodeFor(c.kind[0], c.kind[1], uint8_t(c.letter)), c.code) << c.kind << c.letter;
  const int on[] = {1, 1, 3, 3, 4, 5, 6};
  const int off[] = {0, 0, 2, 2, 4, 5, 6};
  for (int code = 0; code <= 6; ++code) {
    EXPECT_EQ(WithPositiveConstraint(code, true), on[code]) << code;
    EXPECT_EQ(WithPositiveConstraint(code, false), off[code]) << code;
  }
}

TEST(PrbRead, LongNamesAreCut) {
  std::string name(100, 'N');
  std::string s = "*L\r\n" + U16(0) + "IO" + name + "\r\n" + Block('U', 0, 0, 0, 0) + "#\r\n" +
                  U16(0) + U16(0) + U16(0) + U16(0);
  EditorBuffer buf;
  ASSERT_TRUE(ParsePrb(s, false, buf));
  EXPECT_EQ(buf.records[0].name, std::string(77, 'N'));
}

TEST(PrbRead, EmptyProblemAndBrokenFiles) {
  EditorBuffer buf;
  std::string none = "*L\r\n" + U16(0xFFFF) + "#\r\n" + U16(0) + U16(0) + U16(0) + U16(0);
  ASSERT_TRUE(ParsePrb(none, false, buf));
  EXPECT_EQ(buf.HighestIndex(), -1);
  EXPECT_EQ(WritePrbFile(buf), none);

  std::string good = FixturePrb();
  const std::string broken[] = {
      "",
      "*L",                                      // header without an ending
      "*L\r\n" + U16(0x8000),                    // count word that would wrap
      "*L\r\n" + U16(0xFFFE),
      "*L\r\n" + U16(1) + "IOA\r\n" + Block('U', 0, 0, 0, 0) + "#\r\n",  // record missing
      "*L\r\n" + U16(0) + "IOA\r\n",             // name line ends the file
      "*L\r\n" + U16(0) + "IOA\r\n" + std::string(10, 'x'),  // block cut short
      "OLD HEADER\r\n",                          // older format, not allowed here
      good.substr(0, good.size() / 2),
  };
  for (const auto& b : broken) {
    SCOPED_TRACE(b.size());
    EditorBuffer out;
    EXPECT_FALSE(ParsePrb(b, false, out));
  }
}

TEST(PrbRead, OlderFormat) {
  std::string s = "OLD LABEL\r\n";
  for (int i = 0; i < 3400; ++i) s += "IOV" + std::to_string(i) + "\r\n" + Block('U', i, 0, 0, 0);
  EditorBuffer buf;
  // More than 3301 records grow the table.
  ASSERT_TRUE(ParsePrb(s + "#\r\n", true, buf));
  EXPECT_EQ(buf.HighestIndex(), 3399);
  EXPECT_EQ(buf.records[3399].name, "V3399");
  EXPECT_EQ(buf.records[3399].XIn(), 3399.0);
  EXPECT_FALSE(buf.image.v4);

  EditorBuffer none;
  ASSERT_TRUE(ParsePrb("OLD\r\n#\r\n", true, none));
  EXPECT_EQ(none.HighestIndex(), -1);
  EXPECT_FALSE(ParsePrb(s, true, buf));                   // no "#" line
  EXPECT_FALSE(ParsePrb("OLD\r\nIOA\r\n", true, buf));    // ends after a name line
  EXPECT_FALSE(ParsePrb(s + "#\r\n", false, buf));        // main problem needs "*"
}

TEST(PrbRead, ReadsWhatSequistWrites) {
  seq::PrbProblem p;
  p.header = seq::MakeHeaderLine("LABEL FROM THE MAP");
  const char* names[] = {"FLOW.IN", "FLOW.OUT", "A.B.C.D", "A.B", "A.B.C.D", "X[1]_Y"};
  for (const char* n : names) {
    seq::PrbVariable v;
    v.kind = "IO";
    v.name = n;
    p.variables.push_back(v);
  }
  p.variables[1].block.SetXIn(2.5);
  p.ordering.pairs.push_back({0, 1});
  p.ordering.rowNames = {0, 1};
  p.ordering.columnNames = {0, 1};
  p.ordering.nonzeros = {{1, 1}, {2, 2}};
  std::string bytes, error;
  ASSERT_TRUE(seq::WritePrb(p, bytes, error)) << error;

  EditorBuffer buf;
  ASSERT_TRUE(ParsePrb(bytes, false, buf));
  ASSERT_EQ(buf.records.size(), std::size(names));
  for (size_t k = 0; k < std::size(names); ++k) EXPECT_EQ(buf.records[k].name, names[k]);
  EXPECT_EQ(buf.records[1].XIn(), 2.5);
  EXPECT_TRUE(buf.image.orderingComplete);
  // Unedited, a save writes Sequist's bytes back unchanged.
  EXPECT_EQ(WritePrbFile(buf), bytes);
}

TEST(PrbFiles, ValidateReportsAndFillsHeaderBuffer) {
  TempDir dir;
  dir.Write("GOOD.PRB", FixturePrb());
  dir.Write("OLD.PRB", "OLD LABEL\r\n#\r\n");
  platform::ScriptedPrompts prompts;
  std::string header = "unchanged";
  EXPECT_FALSE(ValidatePrbFile(dir.File("MISSING"), false, header));
  EXPECT_EQ(header, "unchanged");
  EXPECT_TRUE(ValidatePrbFile(dir.File("good"), false, header));  // case-blind
  EXPECT_EQ(header, FixtureHeader().substr(1));
  EXPECT_FALSE(ValidatePrbFile(dir.File("OLD"), false, header));
  EXPECT_EQ(header, "LD LABEL");
  EXPECT_TRUE(ValidatePrbFile(dir.File("OLD"), true, header));
  // Each names the file; a file that cannot be read, also why.
  EXPECT_EQ(prompts.messages,
            (std::vector<std::string>{std::string(kNoFile) + " " + dir.File("MISSING.PRB") +
                                          ": No such file or directory",
                                      std::string(kNotV4) + " " + dir.File("OLD.PRB")}));
}

TEST(PrbFiles, AFileLargerThanAProblemFileCanBeIsRefusedUnread) {
  TempDir dir;
  dir.WriteSparse("BIG.PRB", seq::kMaxPrbFileBytes + 1);
  platform::ScriptedPrompts prompts;
  std::string header = "unchanged";
  EditorBuffer buf;
  EXPECT_FALSE(ValidatePrbFile(dir.File("BIG"), false, header));
  EXPECT_FALSE(LoadProblemFile(dir.File("BIG"), false, buf));
  const std::string said = seq::PrbTooLargeMessage(dir.File("BIG.PRB"));
  EXPECT_EQ(prompts.messages, (std::vector<std::string>{said, said}));
  EXPECT_EQ(header, "unchanged");
  EXPECT_TRUE(buf.problemName.empty());
}

TEST(PrbFiles, FailedLoadKeepsThePreviousProblem) {
  TempDir dir;
  dir.Write("GOOD.PRB", FixturePrb());
  dir.Write("BAD.PRB", "*L#0000\r\n" + U16(3) + "IOA\r\n" + Block('U', 0, 0, 0, 0) + "#\r\n");
  platform::ScriptedPrompts prompts;
  EditorBuffer buf;
  ASSERT_TRUE(LoadProblemFile(dir.File("GOOD"), false, buf));
  EXPECT_FALSE(LoadProblemFile(dir.File("BAD"), false, buf));
  EXPECT_FALSE(LoadProblemFile(dir.File("NONE"), false, buf));
  EXPECT_EQ(buf.records.size(), 11u);
  EXPECT_EQ(buf.problemName, dir.File("GOOD"));
  EXPECT_EQ(prompts.messages,
            (std::vector<std::string>{
                std::string(kBrokenFile) + " " + dir.File("BAD.PRB") +
                    ": file too short for its 4 name records; run Sequence again",
                "Cannot read " + dir.File("NONE.PRB") + ": No such file or directory"}));
}

TEST(PrbSave, SameNameRotatesBackups) {
  TempDir dir;
  dir.Write("P.PRB", FixturePrb());
  EditorBuffer buf;
  ASSERT_TRUE(LoadProblemFile(dir.File("P"), false, buf));
  ASSERT_TRUE(SaveProblemFile(buf, dir.File("P")));
  EXPECT_EQ(dir.Read("P.PBK"), FixturePrb());
  EXPECT_EQ(dir.Read("P.PRB"), FixtureAsSaved());
  EXPECT_FALSE(dir.Has("P.PNW"));

  buf.records[1].SetXIn(42.0);
  ASSERT_TRUE(SaveProblemFile(buf, ""));  // an empty name saves in place
  EXPECT_EQ(dir.Read("P.PBK"), FixtureAsSaved());
  EditorBuffer again;
  ASSERT_TRUE(LoadProblemFile(dir.File("P"), false, again));
  EXPECT_EQ(again.records[1].XIn(), 42.0);
  EXPECT_EQ(again.records[1].Fourth(), 2.36e-16f);
}

TEST(PrbSave, AnotherSpellingIsTheSameFile) {
  TempDir dir;
  dir.Write("try1.prb", FixturePrb());
  EditorBuffer buf;
  ASSERT_TRUE(LoadProblemFile(dir.File("try1"), false, buf));
  ASSERT_TRUE(SaveProblemFile(buf, dir.File("TRY1")));
  // The file keeps its spelling, and the previous version is the backup.
  EXPECT_EQ(dir.Read("try1.prb"), FixtureAsSaved());
  EXPECT_EQ(dir.Read("try1.PBK"), FixturePrb());
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"try1.PBK", "try1.prb"}));
  EXPECT_EQ(buf.problemName, dir.File("try1"));
}

TEST(PrbSave, AnotherNameWritesThereFromMemory) {
  TempDir dir;
  dir.Write("P.PRB", FixturePrb());
  EditorBuffer buf;
  ASSERT_TRUE(LoadProblemFile(dir.File("P"), false, buf));
  // Sequist rewrote the problem since it was loaded: the save writes what
  // was loaded, so no name gets another's value.
  dir.Write("P.PRB", "*OTHER\r\n" + U16(0xFFFF) + "#\r\n");
  ASSERT_TRUE(SaveProblemFile(buf, dir.File("Q")));
  EXPECT_EQ(dir.Read("Q.PRB"), FixtureAsSaved());
  EXPECT_EQ(dir.Read("P.PRB"), "*OTHER\r\n" + U16(0xFFFF) + "#\r\n");
  EXPECT_EQ(buf.problemName, dir.File("Q"));
  EXPECT_FALSE(dir.Has("Q.PBK"));
}

TEST(PrbSave, LongHeaderIsCutAndIncompleteOrderingRefused) {
  TempDir dir;
  std::string header = "*" + std::string(140, 'H') + "#0000";
  std::string tail = "#\r\n" + U16(0) + U16(0) + U16(0) + U16(0);
  dir.Write("H.PRB", header + "\r\n" + U16(0xFFFF) + tail);
  EditorBuffer buf;
  ASSERT_TRUE(LoadProblemFile(dir.File("H"), false, buf));
  ASSERT_TRUE(SaveProblemFile(buf, dir.File("H2")));
  EXPECT_EQ(dir.Read("H2.PRB"), header.substr(0, 127) + "\r\n" + U16(0xFFFF) + tail);

  // A file cut in its ordering is refused as the main problem; as a
  // transfer source it loads, and cannot be saved.
  const std::string cut = "*L#0000\r\n" + U16(0xFFFF) + "#\r\n" + U16(5) + "ab";
  dir.Write("T.PRB", cut);
  platform::ScriptedPrompts prompts;
  EXPECT_FALSE(LoadProblemFile(dir.File("T"), false, buf));
  ASSERT_TRUE(LoadProblemFile(dir.File("T"), true, buf));
  EXPECT_FALSE(SaveProblemFile(buf, dir.File("T")));
  EXPECT_EQ(prompts.messages.size(), 2u);
  EXPECT_EQ(dir.Read("T.PRB"), cut);
  EXPECT_FALSE(dir.Has("T.PNW"));
}

// A save that cannot be written names the problem file the modeller knows,
// the file that could not be written and the system's reason; nothing on
// disk changes. A read-only directory (which root passes by) and a full
// disk are the system calls failing as they would there.
TEST(PrbSave, AFailedSaveSaysWhichFileAndWhy) {
  struct Case {
    const char* what;
    bool sameName;
    const char* failing;  // the system call that fails, or none
    int error;
    bool readOnlyFile;
    const char* said;  // "@" stands for the directory
  };
  const Case cases[] = {
      {"read-only directory", true, "MakeTemp", EACCES, false,
       "@/P.PRB: its new version @/P.PNW could not be written: Permission denied"},
      {"full disk", true, "Write", ENOSPC, false,
       "@/P.PRB: its new version @/P.PNW could not be written: No space left on device"},
      {"flush refused", true, "Sync", EIO, false,
       "@/P.PRB: its new version @/P.PNW could not be written: Input/output error"},
      {"read-only problem file", true, nullptr, 0, true, "@/P.PRB: the file is read-only"},
      {"another name, read-only directory", false, "MakeTemp", EACCES, false,
       "@/Q.PRB: Permission denied"},
      {"another name, full disk", false, "Write", ENOSPC, false, "@/Q.PRB: No space left on device"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    dir.Write("P.PRB", FixturePrb());
    EditorBuffer buf;
    ASSERT_TRUE(LoadProblemFile(dir.File("P"), false, buf));
    buf.records[1].SetXIn(42.0);
    if (c.readOnlyFile) {
      ASSERT_EQ(::chmod(dir.File("P.PRB").c_str(), 0444), 0);
    }
    platform::ScriptedPrompts prompts;
    bool saved;
    {
      krv::testing::FailingCalls fail;
      if (c.failing) {
        fail.only = c.failing;
        fail.failAt = 0;
        fail.keepFailing = true;
        fail.error = c.error;
      }
      saved = SaveProblemFile(buf, c.sameName ? "" : dir.File("Q"));
    }
    EXPECT_FALSE(saved);
    std::string said = c.said;
    for (size_t at = said.find('@'); at != std::string::npos; at = said.find('@'))
      said.replace(at, 1, dir.path());
    EXPECT_EQ(prompts.messages, std::vector<std::string>{"Cannot save " + said});
    EXPECT_EQ(dir.Read("P.PRB"), FixturePrb());
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"P.PRB"});
    EXPECT_EQ(buf.problemName, dir.File("P"));
  }
}

// A kill (the process ends there, nothing cleaned up) or a refused system
// call before each step of a save under the problem's own name: the
// problem file is there at every moment, the old version or the new one.
size_t g_stopAt;
bool g_kill;

bool StopAtStep(const char* step) {
  if (g_stopAt >= std::size(kSaveSteps) || std::strcmp(step, kSaveSteps[g_stopAt]) != 0) return true;
  if (g_kill) ::_exit(0);
  return false;
}

TEST(PrbSave, KillOrFailureAtEachStepLeavesTheOldOrTheNewFile) {
  const size_t steps = std::size(kSaveSteps);
  for (size_t stop = 0; stop <= steps; ++stop) {
    for (bool kill : {true, false}) {
      if (!kill && stop == steps) continue;
      SCOPED_TRACE(std::string(kill ? "kill before " : "failure of ") +
                   (stop < steps ? kSaveSteps[stop] : "the end"));
      TempDir dir;
      dir.Write("P.PRB", FixturePrb());
      dir.Write("P.PBK", "an older backup");
      platform::ScriptedPrompts prompts;
      EditorBuffer buf;
      ASSERT_TRUE(LoadProblemFile(dir.File("P"), false, buf));
      buf.records[1].SetXIn(42.0);
      const std::string next = WritePrbFile(buf);
      g_stopAt = stop;
      g_kill = kill;
      bool saved;
      if (kill) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
          SetSaveStepHook(StopAtStep);
          SaveProblemFile(buf, "");
          ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        saved = stop == steps;
      } else {
        SetSaveStepHook(StopAtStep);
        saved = SaveProblemFile(buf, "");
        SetSaveStepHook(nullptr);
        // An old backup that will not go, or no link to be had, still
        // leaves a backup: a copy of the old version.
        EXPECT_EQ(saved, stop == 1 || stop == 2);
        EXPECT_EQ(prompts.messages.size(), saved ? 0u : 1u);
      }
      ASSERT_TRUE(dir.Has("P.PRB"));
      const std::string now = dir.Read("P.PRB");
      EXPECT_TRUE(now == FixturePrb() || now == next);
      if (saved) {
        EXPECT_EQ(now, next);
        EXPECT_EQ(dir.Read("P.PBK"), FixturePrb());
        EXPECT_FALSE(dir.Has("P.PNW"));
      } else {
        EXPECT_EQ(now, FixturePrb());
        // The new version, once written, waits in ".PNW".
        if (stop > 0) {
          EXPECT_EQ(dir.Read("P.PNW"), next);
        }
      }
    }
  }
}

// The shared table: what Casewright says of each file as the main problem,
// and whether it can save it again under its own name.
class PrbCaseTest : public ::testing::TestWithParam<prbcases::PrbCase> {};

TEST_P(PrbCaseTest, CasewrightVerdict) {
  const auto& c = GetParam();
  TempDir dir;
  dir.Write("P.PRB", c.bytes);
  platform::ScriptedPrompts prompts;
  EditorBuffer buf;
  bool loaded = LoadProblemFile(dir.File("P"), false, buf);
  ASSERT_EQ(loaded, c.casewright == prbcases::Verdict::Accept);
  if (!loaded) {
    // The file, what is wrong with it, and the remedy the solver's refusal
    // will want.
    ASSERT_EQ(prompts.messages.size(), 1u);
    const std::string& said = prompts.messages[0];
    EXPECT_TRUE(said.starts_with(std::string(kBrokenFile) + " " + dir.File("P.PRB") + ": ")) << said;
    EXPECT_TRUE(said.ends_with("; run Sequence again")) << said;
    EXPECT_GT(said.size(), std::string(kBrokenFile).size() + dir.File("P.PRB").size() + 24) << said;
    return;
  }
  bool saved = SaveProblemFile(buf, "");
  ASSERT_EQ(saved, c.casewrightSaves);
  if (!saved) {
    // Refused with a message, and the file stays as it was.
    EXPECT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(dir.Read("P.PRB"), c.bytes);
    EXPECT_FALSE(dir.Has("P.PNW"));
    return;
  }
  EXPECT_EQ(dir.Read("P.PBK"), c.bytes);
  // The saved file loads again with the same names and values, and the
  // sequencer's check accepts it when it accepted the source.
  EditorBuffer again;
  ASSERT_TRUE(LoadProblemFile(dir.File("P"), false, again));
  ASSERT_EQ(again.records.size(), buf.records.size());
  for (size_t k = 0; k < buf.records.size(); ++k) {
    EXPECT_EQ(again.records[k].name, buf.records[k].name);
    EXPECT_EQ(again.records[k].block, buf.records[k].BlockToWrite());
  }
  seq::PrbProblem p;
  if (c.sequist == prbcases::Verdict::Accept) {
    EXPECT_TRUE(seq::ReadPrb(dir.Read("P.PRB"), p).ok);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, PrbCaseTest, ::testing::ValuesIn(prbcases::PrbCases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace krv::pe
