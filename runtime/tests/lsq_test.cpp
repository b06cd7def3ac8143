// Least-squares fits by compiled solvers: problems written into a data-series
// store by the series library, estimates checked against the truth and an
// independent fit in this test, and read back by the library.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <tuple>

#include "platform/user_prompts.h"
#include "runtime/tests/lsq_models.h"
#include "series/series_store.h"

namespace krv::rt {
namespace {

using series::ColumnSlot;
using series::DSDirEntry;
using series::SeriesStore;

int32_t I32At(const std::string& b, size_t at) {
  int32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

// The estimate in .P.b.Value as the library reads it, with its header.
struct ReadBack {
  bool ok = false;
  float value = 0;
  int16_t base = -1, highest = -1;
  int32_t x_head = -1;
};

ReadBack ReadValue(const LsqDir& d, const std::string& path) {
  platform::ScriptedPrompts prompts;
  SeriesStore store;
  ReadBack r;
  store.AttachDSFReadOnly(d.dir.dir().File("FIT"));
  if (store.FailureFlag) return r;
  ColumnSlot& slot = store.ColumnSlots[0];
  store.OpenSeries(slot, path);
  if (store.FailureFlag) return r;
  r.ok = true;
  r.value = store.GetVal(slot, 0);
  r.base = slot.Header().base;
  r.highest = slot.Header().highest;
  r.x_head = slot.Header().xHead;
  int16_t lo, hi;
  store.SeriesIndexRange(slot, lo, hi);
  r.ok = lo == 0 && hi == 0;
  return r;
}

// Head records of the series at `paths`.
std::vector<int32_t> Heads(const LsqDir& d, const std::vector<std::string>& paths) {
  platform::ScriptedPrompts prompts;
  SeriesStore store;
  store.AttachDSFReadOnly(d.dir.dir().File("FIT"));
  std::vector<int32_t> out;
  for (const std::string& p : paths) {
    bool failure;
    DSDirEntry e;
    store.FindDSFEntry(p, failure, e);
    out.push_back(failure ? -1 : e.record);
  }
  return out;
}

// Every byte of the store is as before but the change count and the head
// and first data record of each series at `paths`; no record was added.
void ExpectOnlyValuesWritten(const LsqDir& d, const std::string& before,
                             const std::vector<std::string>& paths) {
  std::string after = d.Store();
  ASSERT_EQ(before.size(), after.size());
  EXPECT_EQ(I32At(after, 40), I32At(before, 40) + 1);
  std::string a = before, b = after;
  std::memset(a.data() + 40, 0, 4);
  std::memset(b.data() + 40, 0, 4);
  for (int32_t head : Heads(d, paths)) {
    ASSERT_GT(head, 1);
    int32_t data = I32At(before, size_t(head) * 128);
    EXPECT_EQ(I32At(after, size_t(head) * 128), data);
    for (int32_t rec : {head, data}) {
      std::memset(a.data() + size_t(rec) * 128, 0, 128);
      std::memset(b.data() + size_t(rec) * 128, 0, 128);
    }
  }
  EXPECT_EQ(a, b);
}

std::vector<std::string> ValuePaths() { return {".PR1.K1.Value", ".PR1.K2.Value"}; }

// ---- Static fits: Y = K1 exp(-K2 U), one run per observation ----

TEST(StaticFit, MarquardtMatchesTheTruthAndAnIndependentFit) {
  LsqDir d(StaticModel());
  StaticData data = NoisyStaticData(11, 31);
  data.weight[4] = 2.0;
  data.weight[9] = 0.0;   // dropped
  data.weight[12] = 0.5;
  LsqProblemSeries problem = StaticProblem(data, {1.0, 1.0});
  // An index without a weight weighs 1.
  for (int i : {20, 21, 30}) EraseValue(problem, ".PR1.Y.Weight", i);
  d.WriteStore(problem);
  const std::string before = d.Store();

  LsqRun run = d.Run();
  ASSERT_EQ(run.status, 0) << run.output;

  Fit2 ref = IndependentStaticFit(data, {1.0, 1.0});
  for (int k = 0; k < 2; ++k) {
    SCOPED_TRACE(k);
    ReadBack v = ReadValue(d, ValuePaths()[size_t(k)]);
    ASSERT_TRUE(v.ok);
    EXPECT_NEAR(v.value, ref.b[k], 2e-6 * std::fabs(ref.b[k]));
    EXPECT_NEAR(v.value, kStaticTruth[k], 0.03 * kStaticTruth[k]);
    EXPECT_EQ(v.base, 0);
    EXPECT_EQ(v.highest, 0);
    EXPECT_EQ(v.x_head, 0);
  }
  ExpectOnlyValuesWritten(d, before, ValuePaths());

  // The report: estimates in marker order, the sum, the stop, runs and time.
  std::string rep = d.Report();
  EXPECT_NE(rep.find("\r\nK1 = "), std::string::npos) << rep;
  EXPECT_LT(rep.find("\r\nK1 = "), rep.find("\r\nK2 = "));
  EXPECT_NEAR(ReportNumber(rep, "Weighted sum of squares = "), ref.s, 1e-6 * ref.s);
  EXPECT_NEAR(ReportNumber(rep, "K1 = "), ref.b[0], 2e-6 * ref.b[0]);
  EXPECT_NE(rep.find("Stopped: "), std::string::npos);
  EXPECT_NE(rep.find("Observations: 30, from 30 runs"), std::string::npos) << rep;
  EXPECT_NE(rep.find("Model runs: "), std::string::npos);
  EXPECT_NE(rep.find("Standard errors:"), std::string::npos);
  EXPECT_EQ(rep.find('\n', 0), rep.find("\r\n") + 1);

  // The last run, at the estimates for the last observation, leaves the
  // trajectory and X out.
  ASSERT_TRUE(d.dir.Has("LSQS.TTR"));
  const double last_u = data.u.back();
  EXPECT_NEAR(XOutAt(d.dir.Read("LSQS.PRB"), 0), last_u, 1e-6);
  EXPECT_NEAR(XOutAt(d.dir.Read("LSQS.PRB"), 1), ref.b[0] * std::exp(-ref.b[1] * last_u), 1e-5);
}

// A kind-1 iteration costs at most p + 1 evaluations over the observations.
TEST(StaticFit, EachIterationCostsAtMostPPlusOneEvaluations) {
  LsqDir d(StaticModel());
  StaticData data = NoisyStaticData(5, 20);
  LsqProblemSeries p = StaticProblem(data, {1.0, 1.0});
  SetControl(p, 5, 1);  // a line per iteration
  d.WriteStore(p);
  LsqRun run = d.Run();
  ASSERT_EQ(run.status, 0) << run.output;
  std::string rep = d.Report();
  int iterations = 0;
  for (size_t at = 0; (at = rep.find("\r\nIteration ", at)) != std::string::npos; ++at) ++iterations;
  ASSERT_GT(iterations, 0);
  // Evaluations: the start, p + 1 per iteration, and p + 1 + 1 after it for
  // the standard errors and the residuals.
  const double evals = ReportNumber(rep, "evaluations over the observations: ");
  EXPECT_LE(evals, 1 + 3.0 * iterations + 3 + 1) << rep;
  EXPECT_NE(rep.find("Stopped: "), std::string::npos);
}

TEST(StaticFit, BoundsHoldTheEstimateAndTheOtherFollows) {
  LsqDir d(StaticModel());
  StaticData data = NoisyStaticData(3, 25);
  LsqProblemSeries p = StaticProblem(data, {1.0, 1.0});
  SetSeries(p, ".PR1.K1.RangeUp", {{0, 2.3}});   // the truth is 2.5
  SetSeries(p, ".PR1.K1.RangeLo", {{0, 0.5}});
  d.WriteStore(p);
  LsqRun run = d.Run();
  ASSERT_EQ(run.status, 0) << run.output;
  ReadBack k1 = ReadValue(d, ".PR1.K1.Value"), k2 = ReadValue(d, ".PR1.K2.Value");
  EXPECT_FLOAT_EQ(k1.value, 2.3f);
  Fit2 ref = IndependentStaticFit(data, {2.3, 1.0}, /*fix_k1=*/true);
  EXPECT_NEAR(k2.value, ref.b[1], 2e-6);
}

TEST(StaticFit, KindZeroIsOneTrialAndLeavesTheStore) {
  LsqDir d(StaticModel());
  StaticData data = NoisyStaticData(2, 12);
  for (bool one : {false, true}) {
    SCOPED_TRACE(one);
    LsqProblemSeries p = StaticProblem(data, {2.0, 0.5});
    SetControl(p, 0, 0);
    if (one) {
      SetControl(p, 1, 1);
      SetControl(p, 2, 5);
    }
    d.WriteStore(p);
    const std::string before = d.Store();
    LsqRun run = d.Run();
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(d.Store(), before);
    double s = 0;
    for (size_t i = 0; i < data.u.size(); ++i)
      if (!one || i == 5) s += std::pow(2.0 * std::exp(-0.5 * data.u[i]) - data.y[i], 2);
    EXPECT_NEAR(ReportNumber(d.Report(), "Weighted sum of squares = "), s, 1e-6 * s);
    EXPECT_NEAR(ReportNumber(d.Report(), "K1 = "), 2.0, 1e-12);
  }
  // The store's name is found case-blind.
  std::filesystem::rename(d.dir.dir().File("FIT.DSF"), d.dir.dir().File("Fit.dsf"));
  LsqRun run = d.Run();
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(d.Report().find("in Fit.dsf"), std::string::npos) << d.Report();
  std::filesystem::remove(d.dir.dir().File("Fit.dsf"));
}

TEST(StaticFit, GridFindsTheBestPointEvenAndGeometric) {
  LsqDir d(StaticModel());
  StaticData data = NoisyStaticData(9, 15);
  for (bool geometric : {false, true}) {
    SCOPED_TRACE(geometric);
    LsqProblemSeries p = StaticProblem(data, {1.0, 1.0});
    SetControl(p, 0, 2);
    SetControl(p, 3, geometric ? 1 : 0);
    SetControl(p, 6, 11);
    SetControl(p, 7, 7);
    SetSeries(p, ".PR1.K1.RangeLo", {{0, 2.0}});
    SetSeries(p, ".PR1.K1.RangeUp", {{0, 3.0}});
    SetSeries(p, ".PR1.K2.RangeLo", {{0, 0.4}});
    SetSeries(p, ".PR1.K2.RangeUp", {{0, 1.0}});
    d.WriteStore(p);
    LsqRun run = d.Run();
    ASSERT_EQ(run.status, 0) << run.output;
    double best = INFINITY, b1 = 0, b2 = 0;
    for (int i = 0; i < 11; ++i)
      for (int j = 0; j < 7; ++j) {
        double k1 = geometric ? 2.0 * std::pow(1.5, i / 10.0) : 2.0 + i * 0.1;
        double k2 = geometric ? 0.4 * std::pow(1.0 / 0.4, j / 6.0) : 0.4 + 0.1 * j;
        double s = StaticSum(data, k1, double(float(k2)));
        if (s < best) best = s, b1 = k1, b2 = k2;
      }
    EXPECT_NEAR(ReadValue(d, ".PR1.K1.Value").value, b1, 1e-6);
    EXPECT_NEAR(ReadValue(d, ".PR1.K2.Value").value, b2, 1e-6);
    EXPECT_NE(d.Report().find("the best of 77 grid points"), std::string::npos) << d.Report();
  }
}

// ---- A fit over time: LEVEL' = K1 U - K2 LEVEL, observed off the steps ----

TEST(TimedFit, OffStepObservationsMatchAnIndependentFit) {
  LsqDir d(TimedModel());
  TimedData data = NoisyTimedData(21, 16);
  d.WriteStore(TimedProblem(data, {1.0, 1.0}));
  const std::string before = d.Store();
  LsqRun run = d.Run();
  ASSERT_EQ(run.status, 0) << run.output;
  Fit2 ref = IndependentTimedFit(data, {1.0, 1.0});
  for (int k = 0; k < 2; ++k) {
    SCOPED_TRACE(k);
    ReadBack v = ReadValue(d, ValuePaths()[size_t(k)]);
    ASSERT_TRUE(v.ok);
    EXPECT_NEAR(v.value, ref.b[k], 2e-6 * std::fabs(ref.b[k]));
    EXPECT_NEAR(v.value, kTimedTruth[k], 0.05 * kTimedTruth[k]);
  }
  ExpectOnlyValuesWritten(d, before, ValuePaths());
  std::string rep = d.Report();
  EXPECT_NEAR(ReportNumber(rep, "Weighted sum of squares = "), ref.s, 1e-5 * ref.s);
  EXPECT_NE(rep.find("Run names: R1 R2"), std::string::npos) << rep;
  // One run over time, the trajectory of the last one at the estimates.
  Trajectory t;
  ASSERT_TRUE(ReadTrajectory(d.dir.dir().File("LSQD.TTR"), t));
  EXPECT_EQ(t.jtmax, 20);
  std::vector<double> level = SimulateLevel(data, ref.b[0], ref.b[1]);
  EXPECT_NEAR(t.records.back().values[3], level.back(), 1e-4);
}

// ---- STARTING.TTR: the last record's values start the fixing pair ----

TEST(StartingTtr, ChoosesTheRootOfAFixingPair) {
  LsqDir d(StaticModel());
  StaticData data = NoisyStaticData(4, 8);
  // W starts at its X in 1 and goes to the root W = 2 of W * W = 4.
  LsqProblemSeries p = StaticProblem(data, {1.0, 1.0});
  d.WriteStore(p);
  ASSERT_EQ(d.Run().status, 0);
  EXPECT_NEAR(XOutAt(d.dir.Read("LSQS.PRB"), 2), 2.0, 1e-6);
  const float est = ReadValue(d, ".PR1.K1.Value").value;

  // From STARTING.TTR's W = -3 it goes to the other root; the input U and
  // the fixed Z keep their own values.
  for (int mark : {30995, 31000, 32000}) {
    SCOPED_TRACE(mark);
    SetControl(p, 4, 1);
    d.WriteStore(p);
    d.dir.Write("STARTING.TTR", TtrFile(mark, {{0, 0, 0, 0}, {99, 99, -3, 99}}));
    LsqRun run = d.Run();
    ASSERT_EQ(run.status, 0) << run.output;
    std::string prb = d.dir.Read("LSQS.PRB");
    EXPECT_NEAR(XOutAt(prb, 2), -2.0, 1e-6);
    EXPECT_NEAR(XOutAt(prb, 3), 4.0, 1e-6);
    EXPECT_NEAR(XOutAt(prb, 0), data.u.back(), 1e-6);
    EXPECT_FLOAT_EQ(ReadValue(d, ".PR1.K1.Value").value, est);
  }
}

// ---- Refusals: status 1, a line naming what is at fault, the store unchanged ----

using Edit = std::function<void(LsqProblemSeries&)>;
using Damage = std::function<void(const LsqDir&)>;

struct Refusal {
  const char* name;
  bool timed;
  Edit change;    // to the problem's series before they are written
  Damage after;   // to the store or the directory after
  const char* says;
};

void Keep(LsqProblemSeries&) {}
void Leave(const LsqDir&) {}

class Refused : public ::testing::TestWithParam<Refusal> {};

TEST_P(Refused, WithStatusOneAndTheStoreUnchanged) {
  const Refusal& c = GetParam();
  LsqDir d(c.timed ? TimedModel() : StaticModel());
  LsqProblemSeries p = c.timed ? TimedProblem(NoisyTimedData(1, 8), {1, 1})
                               : StaticProblem(NoisyStaticData(1, 8), {1, 1});
  c.change(p);
  d.WriteStore(p);
  c.after(d);
  const bool had = d.dir.Has("FIT.DSF");
  const std::string before = had ? d.Store() : "";
  const std::string prb = d.dir.Read(d.name() + ".PRB");
  LsqRun run = d.Run();
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
  if (had) {
    EXPECT_EQ(d.Store(), before);
  }
  EXPECT_EQ(d.dir.Read(d.name() + ".PRB"), prb);
  EXPECT_FALSE(d.dir.Has(d.name() + ".LSQ"));
  EXPECT_FALSE(d.dir.Has(d.name() + ".TTR"));
}

void Bounds(LsqProblemSeries& p) {
  for (const char* b : {"K1", "K2"}) {
    SetSeries(p, std::string(".PR1.") + b + ".RangeLo", {{0, 0.1}});
    SetSeries(p, std::string(".PR1.") + b + ".RangeUp", {{0, 3}});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Refused,
    ::testing::Values(
        Refusal{"NoStore", false, Keep, [](const LsqDir& d) { d.RemoveStore(); },
                "Data-series store FIT.DSF not found"},
        Refusal{"NoProblem", false, [](auto& p) { RenameProblem(p, "PR2"); }, Leave,
                "LSQ problem PR1 not found in FIT.DSF"},
        Refusal{"NoControls", false, [](auto& p) { RemoveSeries(p, ".PR1.Controls"); }, Leave,
                ".PR1.Controls in FIT.DSF not found"},
        Refusal{"NoStart", false, [](auto& p) { SetSeries(p, ".PR1.K2.Start", {}); }, Leave,
                ".PR1.K2.Start in FIT.DSF holds no value"},
        Refusal{"OtherRunKind", false, [](auto& p) { SetControl(p, 0, 3); }, Leave,
                "Run kind 3 at index 0 of .PR1.Controls"},
        Refusal{"NoObservation", false, [](auto& p) { SetSeries(p, ".PR1.Y.Value", {}); }, Leave,
                "No observation"},
        Refusal{"AllWeightsZero", false,
                [](auto& p) {
                  for (int i = 0; i < 8; ++i) SetValue(p, ".PR1.Y.Weight", i, 0);
                },
                Leave, "No observation"},
        Refusal{"NegativeWeight", false, [](auto& p) { SetValue(p, ".PR1.Y.Weight", 3, -1.0); },
                Leave, "Negative weight -1 at index 3 of .PR1.Y.Weight"},
        Refusal{"MissingInput", false, [](auto& p) { EraseValue(p, ".PR1.U.Value", 5); }, Leave,
                "No value at index 5 of .PR1.U.Value"},
        Refusal{"MissingTime", true, [](auto& p) { EraseValue(p, ".PR1.Time.Value", 2); }, Leave,
                "No time value at index 2 of .PR1.Time.Value"},
        Refusal{"TimeOutsideTheRun", true, [](auto& p) { SetValue(p, ".PR1.Time.Value", 7, 6.5); },
                Leave, "lies outside the run"},
        Refusal{"GridWithoutBounds", false,
                [](auto& p) {
                  SetControl(p, 0, 2);
                  SetControl(p, 7, 3);
                },
                Leave, "Grid search needs both bounds of K2"},
        Refusal{"GridTooLarge", false,
                [](auto& p) {
                  SetControl(p, 0, 2);
                  SetControl(p, 6, 400);
                  SetControl(p, 7, 400);
                  Bounds(p);
                },
                Leave, "has 160000 points"},
        Refusal{"StartingTtrMissing", false, [](auto& p) { SetControl(p, 4, 1); }, Leave,
                "STARTING.TTR not found"},
        Refusal{"StartingTtrOtherSize", false, [](auto& p) { SetControl(p, 4, 1); },
                [](const LsqDir& d) { d.dir.Write("STARTING.TTR", TtrFile(30995, {{1, 2, 3}})); },
                "holds 3 variables; this problem has 4"},
        Refusal{"StartingTtrEmpty", false, [](auto& p) { SetControl(p, 4, 1); },
                [](const LsqDir& d) { d.dir.Write("STARTING.TTR", TtrFile(30995, {{1, 2, 3, 4}}).substr(0, 64)); },
                "STARTING.TTR: it is shorter than its header says"},
        Refusal{"DamagedMagic", false, Keep, [](const LsqDir& d) { d.Poke(0, {0x11}); },
                "not a data-series store"},
        Refusal{"DamagedDSDirLoop", false, Keep, [](const LsqDir& d) { d.LoopDSDir(".PR1"); },
                "damaged"},
        Refusal{"DamagedNameLength", false, Keep, [](const LsqDir& d) { d.Poke(128 + 8, {200}); },
                "damaged"},
        Refusal{"DamagedChainLink", false, Keep, [](const LsqDir& d) { d.BreakSeries(".PR1.Y.Value"); },
                "damaged"},
        Refusal{"Truncated", false, Keep, [](const LsqDir& d) { d.Truncate(1); },
                "not a data-series store"}),
    [](const ::testing::TestParamInfo<Refusal>& i) { return std::string(i.param.name); });

// A marker name that would name the wrong series is refused before the store
// is read.
TEST(LsqFailure, BadMarkerNamesAreRefused) {
  for (const auto& [from, to, says] :
       std::vector<std::tuple<std::string, std::string, std::string>>{
           {"_LSQBETA('K2',K2)", "_LSQBETA('k1',K2)", "Bad LSQ name: k1"},
           {"LSQDEP('Y',_X.Y)", "LSQDEP('Controls',_X.Y)", "Bad LSQ name: Controls"},
           {"_LSQINDEP('U',_X.U)", "_LSQINDEP('U.V',_X.U)", "Bad LSQ name: U.V"}}) {
    SCOPED_TRACE(to);
    TestModel m = StaticModel();
    m.name = "LSQBAD" + std::to_string(to.size());
    m.label = ">12-10-2026 11: 3: 0 " + m.name;
    m.psy.replace(m.psy.find(from), from.size(), to);
    LsqDir d(m);
    d.WriteStore(StaticProblem(NoisyStaticData(1, 8), {1.0, 1.0}));
    const std::string before = d.Store();
    LsqRun run = d.Run();
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find(says), std::string::npos) << run.output;
    EXPECT_EQ(d.Store(), before);
  }
}

TEST(LsqFailure, ModelFailingAtStartEndsWithStatusTwo) {
  LsqDir d(StaticModel());
  LsqProblemSeries p = StaticProblem(NoisyStaticData(1, 8), {1.0, -1000.0});
  d.WriteStore(p);
  const std::string before = d.Store();
  LsqRun run = d.Run();
  EXPECT_EQ(run.status, 2) << run.output;
  EXPECT_NE(run.output.find("The model fails at the starting parameters"), std::string::npos);
  EXPECT_EQ(d.Store(), before);
}

// The model's REPORT removes the store while the search runs (its trigger
// file VANISH there): the estimates cannot be written.
TEST(LsqFailure, StoreThatCannotBeWrittenEndsWithStatusThree) {
  LsqDir d(StaticModel());
  d.WriteStore(StaticProblem(NoisyStaticData(1, 8), {1.0, 1.0}));
  d.dir.Write("VANISH", "");
  LsqRun run = d.Run();
  EXPECT_EQ(run.status, 3) << run.output;
  EXPECT_NE(run.output.find("Estimates not written into"), std::string::npos) << run.output;
}

}  // namespace
}  // namespace krv::rt
