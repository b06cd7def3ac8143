// Tests of the sequencer pass: variable maps in, problem files and logs out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/little_endian.h"
#include "platform/run_lock.h"
#include "platform/text.h"
#include "platform/user_prompts.h"
#include "preprocessor/vnm_reader.h"
#include "sequencer/SEQCU1.h"
#include "sequencer/prb_format.h"
#include "preprocessor/compile_label.h"
#include "testing/failing_calls.h"
#include "testing/temp_dir.h"

using namespace krv::seq;
using krv::testing::TempDir;
using Log = std::vector<std::string>;

// Little-endian words.
static std::string W(std::initializer_list<int> words) {
  std::string s;
  for (int w : words) krv::platform::AppendU16(s, uint16_t(w));
  return s;
}

static const std::string kBlock = "U" + std::string(24, '\0');

// A map as Foreparse writes it: CR LF lines and a final byte 26.
static std::string Map(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += l + "\r\n";
  return s + "\x1a";
}

// Map lines in Foreparse's columns.
static std::string NameLine(int k, const std::string& kind, const std::string& path) {
  return krv::platform::PadLeft(std::to_string(k), 4) + " " + kind + "  " + path;
}
static std::string IncidenceLine(int out, int in, int fix, int mode) {
  using krv::platform::PadLeft;
  return PadLeft(std::to_string(out), 5) + PadLeft(std::to_string(in), 5) +
         PadLeft(std::to_string(fix), 2) + PadLeft(std::to_string(mode), 2);
}

struct Outcome {
  bool written = false;
  Log log;  // without "LogMemo", the banner line and the FINISHED line
  std::string prb;
  bool hasPrb = false;
};

// Runs the pass on `map` as M.VNM in a fresh directory.
static Outcome Sequence(const std::string& map, const std::string& oldPrb = "",
                        const OrderingOptions& options = {}) {
  TempDir d;
  d.Write("M.VNM", map);
  if (!oldPrb.empty()) d.Write("M.PRB", oldPrb);
  krv::pp::LogWriter log;
  Outcome r;
  r.written = RunSequencer(d.File("M.VNM"), d.File("M.PRB"), log, options);
  const auto& lines = log.Lines();
  EXPECT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[1].rfind(std::string(kBanner) + "  ", 0), 0u) << lines[1];
  EXPECT_EQ(lines.back().rfind(" ---FINISHED", 0), 0u) << lines.back();
  r.log.assign(lines.begin() + 2, lines.end() - 1);
  r.hasPrb = d.Has("M.PRB");
  if (r.hasPrb) r.prb = d.Read("M.PRB");
  return r;
}

TEST(SequencerRun, ThreeChainedNamesWithDittos) {
  Outcome r = Sequence(Map({"LABEL1", "   0 IO  _X.PLANT.TANK.LEVEL", "   1 IO  _X.PLANT.TANK.FLOW",
                        "   2 IO  _X.PLANT.PUMP.FLOW", "     #", "    1    0 0 0", "    2    1 0 0"}));
  ASSERT_TRUE(r.written);
  EXPECT_EQ(r.prb, "*LABEL1#0000\r\n" + W({2}) + "IOPLANT.TANK.LEVEL\r\n" + kBlock +
                       "IO\".\".FLOW\r\n" + kBlock + "IO\".PUMP.\"\r\n" + kBlock + "#\r\n" +
                       W({0}) + W({3, 0, 1, 2, 0, 1, 2}) + W({5, 0}) +
                       W({1, 1, 2, 1, 2, 2, 3, 2, 3, 3}));
  EXPECT_EQ(r.log, (Log{"Names read", "Starting SPIKE  N=3", "N=3", "Processing block 1 to 3",
                        "N=3  TOTAL NONZ=5  UPPER=0  SPIKES=0"}));
}

TEST(SequencerRun, SubscriptsMoveBeforeCompression) {
  Outcome r = Sequence(Map({"SUBS", "   0 IO  _X.A.B_C[1]", "   1 IO  _X.A.B_C[2]", "   2 **  _X.A.D[3]",
                        "     #"}));
  ASSERT_TRUE(r.written);
  EXPECT_EQ(r.prb, "*SUBS#0000\r\n" + W({2}) + "IOA.B[1]_C\r\n" + kBlock + "IO\".B[2]_\"\r\n" +
                       kBlock + "**\".D[3]\r\n" + kBlock + "#\r\n" + W({0}) + W({2, 0, 1, 0, 1}) +
                       W({2, 0}) + W({1, 1, 2, 2}));
}

TEST(SequencerRun, EmptyMapWritesNoRecords) {
  Outcome r = Sequence(Map({"EMPTY", "     #"}));
  ASSERT_TRUE(r.written);
  EXPECT_EQ(r.prb, "*EMPTY#0000\r\n" + W({0xFFFF}) + "#\r\n" + W({0, 0, 0, 0}));
  EXPECT_EQ(r.log, (Log{"Names read", "Starting SPIKE  N=0", "N=0", "Processing block 1 to 0",
                        "N=0  TOTAL NONZ=0  UPPER=0  SPIKES=0"}));
}

TEST(SequencerRun, FixingPairSharesANumberAndNeedsADiagonalRepair) {
  // A is fixed from B by a fixing call (which also names a derivative
  // pair); B's equation uses CV and CV's uses A.
  Outcome r = Sequence(Map({"FIX", "   0 IC  _X.A", "   1 CO  _X.B", "   2 IO  _X.CV", "     #",
                        "    0    1 1 2", "    1    2 0 0", "    2    0 0 0"}));
  ASSERT_TRUE(r.written);
  EXPECT_EQ(r.prb, "*FIX#0000\r\n" + W({2}) + "ICA\r\n" + kBlock + "COB\r\n" + kBlock +
                       "IOCV\r\n" + kBlock + "#\r\n" + W({1, 1, 0}) + W({2, 1, 2, 2, 0}) +
                       W({3, 0}) + W({1, 1, 2, 1, 2, 2}));
  EXPECT_EQ(r.log, (Log{"Names read", "Starting SPIKE  N=2", "N=2", "Elim diag zero at 1",
                        "Searching at level 1 not found", "Searching at level 2 found",
                        "Processing block 1 to 2", "N=2  TOTAL NONZ=3  UPPER=0  SPIKES=0"}));
}

TEST(SequencerRun, ThreeCycleIsTornOnce) {
  Outcome r = Sequence(Map({"CYC", "   0 IO  _X.X", "   1 IO  _X.Y", "   2 IO  _X.Z", "     #",
                        "    0    1 0 0", "    1    2 0 0", "    2    0 0 1"}));
  ASSERT_TRUE(r.written);
  EXPECT_EQ(r.prb, "*CYC#0000\r\n" + W({2}) + "IOX\r\n" + kBlock + "IOY\r\n" + kBlock +
                       "IOZ\r\n" + kBlock + "#\r\n" + W({1, 2, 0}) + W({3, 2, 1, 0, 2, 1, 0}) +
                       W({6, 0}) + W({1, 1, 2, 1, 2, 2, 3, 2, 1, 3, 3, 3}));
  EXPECT_EQ(r.log.back(), "N=3  TOTAL NONZ=6  UPPER=1  SPIKES=1");
}

TEST(SequencerRun, SingularMapIsRefusedQuicklyAndKeepsTheOldProblem) {
  // 38 densely coupled equations and a fixed variable that no equation uses.
  std::vector<std::string> lines{"SING"};
  for (int k = 0; k < 38; ++k) lines.push_back(NameLine(k, "IO", "_X.V" + std::to_string(k)));
  lines.push_back(NameLine(38, "IC", "_X.F"));
  lines.push_back(NameLine(39, "CO", "_X.G"));
  lines.push_back("     #");
  lines.push_back(IncidenceLine(38, 39, 1, 0));
  for (int i = 0; i < 38; ++i) {
    for (int j = 0; j < 38; ++j)
      if (i != j && (i + j) % 3 != 0) lines.push_back(IncidenceLine(i, j, 0, 0));
    lines.push_back(IncidenceLine(39, i, 0, 0));
  }
  // The work is counted, not timed: at most one search per equation, each
  // looking at every entry a few times.
  RepairPathFinder finder;
  long long searches = 0;
  OrderingOptions counted;
  counted.search = [&](const IncidenceLists& lists, int d, std::vector<int>& path) {
    ++searches;
    return finder(lists, d, path);
  };
  const long long entries = (long long)lines.size();
  Outcome r = Sequence(Map(lines), "old problem", counted);
  EXPECT_LE(searches, 40);
  EXPECT_LE(finder.Steps(), searches * 8 * entries);
  EXPECT_FALSE(r.written);
  EXPECT_EQ(r.prb, "old problem");
  ASSERT_GE(r.log.size(), 3u);
  EXPECT_EQ(Log(r.log.end() - 3, r.log.end()),
            (Log{"Searching at level 39 not found", "Singularity Err", "No problem file written"}));
}

TEST(SequencerRun, RefusesBrokenMapsWithoutWriting) {
  struct Case {
    const char* what;
    std::string map;
    Log log;
  } cases[] = {
      {"no terminator", Map({"L", "   0 IO  _X.A"}),
       {"No \"     #\" line after the names: the map is incomplete"}},
      {"empty file", "", {"Empty map: no title line"}},
      {"error mark", Map({"L", "   0 IO  _X.A", "     #", "***ERROR***"}),
       {"Map marked ***ERROR***: preprocessing failed"}},
      {"bad number", Map({"L", "   0 IO  _X.A", "     #", "    0    x 0 0"}),
       {"Invalid numeric format in line 4"}},
      {"three numbers", Map({"L", "   0 IO  _X.A", "     #", "    0    0 0"}),
       {"Invalid numeric format in line 4"}},
      {"index outside", Map({"L", "   0 IO  _X.A", "     #", "    0    1 0 0"}),
       {"Line 4 names variable 1, not in the map"}},
      {"short name line", Map({"L", "   0 I", "     #"}), {"Name line 0 has no kind letters"}},
      {"fix pair missing", Map({"L", "   0 IC  _X.A", "     #"}), {"FIXPTR Err"}},
      // B is fixed from A and also the output of another fixing call: its
      // row goes, and the ordering misses it.
      {"CC clears a row", Map({"L", "   0 C*  _X.A", "   1 IC  _X.B", "   2 CC  _X.C", "     #",
                               "    1    2 1 0", "    2    0 1 0"}),
       {"Names read", "Starting SPIKE  N=1", "N=1", "Elim diag zero at 1",
        "Searching at level 1 not found", "Singularity Err"}},
  };
  for (const auto& c : cases) {
    Outcome r = Sequence(c.map, "old");
    EXPECT_FALSE(r.written) << c.what;
    EXPECT_EQ(r.prb, "old") << c.what;
    Log expected = c.log;
    expected.push_back("No problem file written");
    EXPECT_EQ(r.log, expected) << c.what;
  }
}

TEST(SequencerRun, CountsOnlyThePairsItWritesAndKeepsRepeatedNonzeros) {
  Outcome r = Sequence(Map({"P", "   0 IO  _X.A", "   1 IO  _X.B", "     #", "    1    0 0 3",
                        "    1    0 0 0", "    0    1 1 1", ""}));
  ASSERT_TRUE(r.written);
  PrbProblem p;
  ASSERT_TRUE(ReadPrb(r.prb, p).ok);
  // Mode 3 writes no pair and is not counted; the fixing line's mode 1 is.
  EXPECT_EQ(p.ordering.pairs, (std::vector<PrbIntegrationPair>{{0, 1}}));
  EXPECT_EQ(p.ordering.nonzeros,
            (std::vector<PrbNonzero>{{1, 1}, {2, 1}, {2, 1}, {2, 2}}));
}

TEST(SequencerRun, NonzeroLimitIsExactlyTheFormats) {
  auto map = [](int lines) {
    std::string s = "BIG\r\n   0 IO  _X.A\r\n     #\r\n";
    for (int i = 0; i < lines; ++i) s += "    0    0 0 0\r\n";
    return s + "\x1a";
  };
  Outcome ok = Sequence(map(149999));
  EXPECT_TRUE(ok.written);
  EXPECT_EQ(ok.log.back(), "N=1  TOTAL NONZ=150000  UPPER=0  SPIKES=0");
  Outcome big = Sequence(map(150000));
  EXPECT_FALSE(big.written);
  EXPECT_EQ(big.log, (Log{"Names read", "JAC MTX SIZE TOO BIG", "No problem file written"}));
}

TEST(SequencerRun, RefusesMoreNamesThanTheTablesHold) {
  auto map = [](int names) {
    std::string s = "MANY\r\n";
    for (int k = 0; k < names; ++k) s += NameLine(k, "**", "_X.V") + "\r\n";
    return s + "     #\r\n\x1a";
  };
  EXPECT_TRUE(Sequence(map(10000)).written);
  Outcome r = Sequence(map(10001));
  EXPECT_FALSE(r.written);
  EXPECT_EQ(r.log, (Log{"Too many variables: more than 10000", "No problem file written"}));
}

TEST(SequencerRun, CutsTitleAndNamesAndReadsLinuxLineEnds) {
  std::string title(200, 't');
  std::string longName = "_X." + std::string(100, 'N');
  Outcome r = Sequence(title + "\n   0 **  " + longName + "\n     #\n");
  ASSERT_TRUE(r.written);
  PrbProblem p;
  ASSERT_TRUE(ReadPrb(r.prb, p).ok);
  EXPECT_EQ(p.header, "*" + std::string(127, 't') + "#0000");
  ASSERT_EQ(p.variables.size(), 1u);
  EXPECT_EQ(p.variables[0].name, std::string(87 - 12, 'N'));
}

TEST(SequencerRun, ASecondRunOrAFailedWriteKeepsTheOldProblem) {
  TempDir d;
  d.Write("M.VNM", Map({"L", "   0 IO  _X.A", "     #"}));
  auto run = [&](bool expectWritten) {
    krv::pp::LogWriter log;
    EXPECT_EQ(RunSequencer(d.File("M.VNM"), d.File("M.PRB"), log), expectWritten);
    const auto& l = log.Lines();
    return Log(l.begin() + 2, l.end() - 1);
  };
  run(true);
  const std::string old = d.Read("M.PRB");
  d.Write("M.VNM", Map({"L", "   0 IO  _X.A", "   1 IO  _X.B", "     #"}));
  {
    krv::platform::RunLock other;
    ASSERT_TRUE(other.TryLock(d.File(".M.PRB.lock")));
    EXPECT_EQ(run(false), (Log{"Another run is writing " + d.File("M.PRB") + ": nothing done",
                               "No problem file written"}));
  }
  {
    krv::testing::FailingCalls full;
    full.only = "Write";
    full.failAt = 0;
    full.keepFailing = true;
    full.error = ENOSPC;
    Log log = run(false);
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(Log(log.end() - 2, log.end()), (Log{"Cannot write " + d.File("M.PRB") + ": No space left on device",
                                                  "No problem file written"}));
  }
  EXPECT_EQ(d.Read("M.PRB"), old);
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(d.path())) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"M.PRB", "M.VNM"}));
}

// The types file beside a map must carry the map's label: otherwise a
// translation was cut short between its renames, and nothing is written.
TEST(SequencerRun, AMapFromAnotherTranslationThanItsTypesFileIsRefused) {
  const std::string label = ">12-10-2026  9:30:16 M";
  const std::string map = Map({label, "   0 IO  _X.A", "     #", "    0    0 0 0"});
  auto types = [](const std::string& l) { return "  END;\r\n" + krv::pp::LabelConstantLine(l) + "\r\n\x1a"; };
  struct Case {
    const char* what;
    const char* typesName;  // nullptr: no types file
    std::string typesBytes;
    const char* said;       // part of the log's refusal, or nullptr when written
  } cases[] = {
      {"no types file", nullptr, "", nullptr},
      {"the same label", "M.GTY", types(label), nullptr},
      {"found case-blind", "m.gty", types(label), nullptr},
      {"a later translation", "M.GTY", types(">12-10-2026  9:30:17 M"),
       "are from different translations (labels \">12-10-2026  9:30:16 M\" and \">12-10-2026  9:30:17 M\")"},
      {"an empty types file", "M.GTY", "", "are from different translations (the types file holds no label)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir d;
    d.Write("M.VNM", map);
    d.Write("M.PRB", "old problem");
    if (c.typesName) d.Write(c.typesName, c.typesBytes);
    krv::pp::LogWriter log;
    EXPECT_EQ(RunSequencer(d.File("M.VNM"), d.File("M.PRB"), log), c.said == nullptr);
    if (c.said) {
      EXPECT_NE(log.Text().find(c.said), std::string::npos) << log.Text();
      EXPECT_NE(log.Text().find("Preprocess the model again"), std::string::npos) << log.Text();
      EXPECT_EQ(d.Read("M.PRB"), "old problem");
    }
  }
}

TEST(SequencerRun, CommandLineAndDialogChooseTheFiles) {
  TempDir d;
  krv::platform::ScriptedPrompts prompts;
  krv::pp::LogWriter log;
  EXPECT_FALSE(RunFromCommandLine("", log));
  EXPECT_FALSE(RunFromCommandLine(d.File("NONE"), log));
  EXPECT_EQ(prompts.messages, (std::vector<std::string>{"FILE ERROR"}));
  EXPECT_EQ(log.Lines().size(), 1u);

  // The map is found case-blind; the problem file is made as spelled.
  d.Write("m.vnm", Map({"L", "   0 IO  _X.A", "     #"}));
  EXPECT_TRUE(RunFromCommandLine(d.File("M"), log));
  EXPECT_TRUE(d.Has("M.PRB"));
  std::string first = d.Read("M.PRB");
  EXPECT_TRUE(RunFromCommandLine(d.File("M"), log));
  EXPECT_EQ(d.Read("M.PRB"), first);
  int finished = 0;
  for (const auto& l : log.Lines()) finished += l.rfind(" ---FINISHED", 0) == 0;
  EXPECT_EQ(finished, 2);

  EXPECT_EQ(ProblemPathFor("/p/x.VNM"), "/p/x.PRB");
  EXPECT_EQ(ProblemPathFor("/p/x.vnm"), "/p/x.vnm.PRB");
  EXPECT_EQ(ProblemPathFor("/p.VNM/x.VNM"), "/p.PRB");
  std::string deep = "/" + std::string(120, 'd') + "/x.VNM";
  EXPECT_EQ(ProblemPathFor(deep), deep.substr(0, deep.size() - 4) + ".PRB");

  // The dialog comes back until a file that opens is chosen.
  prompts.files = {d.File("none.VNM"), d.File("m.vnm")};
  EXPECT_EQ(ChooseMapFile(), d.File("m.vnm"));
  ASSERT_EQ(prompts.dialogs.size(), 2u);
  EXPECT_EQ(prompts.dialogs[0].title, "Specify file to start processing");
  EXPECT_EQ(prompts.dialogs[0].filter, "TheFILT|*.VNM");
  EXPECT_EQ(prompts.dialogs[0].defaultExt, "VNM");
  EXPECT_EQ(ChooseMapFile(), std::nullopt);
}

// A pass over a problem file that the editor or the solver filled keeps
// that file whole as M.OLD.PRB; an empty one (as a pass writes it) is just
// replaced.
TEST(SequencerRun, KeepsAReplacedProblemFileThatHoldsValues) {
  const std::string map = Map({"L", "   0 IO  _X.A", "   1 IO  _X.B", "     #", "    1    0 0 0"});
  std::string fresh;
  {
    krv::pp::LogWriter log;
    ASSERT_TRUE(SequenceMap(map, fresh, log));
  }
  auto withByte = [&](size_t at, char c) {
    std::string s = fresh;
    s[at] = c;
    return s;
  };
  const size_t firstBlock = fresh.find("IOA\r\n") + 5;
  const std::string kept = "The values of the replaced problem file are kept in ";
  struct Case {
    const char* what;
    std::string old;
    bool keep;
  } cases[] = {
      {"an X in", withByte(firstBlock + 8, '\x40'), true},            // top byte of X in
      {"a constraint", withByte(firstBlock, 'P'), true},
      {"a lower-case constraint", withByte(firstBlock, 'p'), true},
      {"an X out", withByte(firstBlock + 24, '\x3f'), true},
      {"the empty blocks of a pass", fresh, false},
      {"a lower-case u and zeros", withByte(firstBlock, 'u'), false},
      {"bytes that are no problem file", "not a problem file", true},
      {"an empty file", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir d;
    d.Write("M.VNM", map);
    d.Write("M.PRB", c.old);
    d.Write("M.OLD.PRB", "an older kept copy");
    krv::pp::LogWriter log;
    ASSERT_TRUE(RunSequencer(d.File("M.VNM"), d.File("M.PRB"), log));
    EXPECT_EQ(d.Read("M.PRB"), fresh);
    EXPECT_EQ(d.Read("M.OLD.PRB"), c.keep ? c.old : "an older kept copy");
    int said = 0;
    for (const auto& l : log.Lines()) said += l == kept + d.File("M.OLD.PRB");
    EXPECT_EQ(said, c.keep ? 1 : 0);
  }

  // No earlier file: nothing to keep. The kept copy is found case-blind.
  TempDir d;
  d.Write("M.VNM", map);
  krv::pp::LogWriter log;
  ASSERT_TRUE(RunSequencer(d.File("M.VNM"), d.File("M.PRB"), log));
  EXPECT_FALSE(d.Has("M.OLD.PRB"));
  std::filesystem::remove(d.File("M.PRB"));
  d.Write("m.prb", withByte(firstBlock, 'P'));
  d.Write("m.old.prb", "older");
  ASSERT_TRUE(RunSequencer(d.File("M.VNM"), d.File("M.PRB"), log));
  EXPECT_EQ(d.Read("m.old.prb"), withByte(firstBlock, 'P'));
  EXPECT_FALSE(d.Has("M.OLD.PRB"));

  EXPECT_EQ(KeptProblemPathFor("/p/TANKS.PRB"), "/p/TANKS.OLD.PRB");
  EXPECT_EQ(KeptProblemPathFor("/p/x.vnm.PRB"), "/p/x.vnm.OLD.PRB");
}

// When the copy cannot be written, the file with the values is not replaced.
TEST(SequencerRun, ReplacesNothingWhenTheValuesCannotBeKept) {
  TempDir d;
  const std::string map = Map({"L", "   0 IO  _X.A", "     #"});
  const std::string valued = "*L#0000\r\n" + W({0}) + "IOA\r\nP" + std::string(24, '\x11') +
                             "#\r\n" + W({0, 0, 0, 0});
  d.Write("M.VNM", map);
  d.Write("M.PRB", valued);
  std::filesystem::create_directory(d.File("M.OLD.PRB"));  // in the way
  krv::pp::LogWriter log;
  EXPECT_FALSE(RunSequencer(d.File("M.VNM"), d.File("M.PRB"), log));
  EXPECT_EQ(d.Read("M.PRB"), valued);
  const auto& lines = log.Lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "Cannot write " + d.File("M.OLD.PRB") + " to keep the values of " +
                          d.File("M.PRB")),
            lines.end());
}

// A map, or a problem file the pass would replace, larger than its format
// can be is refused before any of it is read: the log names the file,
// nothing is written, and the memory the file would take is never taken.
TEST(SequencerRun, RefusesFilesLargerThanTheirFormatUnread) {
  struct Case {
    const char* what;
    const char* file;
    uint64_t size;
    std::string (*message)(const std::string&);
  } cases[] = {
      {"a map", "M.VNM", krv::pp::kMaxVariableMapBytes + 1, krv::pp::MapTooLargeMessage},
      {"a replaced problem file", "M.PRB", kMaxPrbFileBytes + 1, PrbTooLargeMessage},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir d;
    d.Write("M.VNM", Map({"L", "   0 IO  _X.A", "     #"}));
    d.WriteSparse(c.file, c.size);
    const uint64_t before = krv::testing::PeakResidentBytes();
    krv::pp::LogWriter log;
    EXPECT_FALSE(RunSequencer(d.File("M.VNM"), d.File("M.PRB"), log));
    EXPECT_LT(krv::testing::PeakResidentBytes() - before, uint64_t(16) << 20);
    const std::string said = c.message(d.File(c.file));
    EXPECT_EQ(said.rfind(d.File(c.file) + " is larger than ", 0), 0u) << said;
    const auto& lines = log.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), said), lines.end());
    EXPECT_EQ(std::filesystem::file_size(d.File(c.file)), c.size);
    EXPECT_FALSE(d.Has("M.OLD.PRB"));
    if (std::string_view(c.file) == "M.VNM") {
      EXPECT_FALSE(d.Has("M.PRB"));
    }
  }
}
