// Problem files the solver must refuse, with a clear message, a non-zero status and nothing written.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>

#include "platform/little_endian.h"
#include "runtime/tests/prb_writer.h"
#include "runtime/tests/solver_harness.h"
#include "runtime/tests/test_models.h"

namespace krv::rt {
namespace {

const char kOldTtr[] = "an earlier run's trajectory";

// Runs on `prb` with an earlier trajectory in place.
Outcome SolveOver(const ProblemDir& dir, const std::string& prb) {
  dir.Write(dir.name() + ".PRB", prb);
  dir.Write(dir.name() + ".TTR", kOldTtr);
  Outcome o;
  o.run = dir.Run();
  o.prb_after = dir.Read(dir.name() + ".PRB");
  o.has_ttr = dir.Has(dir.name() + ".TTR");
  return o;
}

// Where the integration pairs begin.
size_t OrderingStart(const std::string& prb) { return prb.find("#\r\n", ValueBlockOffset(prb, 9) + 25) + 3; }

TEST(PrbRefusal, DamagedForeignOrTooLargeFilesWriteNothing) {
  TestModel m = TanksModel();
  const ProblemDir& dir = Compiled(m);
  const std::string good = WritePrb(m.Spec());
  const size_t names = good.find("\r\n") + 2;
  const size_t ordering = OrderingStart(good);

  PrbSpec foreign = m.Spec();
  foreign.label = ">12-10-2026  9:30:17 TANKS";
  PrbSpec unsequenced = m.Spec();
  unsequenced.has_ordering = false;
  std::string too_large = good;
  platform::PutU16(too_large, names, 11000);
  std::string kind = good;
  kind[names + 2] = 'X';
  // The top bit of the nonzero count: past 3 integration pairs, N, and
  // 9 row and 9 column names.
  std::string nonzeros = good;
  const size_t count = ordering + 2 + 3 * 4 + 2 + 2 * 9 * 2;
  platform::PutU32(nonzeros, count, platform::GetU32(nonzeros, count) | 0x80000000u);

  struct Case {
    const char* what;
    std::string prb;
    const char* message;
  };
  const Case cases[] = {
      {"another label", WritePrb(foreign), "belongs to another translation"},
      {"no star", "#" + good.substr(1), "is damaged"},
      {"header only", good.substr(0, names), "is damaged"},
      {"cut in the names", good.substr(0, names + 20), "is damaged"},
      {"cut in a value block", good.substr(0, ValueBlockOffset(good, 3) + 10), "is damaged"},
      {"no # line", good.substr(0, ValueBlockOffset(good, 9) + 25), "is damaged"},
      {"bad kind letters", kind, "is damaged"},
      {"not sequenced", WritePrb(unsequenced), "no complete equation ordering"},
      {"cut after the # line", good.substr(0, ordering), "no complete equation ordering"},
      {"cut in the rows", good.substr(0, ordering + 2 + 12 + 5), "is damaged"},
      {"cut in the nonzeros", good.substr(0, good.size() - 2), "is damaged"},
      {"nonzero count past the limit", nonzeros, "more than 150000 nonzeros"},
      {"too many variables", too_large, "at most 11000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Outcome o = SolveOver(dir, c.prb);
    EXPECT_EQ(o.run.status, 1) << o.run.output;
    EXPECT_NE(o.run.output.find(c.message), std::string::npos) << o.run.output;
    EXPECT_NE(o.run.output.find("TANKS.PRB"), std::string::npos) << o.run.output;
    EXPECT_EQ(o.prb_after, c.prb);
    EXPECT_EQ(dir.Read("TANKS.TTR"), kOldTtr);
  }
}

TEST(PrbRefusal, MissingProblemFileIsReported) {
  const ProblemDir& dir = Compiled(TanksModel());
  std::remove(dir.dir().File("TANKS.PRB").c_str());
  RunResult r = dir.Run();
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("TANKS.PRB not found"), std::string::npos) << r.output;
}

TEST(PrbRefusal, ProblemFileFoundCaseBlind) {
  TestModel m = TanksModel();
  const ProblemDir& dir = Compiled(m);
  std::remove(dir.dir().File("TANKS.PRB").c_str());
  std::remove(dir.dir().File("TANKS.TTR").c_str());
  const std::string prb = WritePrb(m.Spec());
  dir.Write("tanks.prb", prb);
  RunResult r = dir.Run();
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(dir.Read("tanks.prb"), prb);  // X out written into the file as it is named
  EXPECT_FALSE(dir.Has("TANKS.PRB"));
  std::remove(dir.dir().File("tanks.prb").c_str());
}

// Arbitrary damage never crashes or hangs the solver: it either runs or
// refuses, and a refusal leaves the files alone.
TEST(PrbRefusal, RandomDamageNeverCrashes) {
  TestModel m = TanksModel();
  const ProblemDir& dir = Compiled(m);
  const std::string good = WritePrb(m.Spec());
  std::mt19937 rng(12345);
  for (int round = 0; round < 150; ++round) {
    std::string prb = good;
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits; ++e) {
      size_t at = rng() % prb.size();
      switch (rng() % 3) {
        case 0: prb[at] = static_cast<char>(rng()); break;
        case 1: prb.resize(at + 1); break;
        default: prb.insert(at, 1, static_cast<char>(rng())); break;
      }
    }
    SCOPED_TRACE("round " + std::to_string(round));
    Outcome o = SolveOver(dir, prb);
    EXPECT_TRUE(o.run.status == 0 || o.run.status == 1 || o.run.status == 2) << o.run.output;
    EXPECT_EQ(o.run.output.find("Runtime error"), std::string::npos) << o.run.output;
    EXPECT_EQ(o.run.output.find("Solver stopped"), std::string::npos) << o.run.output;
    if (o.run.status == 1) {
      EXPECT_EQ(o.prb_after, prb);
      EXPECT_EQ(dir.Read("TANKS.TTR"), kOldTtr);
    }
  }
}

}  // namespace
}  // namespace krv::rt
