// Tests of the step status: texts and enabled buttons from the files' stamps.
#include <gtest/gtest.h>

#include <filesystem>

#include "guide/step_status.h"
#include "platform/file_stamp.h"
#include "testing/temp_dir.h"

using namespace krv::guide;
using krv::platform::PackLocalTime;
using krv::platform::SetPackedFileDate;
using krv::testing::ScopedCwd;
using krv::testing::TempDir;

namespace {
const std::optional<uint32_t> none;
const uint32_t t1 = 100, t2 = 200, t3 = 300;
}  // namespace

TEST(StepStatus, RulesWithTheSourcePresent) {
  struct Case {
    const char* what;
    FileProbes f;
    const char* prep;
    const char* seq;
    const char* comp;
    bool seqOn, solverOn;
  } cases[] = {
      {"all current", {t1, t2, t2, t2, t3, none}, " ", " ", " ", true, true},
      {"newer QTL than VNM", {t3, t2, t2, t3, t3, none}, "Newer QTL, need to preprocess??", " ",
       " ", true, false},
      {"newer QTL than PSY", {t3, t3, t3, t2, t3, none}, "Newer QTL, need to preprocess??", " ",
       " ", true, true},
      {"equal dates", {t2, t2, t2, t2, t3, none}, " ", " ", " ", true, true},
      {"no PRB", {t1, t2, none, t2, none, none}, " ", "Need to sequence", "Need to compile",
       true, false},
      {"VNM newer than PRB", {t1, t3, t2, t2, t3, none}, " ", "Need to sequence", " ", true, true},
      {"EXE as old as PSY", {t1, t2, t2, t2, t2, none}, " ", " ", " ", true, false},
      {"EXE older than PSY", {t1, t2, t2, t3, t2, none}, " ", " ", "Need to compile", true, false},
      {"not preprocessed", {t1, none, none, none, none, none}, "Preprocess", "earlier", " ", false,
       false},
      {"PSY without VNM", {t1, none, none, t2, none, none}, "Preprocess", "earlier",
       "Need to compile", false, false},
  };
  for (const Case& c : cases) {
    StepStatus s;
    s.seqStatus = "earlier";
    ApplyStatusRules(c.f, s);
    SCOPED_TRACE(c.what);
    EXPECT_EQ(s.fileStatus, " ");
    EXPECT_EQ(s.prepStatus, c.prep);
    EXPECT_EQ(s.seqStatus, c.seq);
    EXPECT_EQ(s.compStatus, c.comp);
    EXPECT_EQ(s.seqEnabled, c.seqOn);
    EXPECT_EQ(s.solverEnabled, c.solverOn);
    EXPECT_TRUE(s.prepEnabled && s.editEnabled && s.soEnabled && s.cvtSoEnabled);
  }
}

TEST(StepStatus, RulesWithoutTheSource) {
  StepStatus s;
  s.fileStatus = "kept";
  s.compStatus = "Need to compile";
  s.solverEnabled = true;
  s.prepEnabled = s.seqEnabled = s.editEnabled = true;
  ApplyStatusRules({none, t1, t1, t1, t1, t2}, s);  // a SOSI-only problem
  EXPECT_EQ(s.fileStatus, "kept");
  EXPECT_TRUE(s.soEnabled && s.cvtSoEnabled);
  EXPECT_FALSE(s.prepEnabled || s.seqEnabled || s.editEnabled);
  EXPECT_EQ(s.prepStatus, " ");
  EXPECT_EQ(s.seqStatus, " ");
  EXPECT_EQ(s.compStatus, "Need to compile");  // kept as it was
  EXPECT_TRUE(s.solverEnabled);

  ApplyStatusRules({}, s);
  EXPECT_EQ(s.fileStatus, "Select QTL file name.");
  EXPECT_FALSE(s.soEnabled || s.cvtSoEnabled);
}

TEST(StepStatus, ProbesRealFilesWithTwoSecondStampsUnsigned) {
  TempDir d;
  ScopedCwd cwd(d.path());
  const time_t base = 1700000000;  // an even second
  auto put = [&](const char* name, uint32_t stamp) {
    d.Write(name, "x");
    ASSERT_TRUE(SetPackedFileDate(d.File(name), stamp));
  };
  put("p.qtl", PackLocalTime(base));
  put("P.VNM", PackLocalTime(base + 1));  // within the same two seconds: a tie
  put("P.PSY", PackLocalTime(base));
  put("P.PRB", PackLocalTime(base));
  StepStatus s;
  RefreshStatus("P", s);
  EXPECT_EQ(s.prepStatus, " ");
  EXPECT_EQ(s.seqStatus, " ");
  EXPECT_EQ(s.compStatus, "Need to compile");
  EXPECT_FALSE(s.solverEnabled);

  // A directory of the solver's name is no solver.
  std::filesystem::create_directory(d.File("P"));
  RefreshStatus("P", s);
  EXPECT_EQ(s.compStatus, "Need to compile");
  std::filesystem::remove(d.File("P"));

  // A solver from 2045 has its stamp's top bit set and is still the newer.
  const uint32_t y2045 = (65u << 25) | (1u << 21) | (1u << 16);
  ASSERT_GT(y2045, 0x7fffffffu);
  put("P", y2045);
  RefreshStatus("P", s);
  EXPECT_EQ(s.compStatus, " ");
  EXPECT_TRUE(s.solverEnabled);

  // No problem chosen: nothing is probed, even a stray ".QTL".
  d.Write(".QTL", "x");
  StepStatus fresh;
  RefreshStatus("", fresh);
  EXPECT_EQ(fresh.fileStatus, "Select QTL file name.");
  EXPECT_FALSE(fresh.prepEnabled);
}
