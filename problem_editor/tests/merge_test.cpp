// Taking values over: the transfer, the auto-match from problem files and
// listings, and update mode.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "platform/user_prompts.h"
#include "problem_editor/DispMrgU.h"
#include "problem_editor/LDSAVE.h"
#include "problem_editor/bulk_edits.h"
#include "problem_editor/selection.h"
#include "problem_editor/tests/prb_fixture.h"
#include "problem_editor/text_listing.h"
#include "problem_editor/variable_grid.h"
#include "testing/temp_dir.h"

namespace krv::pe {
namespace {

using namespace krv::pe::testing;
using krv::platform::ScriptedPrompts;
using krv::testing::TempDir;

// A problem file of the given records (name lines and blocks).
std::string Prb(const std::vector<FixtureVar>& vars) {
  std::string s = FixtureHeader() + "\r\n" + U16(unsigned(vars.size() - 1));
  for (const auto& v : vars) s += std::string(v.line) + "\r\n" + v.block;
  return s + "#\r\n" + FixtureOrdering();
}

std::string U(double xin, float range) { return Block('U', xin, range, 0, 0); }

class Merge : public ::testing::Test {
 protected:
  // Loads `bytes` as the main problem M.PRB.
  void LoadMain(const std::string& bytes) {
    dir.Write("M.PRB", bytes);
    ASSERT_TRUE(s.LoadFromCommandLine(dir.File("M")));
    s.startupDone = true;
    prompts.messages.clear();
  }
  AutoMergeOutcome FromPrb(const std::string& bytes, const char* name = "S.PRB") {
    dir.Write(name, bytes);
    return AutoMergeFile(s, MergeSourceKind::Prb, dir.File(name));
  }
  AutoMergeOutcome FromTxt(const std::string& text) {
    dir.Write("S.TXT", text);
    return AutoMergeFile(s, MergeSourceKind::Txt, dir.File("S.TXT"));
  }
  double XIn(int i) const { return s.main.records[size_t(i)].XIn(); }
  float Range(int i) const { return s.main.records[size_t(i)].Range(); }

  TempDir dir;
  ScriptedPrompts prompts;
  EditorSession s;
};

TEST_F(Merge, OnlyEmptyAgainstAll) {
  LoadMain(FixturePrb());
  // FLOW.IN has Range 2, TANK.LEVEL Range 0.
  const std::string source =
      Prb({{"IOFLOW.IN", U(7, 3)}, {"ICTANK.LEVEL", Block('U', 8, 0, 0, 0)}});
  s.autoMatchAll = false;
  AutoMergeOutcome out = FromPrb(source);
  EXPECT_EQ(out.merged, 1);
  EXPECT_EQ(XIn(0), 1.5);   // not empty: kept
  EXPECT_EQ(XIn(2), 8.0);   // empty: taken
  EXPECT_EQ(Range(2), 0.0f);  // a source Range 0 never clears (or sets) one
  EXPECT_EQ(s.main.records[2].TypeCode, 2);  // the source's "U" unconstrains
  EXPECT_TRUE(s.modified);
  EXPECT_EQ(prompts.messages, std::vector<std::string>{"1 variables merged"});

  s.autoMatchAll = true;
  out = FromPrb(source);
  EXPECT_EQ(out.merged, 2);
  EXPECT_EQ(XIn(0), 7.0);
  EXPECT_EQ(Range(0), 3.0f);
  EXPECT_EQ(s.main.records[0].TypeCode, 0);
}

TEST_F(Merge, EqualNamesPairUpInOrder) {
  LoadMain(Prb({{"IOA", U(0, 0)}, {"IOB", U(0, 0)}, {"IOA", U(0, 0)}, {"IOC", U(0, 0)}}));
  // The second A is looked for after the first match; Z matches nothing and
  // leaves the search where it was; the third A goes round to record 0.
  FromPrb(Prb({{"IOA", U(1, 1)}, {"IOZ", U(9, 9)}, {"IOA", U(2, 1)}, {"IOA", U(3, 1)}}));
  EXPECT_EQ(XIn(0), 3.0);
  EXPECT_EQ(XIn(2), 2.0);
  EXPECT_EQ(XIn(1), 0.0);
  EXPECT_EQ(prompts.messages.back(), "3 variables merged");
  // Only empty: a full target is passed over for the next equal one.
  s.autoMatchAll = false;
  s.main.records[0].SetRange(0);
  FromPrb(Prb({{"IOC", U(5, 1)}, {"IOA", U(4, 1)}}));
  EXPECT_EQ(XIn(0), 4.0);
  EXPECT_EQ(XIn(2), 2.0);
}

// The name index must pick the record the search once around from the
// search position picks, with repeated names and "only empty" too.
TEST(AutoMatcherOrder, SameAsTheCyclicSearch) {
  std::mt19937 rng(11);
  auto pick = [&rng](int n) { return int(rng() % unsigned(n)); };
  for (int round = 0; round < 40; ++round) {
    const bool all = round % 2 == 0;
    EditorBuffer main;
    main.records.resize(size_t(1 + pick(30)));
    for (auto& r : main.records) {
      r.name = std::string(1, char('A' + pick(6)));
      r.TypeCode = 0;
      r.SetRange(float(pick(2)));
    }
    EditorBuffer oracle = main;
    AutoMatcher matcher(main, all);
    int pos = 0;
    const int n = int(oracle.records.size());
    for (int k = 0; k < 80; ++k) {
      seq::PRBValueBlock b = seq::PRBValueBlock::Unconstrained();
      b.SetXIn(k + 1);
      b.SetRange(float(pick(2)));
      const std::string name = "_X." + std::string(1, char('A' + pick(8)));
      matcher.Apply(name, b);
      for (int j = 0; j < n; ++j) {
        VariableRecord& r = oracle.records[size_t((pos + j) % n)];
        if ("_X." + r.name != name || !(all || r.Range() == 0)) continue;
        const float own = r.Range();
        r.block = b;
        if (b.Range() == 0) r.SetRange(own);
        pos = (pos + j) % n + 1 >= n ? 0 : (pos + j) % n + 1;
        break;
      }
    }
    for (int i = 0; i < n; ++i)
      ASSERT_EQ(main.records[size_t(i)].block, oracle.records[size_t(i)].block)
          << "round " << round << " record " << i;
  }
}

TEST_F(Merge, ListingMasksAndValueLines) {
  LoadMain(FixturePrb());
  const std::string text =
      "    x &.LEVEL\r\np 3.5 2.5\r\n"        // a mask; "p" constrains
      "   5 I*  _X.PUMP_RATE\r\n    6\r\n"    // X in only: the Range stays
      "   x &_A\r\n 1\r\n"                     // a mask syntax error: skipped
      "   1 IO  _X.flow.out\r\n  4 5 6\r\n";   // read upper case
  AutoMergeOutcome out = FromTxt(text);
  EXPECT_FALSE(out.dataFormError);
  EXPECT_EQ(out.merged, 3);
  EXPECT_EQ(XIn(2), 3.5);
  EXPECT_EQ(Range(2), 2.5f);
  EXPECT_EQ(s.main.records[2].TypeCode, 3);
  EXPECT_EQ(XIn(5), 6.0);
  EXPECT_EQ(Range(5), 1.0f);
  EXPECT_EQ(XIn(1), 4.0);
  EXPECT_EQ(s.main.records[1].XOut(), 5.0);
  EXPECT_EQ(Range(1), 6.0f);
  EXPECT_EQ(prompts.messages,
            (std::vector<std::string>{"Name syntax err", "3 variables merged"}));
}

TEST_F(Merge, WildcardSourceKeepsEachTargetsRange) {
  LoadMain(FixturePrb());
  FromTxt("   x _X.*.B\r\n 9\r\n");
  EXPECT_EQ(XIn(9), 9.0);   // A.B
  EXPECT_EQ(Range(9), 0.0f);
  EXPECT_EQ(XIn(10), 1.0);  // A.B.C.D is longer
  EXPECT_EQ(prompts.messages.back(), "1 variables merged");
  FromTxt("   x &.VOL\r\n  9 8\r\n");
  EXPECT_EQ(XIn(3), 9.0);
  EXPECT_EQ(Range(3), 8.0f);
}

TEST_F(Merge, BrokenAndMissingSources) {
  LoadMain(FixturePrb());
  // Cut inside the second value block: the first record stays taken.
  std::string cut = Prb({{"IOFLOW.IN", U(7, 3)}, {"IOFLOW.OUT", U(8, 3)}});
  cut.resize(cut.find("IOFLOW.OUT") + 12 + 10);
  AutoMergeOutcome out = FromPrb(cut);
  EXPECT_TRUE(out.dataFormError);
  EXPECT_EQ(XIn(0), 7.0);
  EXPECT_EQ(XIn(1), -0.37003730);
  EXPECT_EQ(prompts.messages, (std::vector<std::string>{"Data form error", "1 variables merged"}));
  // Cut inside a name line, and an older-format source.
  prompts.messages.clear();
  out = FromPrb(FixtureHeader() + "\r\n" + U16(1) + "IOFLOW.IN\r\n" + U(6, 3) + "IOFL");
  EXPECT_TRUE(out.dataFormError);
  EXPECT_EQ(XIn(0), 6.0);
  out = FromPrb("OLD\r\nIOFLOW.OUT\r\n" + U(5, 3) + "#\r\n");
  EXPECT_FALSE(out.dataFormError);
  EXPECT_EQ(XIn(1), 5.0);
  // A listing line with no name.
  prompts.messages.clear();
  out = FromTxt("   0 IO  _X.FLOW.IN\r\n 4\r\nnothing here\r\n 1\r\n");
  EXPECT_TRUE(out.dataFormError);
  EXPECT_EQ(XIn(0), 4.0);
  EXPECT_EQ(prompts.messages, (std::vector<std::string>{"Data form error", "1 variables merged"}));

  prompts.messages.clear();
  out = AutoMergeFile(s, MergeSourceKind::Prb, dir.File("NONE.PRB"));
  EXPECT_FALSE(out.chosen);
  EXPECT_EQ(prompts.messages,
            std::vector<std::string>{dir.File("NONE.PRB") + " missing: No such file or directory"});
}

TEST_F(Merge, DialogKeepsLongPaths) {
  LoadMain(FixturePrb());
  const std::string deep = std::string(60, 'd') + "/" + std::string(40, 'e');
  std::filesystem::create_directories(dir.File(deep));
  dir.Write(deep + "/SOURCE.TXT", "   0 IO  _X.FLOW.IN\r\n 4\r\n");
  ASSERT_GT(dir.File(deep + "/SOURCE.TXT").size(), 87u);
  prompts.files.push_back(dir.File(deep + "/SOURCE.TXT"));
  AutoMergeOutcome out = AutoMerge(s, MergeSourceKind::Txt);
  EXPECT_TRUE(out.chosen);
  EXPECT_EQ(XIn(0), 4.0);
  ASSERT_EQ(prompts.dialogs.size(), 1u);
  EXPECT_EQ(prompts.dialogs[0].title, "Merge TXT");
  EXPECT_EQ(prompts.dialogs[0].filter, "TXT file|*.TXT");
  // Cancelled: nothing at all.
  prompts.messages.clear();
  EXPECT_FALSE(AutoMerge(s, MergeSourceKind::Prb).chosen);
  EXPECT_TRUE(prompts.messages.empty());
}

// A listing written, edited by hand and read back sets what it says.
TEST_F(Merge, ListingRoundTrip) {
  LoadMain(ListingFixturePrb());
  EditorBuffer& b = s.main;
  SelectionRequest req{"0", "10000", "&"};
  ASSERT_TRUE(RunSelection(b, req).accepted);
  for (int i = 0; i <= b.HighestIndex(); ++i) {
    b.records[size_t(i)].SetXIn(0.5 * i);
    b.records[size_t(i)].SetRange(i % 3 == 0 ? 0.0f : float(i % 7 + 1));
  }
  EditorBuffer written = b;
  std::string text = TextListingBytes(b);
  // Hand edits: a mask line, an X-in-only line and a "p".
  text += "    x &.LEVEL\r\np 3.5 2.5\r\n";
  text += "   6 *O  _X.T\r\n  42\r\n";
  size_t at = text.find("_X.FLOW.OUT\r\n");
  ASSERT_NE(at, std::string::npos);
  text[at + 13] = 'p';

  LoadMain(ListingFixturePrb());  // fresh values, then the listing
  EditorBuffer fresh;
  ASSERT_TRUE(ParsePrb(ListingFixturePrb(), false, fresh));
  dir.Write("L.TXT", text);
  AutoMergeOutcome out = AutoMergeFile(s, MergeSourceKind::Txt, dir.File("L.TXT"));
  EXPECT_FALSE(out.dataFormError);
  for (int i = 0; i <= b.HighestIndex(); ++i) {
    SCOPED_TRACE(i);
    const VariableRecord& got = b.records[size_t(i)];
    const VariableRecord& want = written.records[size_t(i)];
    if (i == 2) {  // TANK.LEVEL, set by the mask
      EXPECT_EQ(got.XIn(), 3.5);
      EXPECT_EQ(got.Range(), 2.5f);
      continue;
    }
    if (i == 6) {  // T
      EXPECT_EQ(got.XIn(), 42.0);
      continue;
    }
    EXPECT_EQ(got.XIn(), want.XIn());
    // A listed Range 0 keeps the target's own, as does a line without one
    // (codes 5 and 6 list X in alone).
    const bool keeps = i % 3 == 0 || got.TypeCode >= 5;
    EXPECT_EQ(got.Range(), keeps ? fresh.records[size_t(i)].Range() : want.Range());
    const bool ic = got.TypeCode == 2 || got.TypeCode == 3;
    if (got.TypeCode <= 4 && !ic) {
      EXPECT_EQ(got.XOut(), want.XOut());
    }
    EXPECT_EQ(got.TypeCode, i == 1 ? 1 : want.TypeCode);
  }
  EXPECT_EQ(b.records[10000].name, LongName());
  EXPECT_EQ(b.records[10000].XIn(), 5000.0);
  EXPECT_EQ(prompts.messages.back(), "10003 variables merged");
}

TEST_F(Merge, TransferRowsAndCursors) {
  LoadMain(FixturePrb());
  SelectionRequest req{"0", "10", "&"};
  ASSERT_TRUE(RunSelection(s.main, req).accepted);
  EXPECT_FALSE(TransferAtCursors(s));  // no source yet
  s.merge = std::make_unique<EditorBuffer>();
  dir.Write("S.PRB", Prb({{"IOA", Block('P', 4, 2, 1, 5)}, {"ICB", U(3, 0)}, {"I*C", U(1, 0)}}));
  ASSERT_TRUE(LoadProblemFile(dir.File("S"), true, *s.merge));
  SelectionRequest all{"0", "2", "&"};
  ASSERT_TRUE(RunSelection(*s.merge, all).accepted);
  ScrollToEnd(*s.merge, kMergeRows);

  EXPECT_EQ(MergeCountText(*s.merge), "3 disp");
  const std::string blank13(13, ' ');
  struct Want {
    const char* marker;
    std::string caption, values;
  } want[] = {
      {"I", "   0 IO  _X.A",
       "P   4.0000000E+00  5.0000000E+00  2.000E+00  5.000E-01"},
      {" ", "   1 IC  _X.B", "    3.0000000E+00 " + blank13 + "  0.000E+00  "},
      {" ", "   2 I*  _X.C", "    1.0000000E+00      "},
      {" ", " ", " "},
  };
  for (int d = 0; d < 4; ++d) {
    SCOPED_TRACE(d);
    MergeRowView v = DrawMergeRow(*s.merge, d);
    EXPECT_EQ(v.marker, want[d].marker);
    EXPECT_EQ(v.caption, want[d].caption);
    EXPECT_EQ(v.values, want[d].values);
  }

  s.main.cursor = 9;
  ASSERT_TRUE(TransferAtCursors(s));
  EXPECT_EQ(s.main.records[9].block, s.merge->records[0].block);
  EXPECT_EQ(s.main.records[9].TypeCode, 1);
  EXPECT_EQ(s.merge->cursor, 1);
  EXPECT_EQ(s.main.cursor, 10);
  EXPECT_TRUE(s.modified);
  // On the last row of the main list its cursor stays.
  ASSERT_TRUE(TransferAtCursors(s));
  EXPECT_EQ(s.main.records[10].XIn(), 3.0);
  EXPECT_EQ(s.main.records[10].TypeCode, 0);
  EXPECT_EQ(s.main.cursor, 10);
  EXPECT_EQ(s.merge->cursor, 2);
  ASSERT_TRUE(TransferAtCursors(s));
  EXPECT_EQ(s.merge->cursor, 2);  // and so does the source's
}

// Update mode: new layout, old values, saved over the old file.
class Update : public Merge {
 protected:
  void SetUp() override {
    dir.Write("M.PRB", Prb({{"IOA", U(0, 0)}, {"IOB", U(0, 0)}, {"ICC", U(0, 0)}, {"I*D", U(0, 0)}}));
    ASSERT_TRUE(s.LoadFromCommandLine(dir.File("M")));
  }
  std::string Old() const {
    return Prb({{"ICC", Block('P', 3, 3, 0, 0)}, {"IOA", U(1, 1)}, {"IOGONE", U(9, 9)},
                {"IOB", U(2, 2)}});
  }
  EditorBuffer Saved(const std::string& name) const {
    EditorBuffer b;
    EXPECT_TRUE(ParsePrb(dir.Read(name), false, b));
    return b;
  }
};

TEST_F(Update, ReplacesTheChosenOldFile) {
  dir.Write("old.prb", Old());
  prompts.files.push_back(dir.File("old.prb"));
  EXPECT_EQ(UpdateFromOldProblem(s), UpdateResult::Updated);
  EXPECT_EQ(prompts.messages,
            (std::vector<std::string>{"3 variables merged", "Updated " + dir.File("old")}));
  EXPECT_FALSE(s.modified);
  // Written as spelled on disk, not beside it as old.PRB.
  EXPECT_FALSE(std::filesystem::exists(dir.File("old.PRB")));
  EditorBuffer b = Saved("old.prb");
  ASSERT_EQ(b.records.size(), 4u);
  EXPECT_EQ(b.records[0].name, "A");
  EXPECT_EQ(b.records[0].XIn(), 1.0);
  EXPECT_EQ(b.records[1].Range(), 2.0f);
  EXPECT_EQ(b.records[2].TypeCode, 3);
  EXPECT_EQ(b.records[2].XIn(), 3.0);
  EXPECT_EQ(dir.Read("M.PRB"), Prb({{"IOA", U(0, 0)}, {"IOB", U(0, 0)}, {"ICC", U(0, 0)},
                                    {"I*D", U(0, 0)}}));
}

TEST_F(Update, FromTheKeptCopyToTheProblemFile) {
  dir.Write("M.OLD.PRB", Old());
  prompts.files.push_back(dir.File("M.OLD.PRB"));
  EXPECT_EQ(UpdateFromOldProblem(s), UpdateResult::Updated);
  ASSERT_EQ(prompts.dialogs.size(), 1u);
  EXPECT_EQ(prompts.dialogs[0].fileName, dir.File("M.OLD.PRB"));
  EXPECT_EQ(prompts.messages.back(), "Updated " + dir.File("M"));
  EXPECT_EQ(dir.Read("M.OLD.PRB"), Old());
  EXPECT_EQ(Saved("M.PRB").records[0].XIn(), 1.0);
  EXPECT_TRUE(std::filesystem::exists(dir.File("M.PBK")));
}

TEST_F(Update, StopsWithoutSaving) {
  struct Case {
    const char* name;
    std::string old;
    bool chosen;
    UpdateResult result;
    const char* last;
  } cases[] = {
      {"empty_left", Prb({{"IOA", U(1, 1)}, {"IOB", U(2, 2)}}), true, UpdateResult::EmptyLeft,
       "Some variables empty, need to add."},
      {"data_form_error", Old().substr(0, Old().find("IOB") + 8), true,
       UpdateResult::DataFormError, "Data form error"},
      {"cancelled_with_empty", Old(), false, UpdateResult::EmptyLeft,
       "Some variables empty, need to add."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    prompts.messages.clear();
    dir.Write("OLD.PRB", c.old);
    if (c.chosen) prompts.files.push_back(dir.File("OLD.PRB"));
    EXPECT_EQ(UpdateFromOldProblem(s), c.result);
    EXPECT_EQ(dir.Read("OLD.PRB"), c.old);
    ASSERT_FALSE(prompts.messages.empty());
    if (c.result == UpdateResult::DataFormError)
      EXPECT_EQ(prompts.messages[prompts.messages.size() - 2], c.last);
    else
      EXPECT_EQ(prompts.messages.back(), c.last);
  }
  // No old file taken: a cancelled dialog or a missing file.
  for (bool missing : {false, true}) {
    SetUp();
    for (VariableRecord& r : s.main.records) r.SetRange(1);
    prompts.messages.clear();
    if (missing) prompts.files.push_back(dir.File("GONE.PRB"));
    EXPECT_EQ(UpdateFromOldProblem(s), UpdateResult::NoFile);
    EXPECT_EQ(prompts.messages.back(), "Update file problem");
    EXPECT_EQ(prompts.messages.size(), missing ? 2u : 1u);
  }
}

}  // namespace
}  // namespace krv::pe
