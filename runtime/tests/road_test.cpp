// The whole road from model source: preprocess, sequence, user unit and program file, compile, solve.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "runtime/tests/prb_writer.h"
#include "runtime/tests/solver_harness.h"
#include "runtime/tests/test_models.h"
#include "platform/file_stamp.h"
#include "sequencer/SEQCU1.h"
#include "testing/failing_calls.h"

namespace krv::rt {
namespace {

struct Road {
  std::string log;      // Foreparse's and Sequist's logs
  std::string vnm;
  std::string prb;      // as Sequist wrote it
  int variables = 0;
  Outcome outcome;
};

// Sequences the map in `dir` (written by Foreparse or by hand), compiles
// and solves; `edit` may set values in the problem file first (Casewright's
// part of the road).
void SequenceAndSolve(const ProblemDir& dir, Road& road,
                      const std::function<void(std::string&)>& edit) {
  const std::string& name = dir.name();
  road.vnm = dir.Read(name + ".VNM");
  pp::LogWriter seqlog;
  ASSERT_TRUE(seq::SequenceMap(road.vnm, road.prb, seqlog)) << seqlog.Text();
  road.variables = 0;
  for (size_t at = road.vnm.find("\r\n") + 2; road.vnm.compare(at, 6, "     #") != 0;
       at = road.vnm.find("\r\n", at) + 2)
    ++road.variables;
  std::string prb = road.prb;
  if (edit) edit(prb);
  dir.WriteProgram();
  std::string compile_log;
  ASSERT_TRUE(dir.Compile(&compile_log)) << compile_log;
  road.outcome = Solve(dir, prb);
}

// Preprocesses `qtl` as problem `name`, then the rest of the road.
void Travel(const std::string& qtl, const std::string& name, Road& road,
            const std::function<void(std::string&)>& edit = nullptr) {
  ProblemDir dir(name);
  dir.Write(name + ".QTL", qtl);
  dir.Preprocess(&road.log);
  ASSERT_NE(road.log.find("  ---FINISHED"), std::string::npos) << road.log;
  SequenceAndSolve(dir, road, edit);
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// The rest of the road for an example whose translation is known without
// Foreparse: its golden map and types file, and a hand translation of its
// equations into the generated shape.
void TravelByHand(const std::string& name, Road& road,
                  const std::function<void(std::string&)>& edit = nullptr) {
  const std::filesystem::path src(KRV_SOURCE_DIR);
  const std::string label = ">12-10-2026 10:30: 0 " + name;
  ProblemDir dir(name);
  dir.Write(name + ".GTY", Replace(ReadFile(src / "examples/golden" / (name + ".GTY")), "@LABEL@", label));
  dir.Write(name + ".VNM", Replace(ReadFile(src / "examples/golden" / (name + ".VNM")), "@LABEL@", label));
  dir.Write(name + ".PSY", ReadFile(src / "runtime/tests/models" / (name + ".PSY")));
  SequenceAndSolve(dir, road, edit);
}

// An example goes the road through Foreparse, or with its hand translation.
enum class Translation { kForeparse, kByHand };

class RoadExample : public ::testing::TestWithParam<Translation> {
 protected:
  void Go(const std::string& name, Road& road,
          const std::function<void(std::string&)>& edit = nullptr) {
    if (GetParam() == Translation::kByHand)
      TravelByHand(name, road, edit);
    else
      Travel(ReadFile(std::filesystem::path(KRV_SOURCE_DIR) / "examples" / (name + ".QTL")), name,
             road, edit);
  }
};

// What holds for every solved problem: the header names the translation and
// the records, and X out is the last record.
void ExpectSolvedRoad(const Road& road) {
  const Outcome& o = road.outcome;
  ASSERT_EQ(o.run.status, 0) << o.run.output;
  ASSERT_TRUE(o.has_ttr);
  EXPECT_EQ(o.ttr.mark, 30995);
  EXPECT_EQ(o.ttr.d, road.variables - 1);
  EXPECT_EQ(o.ttr.label, road.vnm.substr(0, road.vnm.find("\r\n")));
  ASSERT_EQ(o.ttr.records.size(), static_cast<size_t>(o.ttr.jtmax + 1));
  EXPECT_DOUBLE_EQ(o.ttr.last_t, o.ttr.records.back().t);
  for (int k = 0; k < road.variables; ++k)
    EXPECT_NEAR(XOutAt(o.prb_after, k), o.ttr.records.back().values[k],
                1e-6 * (1 + std::abs(XOutAt(o.prb_after, k))))
        << k;
}

// The sample every new problem starts from: X' = -K X with K = 0.5 from
// PARSET, Y = 2 X + U; time 0 to 10 step 0.5.
TEST(Road, ShippedSampleSolves) {
  Road road;
  Travel(ReadFile(std::filesystem::path(KRV_SOURCE_DIR) / "runtime/DSAMPLE.QTL"), "DSAMPLE", road,
         [](std::string& prb) {
           SetValueBlock(prb, 0, {"IO", "X", 1.0});
           SetValueBlock(prb, 3, {"I*", "U", 0.25});
         });
  if (::testing::Test::HasFatalFailure()) return;
  ExpectSolvedRoad(road);
  ASSERT_EQ(road.outcome.ttr.records.size(), 21u);
  double x = 1.0;
  for (const TtrRecord& rec : road.outcome.ttr.records) {
    if (rec.jt > 0) x /= 1 + 0.5 * 0.5;
    EXPECT_NEAR(rec.values[0], x, 1e-6) << rec.jt;
    EXPECT_NEAR(rec.values[2], 2 * x + 0.25, 1e-6) << rec.jt;
  }
}

// Sets X in of variable k, keeping its kind and name.
std::function<void(std::string&)> XIn(std::vector<std::pair<int, double>> values) {
  return [values](std::string& prb) {
    for (auto [k, x] : values) SetValueBlock(prb, k, {"", "", x});
  };
}

// The examples' notes give their solutions; each test checks them.

TEST_P(RoadExample, Tanks) {
  Road road;
  Go("TANKS", road, XIn({{0, 1.0}}));  // the feed F = 1
  if (::testing::Test::HasFatalFailure()) return;
  ExpectSolvedRoad(road);
  const auto& recs = road.outcome.ttr.records;
  ASSERT_EQ(recs.size(), 21u);
  const int nt = 4;
  const double h = 0.5, kout = 0.5;
  double level[nt + 1] = {}, q[nt + 1] = {1.0};
  for (const TtrRecord& rec : recs) {
    SCOPED_TRACE("record " + std::to_string(rec.jt));
    EXPECT_NEAR(rec.t, 0.5 * rec.jt, 1e-12);
    for (int j = 1; j <= nt; ++j) {
      if (rec.jt > 0) level[j] = (level[j] + h * q[j - 1]) / (1 + h * kout);
      q[j] = kout * level[j];
      EXPECT_NEAR(rec.values[j], q[j], 1e-6);
      EXPECT_NEAR(rec.values[nt + 2 * j - 1], level[j], 1e-6);
      EXPECT_NEAR(rec.values[nt + 2 * j], q[j - 1] - q[j], 1e-6);
    }
  }
  const double last[] = {1.976941570, 1.884707850, 1.691017037, 1.406937178};
  for (int j = 1; j <= nt; ++j)
    EXPECT_NEAR(XOutAt(road.outcome.prb_after, nt + 2 * j - 1), last[j - 1], 1e-8);
}

TEST_P(RoadExample, FixLoop) {
  struct Case {
    double z, w, u, v;
  };
  for (const Case& c : {Case{0, 0, 2, 2}, Case{5, 15, 4, 5}, Case{12, 0, 6, 2}}) {
    SCOPED_TRACE("Z* " + std::to_string(c.z) + ", W* " + std::to_string(c.w));
    Road road;
    Go("FIXLOOP", road, XIn({{4, c.z}, {6, c.w}}));
    if (::testing::Test::HasFatalFailure()) return;
    ExpectSolvedRoad(road);
    ASSERT_EQ(road.outcome.ttr.records.size(), 3u);
    const double want[] = {2, 4, 3, c.u, c.z, c.v, c.w};  // A B C U Z V W
    for (int k = 0; k < 7; ++k) {
      EXPECT_NEAR(XOutAt(road.outcome.prb_after, k), want[k], 1e-7) << k;
      for (const TtrRecord& rec : road.outcome.ttr.records)
        EXPECT_NEAR(rec.values[k], want[k], 1e-5) << k << " at " << rec.jt;
    }
  }
}

TEST_P(RoadExample, LagBanks) {
  Road road;
  Go("LAGBANKS", road);
  if (::testing::Test::HasFatalFailure()) return;
  ExpectSolvedRoad(road);
  const auto& recs = road.outcome.ttr.records;
  ASSERT_EQ(recs.size(), 11u);
  struct Bank {
    int x, size, tot, dtot, dx;
  };
  for (const Bank& b : {Bank{0, 3, 8, 9, 10}, Bank{3, 5, 13, 14, 15}}) {
    const double total = b.size * (b.size + 1) / 2.0;
    for (const TtrRecord& rec : recs) {
      SCOPED_TRACE("bank of " + std::to_string(b.size) + ", record " + std::to_string(rec.jt));
      const double decay = std::pow(0.8, rec.jt);
      for (int k = 1; k <= b.size; ++k) {
        EXPECT_NEAR(rec.values[b.x + k - 1], k * (1 - decay), 1e-6);
        EXPECT_NEAR(rec.values[b.dx + k - 1], 0.5 * k * decay, 1e-6);
      }
      EXPECT_NEAR(rec.values[b.tot], total * (1 - decay), 1e-5);
      EXPECT_NEAR(rec.values[b.dtot], rec.jt == 0 ? 0.0 : 0.4 * total * decay / 0.8, 1e-5);
    }
  }
}

TEST_P(RoadExample, Plants) {
  Road road;
  Go("PLANTS", road, XIn({{1, 1.0}, {8, 2.0}}));  // F1 = 1, F2 = 2
  if (::testing::Test::HasFatalFailure()) return;
  ExpectSolvedRoad(road);
  const auto& recs = road.outcome.ttr.records;
  ASSERT_EQ(recs.size(), 9u);
  for (const TtrRecord& rec : recs) {
    SCOPED_TRACE("record " + std::to_string(rec.jt));
    const int n = rec.jt;
    const double l1 = 2 * (1 - std::pow(0.8, n));
    const double l2 = 2 * (1 - std::pow(0.8, n + 1) - 0.2 * (n + 1) * std::pow(0.8, n));
    EXPECT_NEAR(rec.values[4], l1, 1e-6);
    EXPECT_NEAR(rec.values[6], l2, 1e-6);
    EXPECT_NEAR(rec.values[11], 2 * l1, 1e-6);
    EXPECT_NEAR(rec.values[13], 2 * l2, 1e-6);
    EXPECT_NEAR(rec.values[0], 0.5 * (l2 + 2 * l2), 1e-6);
  }
  EXPECT_NEAR(XOutAt(road.outcome.prb_after, 0), 1.691377152, 1e-8);
}

INSTANTIATE_TEST_SUITE_P(Translations, RoadExample,
                         ::testing::Values(Translation::kForeparse, Translation::kByHand),
                         [](const auto& info) {
                           return info.param == Translation::kForeparse ? "Foreparse" : "ByHand";
                         });

// Any further example at least goes the whole road. A fitting example's
// solver needs its data, which a modeller types into the store: without
// them it refuses, naming the store (examples/tests/lsq_examples_test.cpp
// takes such an example through its data).
TEST(Road, EveryExampleSolves) {
  const std::filesystem::path examples = std::filesystem::path(KRV_SOURCE_DIR) / "examples";
  int seen = 0;
  if (std::filesystem::is_directory(examples)) {
    for (const auto& entry : std::filesystem::directory_iterator(examples)) {
      std::string ext = entry.path().extension().string();
      const std::string stem = entry.path().stem().string();
      if (ext != ".QTL" && ext != ".qtl") continue;
      if (stem == "TANKS" || stem == "FIXLOOP" || stem == "LAGBANKS" || stem == "PLANTS") continue;
      ++seen;
      SCOPED_TRACE(entry.path().string());
      Road road;
      const std::string source = ReadFile(entry.path());
      Travel(source, stem, road);
      if (::testing::Test::HasFatalFailure()) continue;
      const size_t fit = source.find("LSQSETUP('");
      if (fit == std::string::npos) {
        ExpectSolvedRoad(road);
        continue;
      }
      const std::string store = source.substr(fit + 10, source.find('\'', fit + 10) - fit - 10);
      EXPECT_EQ(road.outcome.run.status, 1) << road.outcome.run.output;
      EXPECT_NE(road.outcome.run.output.find("Data-series store " + store + ".DSF not found"), std::string::npos)
          << road.outcome.run.output;
    }
  }
  if (seen == 0) GTEST_SKIP() << "no examples beyond the four checked above";
}

// A Foreparse run killed between the renames of its outputs leaves the
// types file, the .PSY and the map of two translations side by side, even
// two made within the same two seconds. Such a set is never run: Sequist
// refuses the map, saying why, and the solver compiled from it refuses the
// problem file of the earlier translation. A whole set, old or new, runs.
TEST(Road, OutputsOfTwoTranslationsAreNeverRunTogether) {
  const std::string tanks = ReadFile(std::filesystem::path(KRV_SOURCE_DIR) / "examples/TANKS.QTL");
  auto chain = [&](int nt) { return Replace(tanks, "{%D NT=4}", "{%D NT=" + std::to_string(nt) + "}"); };
  struct Outputs {
    std::string gty, psy, vnm;
    bool operator==(const Outputs&) const = default;
  };
  ProblemDir dir("TANKS");
  auto outputs = [&] { return Outputs{dir.Read("TANKS.GTY"), dir.Read("TANKS.PSY"), dir.Read("TANKS.VNM")}; };
  std::string log;
  dir.Write("TANKS.QTL", chain(3));  // 10 variables
  dir.Preprocess(&log);
  ASSERT_NE(log.find("  ---FINISHED"), std::string::npos) << log;
  pp::LogWriter seqlog;
  ASSERT_TRUE(seq::RunSequencer(dir.dir().File("TANKS.VNM"), dir.dir().File("TANKS.PRB"), seqlog));
  const Outputs first = outputs();
  const std::string firstPrb = dir.Read("TANKS.PRB");
  const auto firstDate = platform::PackedFileDate(dir.dir().File("TMPQTL.TMP"));
  ASSERT_TRUE(firstDate);

  // The second translation (13 variables) dated like the first, and the
  // files as a kill just before each of its renames would leave them.
  dir.Write("TANKS.QTL", chain(4));
  std::vector<Outputs> left;
  {
    testing::FailingCalls watch;
    bool dated = false;
    watch.before = [&](const char* call) {
      if (!dated && dir.Has("TMPQTL.TMP"))
        dated = platform::SetPackedFileDate(dir.dir().File("TMPQTL.TMP"), *firstDate);
      if (std::string(call) == "Rename") left.push_back(outputs());
    };
    dir.Preprocess(&log);
  }
  ASSERT_NE(log.find("  ---FINISHED"), std::string::npos) << log;
  const Outputs second = outputs();
  left.push_back(second);
  const std::string firstLabel = first.vnm.substr(0, first.vnm.find("\r\n"));
  const std::string secondLabel = second.vnm.substr(0, second.vnm.find("\r\n"));
  EXPECT_NE(secondLabel, firstLabel);
  EXPECT_EQ(secondLabel.substr(21), firstLabel.substr(21));  // the model name stays

  int mixed = 0;
  for (size_t k = 0; k < left.size(); ++k) {
    const Outputs& o = left[k];
    const bool whole = o == first || o == second;
    SCOPED_TRACE("killed before rename " + std::to_string(k) + (whole ? "" : ", a mixed set"));
    mixed += !whole;
    ProblemDir d("TANKS");
    d.Write("TANKS.GTY", o.gty);
    d.Write("TANKS.PSY", o.psy);
    d.Write("TANKS.VNM", o.vnm);
    d.Write("TANKS.PRB", firstPrb);
    pp::LogWriter seqlog2;
    EXPECT_EQ(seq::RunSequencer(d.dir().File("TANKS.VNM"), d.dir().File("TANKS.PRB"), seqlog2), whole);
    if (!whole) {
      EXPECT_NE(seqlog2.Text().find("are from different translations"), std::string::npos) << seqlog2.Text();
      EXPECT_NE(seqlog2.Text().find("Preprocess the model again"), std::string::npos) << seqlog2.Text();
      EXPECT_EQ(d.Read("TANKS.PRB"), firstPrb);
    }
    d.WriteProgram();
    std::string compileLog;
    if (!d.Compile(&compileLog)) {
      EXPECT_FALSE(whole) << compileLog;  // a mixed set may not even compile
      continue;
    }
    RunResult run = d.Run();
    if (whole) {
      EXPECT_EQ(run.status, 0) << run.output;
      Trajectory ttr;
      ASSERT_TRUE(ReadTrajectory(d.dir().File("TANKS.TTR"), ttr));
      EXPECT_EQ(ttr.d + 1, o == first ? 10 : 13);
    } else {
      EXPECT_EQ(run.status, 1) << run.output;
      EXPECT_NE(run.output.find("belongs to another translation"), std::string::npos) << run.output;
      EXPECT_FALSE(d.Has("TANKS.TTR"));
    }
  }
  // Killed after the types file, and after the .PSY.
  EXPECT_EQ(mixed, 2);
}

}  // namespace
}  // namespace krv::rt
