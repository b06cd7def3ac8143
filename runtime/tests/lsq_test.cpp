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

#include "platform/little_endian.h"
#include "platform/user_prompts.h"
#include "runtime/tests/lsq_models.h"
#include "runtime/tests/lsq_reference.h"
#include "series/series_store.h"

namespace krv::rt {
namespace {

using series::ColumnSlot;
using series::DSDirEntry;
using series::SeriesStore;

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
  EXPECT_EQ(platform::GetI32(after, 40), platform::GetI32(before, 40) + 1);
  std::string a = before, b = after;
  std::memset(a.data() + 40, 0, 4);
  std::memset(b.data() + 40, 0, 4);
  for (int32_t head : Heads(d, paths)) {
    ASSERT_GT(head, 1);
    int32_t data = platform::GetI32(before, size_t(head) * 128);
    EXPECT_EQ(platform::GetI32(after, size_t(head) * 128), data);
    for (int32_t rec : {head, data}) {
      std::memset(a.data() + size_t(rec) * 128, 0, 128);
      std::memset(b.data() + size_t(rec) * 128, 0, 128);
    }
  }
  EXPECT_EQ(a, b);
}

// The standard-error line of parameter `name`, without its indent.
std::string ErrorLine(const std::string& rep, const std::string& name) {
  const size_t at = rep.find("\r\n  " + name + ": ", rep.find("\r\nStandard errors:"));
  return at == std::string::npos ? "" : rep.substr(at + 4, rep.find('\r', at + 2) - at - 4);
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
  // How it ended comes second, naming the test that stopped it.
  EXPECT_EQ(rep.find("\r\nConverged after "), rep.find("\r\n")) << rep;
  EXPECT_NE(rep.find("iterations: the test of relative "), std::string::npos) << rep;
  EXPECT_NE(rep.find("\r\nEstimates:\r\n"), std::string::npos) << rep;
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

// An iteration is an accepted step: rejected trials cost one evaluation
// each but count no iteration. The search's evaluations are p per
// sensitivities (at the start and after each accepted step) and one per
// trial; the standard errors add 2p, the start one.
TEST(StaticFit, AnIterationIsAnAcceptedStepAndEachCostsPPlusOne) {
  LsqDir d(StaticModel());
  StaticData data = NoisyStaticData(5, 20);
  LsqProblemSeries p = StaticProblem(data, {1.0, 1.0});
  SetControl(p, 5, 1);  // a line per trial
  d.WriteStore(p);
  LsqRun run = d.Run();
  ASSERT_EQ(run.status, 0) << run.output;
  std::string rep = d.Report();
  int accepted = 0, rejected = 0;
  for (size_t at = 0; (at = rep.find("\r\nIteration ", at)) != std::string::npos; ++at) {
    const std::string line = rep.substr(at + 2, rep.find('\r', at + 2) - at - 2);
    (line.find(": sum ") != std::string::npos ? accepted : rejected)++;
  }
  ASSERT_GT(rejected, 0) << rep;
  const int iterations = int(ReportNumber(rep, "\r\nConverged after "));
  EXPECT_EQ(iterations, accepted) << rep;
  EXPECT_EQ(ReportNumber(rep, "Search: "), accepted);
  const double search = ReportNumber(rep, " iterations, ");
  EXPECT_EQ(search, 2 * (accepted + 1) + accepted + rejected) << rep;
  EXPECT_EQ(ReportNumber(rep, "evaluations over the observations: "), 1 + search + 2 * 2) << rep;
  EXPECT_LE(search / accepted, 2 + 2) << rep;
}

// A Delta below what the parameter's variable can hold (a DOUBLE's
// resolution for K1, a SINGLE's for K2) is enlarged until the model sees
// the step; the report says so, and the fit is the one without Delta.
TEST(StaticFit, DeltaBelowTheParametersResolutionIsEnlarged) {
  LsqDir d(StaticModel());
  StaticData data = NoisyStaticData(7, 25);
  LsqProblemSeries p = StaticProblem(data, {1.0, 1.0});
  SetSeries(p, ".PR1.K1.Delta", {{0, 1e-20}});
  SetSeries(p, ".PR1.K2.Delta", {{0, 1e-12}});
  d.WriteStore(p);
  LsqRun run = d.Run();
  ASSERT_EQ(run.status, 0) << run.output;
  const std::string rep = d.Report();
  for (const char* k : {"K1 (9.99999968266E-21)", "K2 (9.99999996004E-13)"})
    EXPECT_NE(rep.find(std::string("\r\nDelta of ") + k + " does not change its value 1 as the model holds it; "
                       "the default relative step 1.49011611938E-8 is used instead"),
              std::string::npos) << rep;
  const Fit2 ref = IndependentStaticFit(data, {1.0, 1.0});
  for (int k = 0; k < 2; ++k) EXPECT_NEAR(ReadValue(d, ValuePaths()[size_t(k)]).value, ref.b[size_t(k)], 2e-6);
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
  const std::string rep = d.Report();
  EXPECT_NE(rep.find("\r\nConverged after "), std::string::npos) << rep;
  EXPECT_NE(ErrorLine(rep, "K1").find(" (at RangeUp)"), std::string::npos) << rep;
  EXPECT_EQ(ErrorLine(rep, "K2").find("(at"), std::string::npos) << rep;
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

// ---- Standard errors and unconverged stops, on formula models ----

// 1: the slope is B1 B2, so neither can be told apart from the other.
// 2: a peak on a baseline, no parameter of the peak having any effect
//    while its width is far below the spacing of the data.
// 3: the model gives no number unless B1 lies on a grid of 1/1024.
const TestModel& CaseModel() {
  static const TestModel m = FormulaModel(
      "LSQCASES",
      {{3, "B1*B2*X.I+B3"}, {4, "B1+B2*EXP(-SQR((X.I-B3)/B4))"}, {2, "ONGRID(B1)*X.I+B2"}},
      "FUNCTION ONGRID(B:DOUBLE):DOUBLE;\r\n"
      "BEGIN IF FRAC(B*1024)=0 THEN ONGRID:=B ELSE ONGRID:=SQRT(B-B-1); END;\r\n");
  return m;
}

// Data of case k of CaseModel at x = 0, 1, ...: y = f(x) + seeded noise.
std::vector<double> CaseData(const std::function<double(double)>& f, int n, std::vector<double>& x) {
  std::mt19937 gen(42);
  std::normal_distribution<double> noise(0.0, 0.05);
  std::vector<double> y;
  x.clear();
  for (int i = 0; i < n; ++i) {
    x.push_back(i);
    y.push_back(float(f(i) + noise(gen)));
  }
  return y;
}


TEST(StandardErrors, NotAvailableOnlyForWhatTheDataCannotTellApart) {
  LsqDir d(CaseModel());
  d.SelectCase(CaseModel(), 1);
  std::vector<double> x;
  std::vector<double> y = CaseData([](double v) { return 2 * v + 1; }, 12, x);
  d.WriteStore(FormulaProblem({1, 1, 0}, x, y));
  LsqRun run = d.Run();
  ASSERT_EQ(run.status, 0) << run.output;
  const std::string rep = d.Report();
  for (const char* b : {"B1", "B2"})
    EXPECT_EQ(ErrorLine(rep, b), std::string(b) + ": not available: the sensitivities to B1 and B2 are linearly "
                                  "dependent at these values (to 1E-9), so the data cannot tell these parameters apart")
        << rep;
  // The intercept's error is the straight line's, with the sum and the
  // n - p of this fit.
  FitData data{x, y, std::vector<double>(x.size(), 1.0)};
  const double slope = ReportNumber(rep, "\r\nB1 = ") * ReportNumber(rep, "\r\nB2 = ");
  const double b3 = ReportNumber(rep, "\r\nB3 = ");
  const std::vector<double> cov = CovarianceDiagonal(
      [](double v, const std::vector<Cx>& b) { return b[0] * v + b[1]; }, data, {slope, b3});
  const double s = ReportNumber(rep, "Weighted sum of squares = ");
  const double expected = std::sqrt(cov[1] * s / (12 - 3));
  EXPECT_NEAR(ReportNumber(rep, "\r\n  B3: "), expected, 1e-4 * expected) << rep;
}

// What a search that stops unconverged leaves: status 2, the reason second
// in the report, the best point found named as such and written into the
// .Value series, the trajectory and X out of a run there.
void ExpectBestPointWritten(const LsqDir& d, const LsqRun& run, int p, const std::string& why) {
  EXPECT_EQ(run.status, 2) << run.output;
  const std::string rep = d.Report();
  EXPECT_EQ(rep.find("\r\nNOT CONVERGED after "), rep.find("\r\n")) << rep;
  const size_t second = rep.find("\r\n") + 2;
  EXPECT_NE(rep.substr(second, rep.find('\r', second) - second).find(why), std::string::npos) << rep;
  EXPECT_NE(rep.find("the best point found, not a minimum."), std::string::npos) << rep;
  EXPECT_NE(rep.find("\r\nBest point found (not converged):\r\n"), std::string::npos) << rep;
  EXPECT_NE(rep.find("\r\nBest point found written into the .Value series of FIT.DSF"), std::string::npos);
  for (const std::string& b : ParameterNames(p)) {
    ReadBack v = ReadValue(d, ".PR1." + b + ".Value");
    EXPECT_TRUE(v.ok) << b;
    EXPECT_EQ(v.value, float(ReportNumber(rep, "\r\n" + b + " = "))) << b;
  }
  EXPECT_TRUE(d.dir.Has(d.name() + ".TTR"));
  EXPECT_NE(run.output.find("\nNot converged: " + why), std::string::npos) << run.output;
}

// A peak whose width is far below the spacing of the data has no effect
// anywhere: the search fits the baseline and names the three parameters.
TEST(UnconvergedFit, AParameterWithoutEffectIsNamed) {
  LsqDir d(CaseModel());
  d.SelectCase(CaseModel(), 2);
  std::vector<double> x;
  std::vector<double> y = CaseData([](double v) { return 1 + 3 * std::exp(-std::pow((v - 10) / 2, 2)); }, 21, x);
  d.WriteStore(FormulaProblem({0.5, 1, 10.5, 1e-3}, x, y));
  LsqRun run = d.Run();
  ExpectBestPointWritten(d, run, 4,
                         "B2, B3 and B4 have no effect on the fit at these values (every sensitivity to them is 0)");
  const std::string rep = d.Report();
  double mean = 0;
  for (double v : y) mean += v / double(y.size());
  EXPECT_NEAR(ReportNumber(rep, "\r\nB1 = "), mean, 1e-6) << rep;
  EXPECT_EQ(ErrorLine(rep, "B3"), "B3: not available: B3 has no effect on the fit at these values "
                                  "(every sensitivity to it is 0)");
}

// The model fails on both sides of B1: the report names the failure of
// that evaluation, at the value it was run with.
TEST(UnconvergedFit, AModelFailingNextToTheParametersIsNamed) {
  LsqDir d(CaseModel());
  d.SelectCase(CaseModel(), 3);
  std::vector<double> x;
  std::vector<double> y = CaseData([](double v) { return v + 2; }, 10, x);
  d.WriteStore(FormulaProblem({1, 0}, x, y));
  LsqRun run = d.Run();
  ExpectBestPointWritten(d, run, 2,
                         "the model fails next to the parameters (B1 = 0.999999985099): The equation of Y "
                         "gives no number at _JT=0, _T=0");
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

// TIMESET may set NEWTONTOL from the parameters; each run of a fit
// checks it as a plain run does: NaN or infinity fails the run with the
// setting's message (here at the start: status 2), a finite value runs.
TEST(LsqFailure, NotANumberOrInfiniteNewtonTolFailsTheRun) {
  TestModel m = StaticModel();
  m.name = "LSQTOL";
  m.label = ">12-10-2026 11: 9: 0 LSQTOL";
  const std::string timeset = "  TSTART:=0; TEND:=1; TSTEP:=1;\r\n";
  const size_t at = m.psy.find(timeset);
  ASSERT_NE(at, std::string::npos);
  m.psy.insert(at + timeset.size(),
               "  IF K1=7 THEN NEWTONTOL:=(K1-7)/(K1-7);\r\n"  // 0/0: NaN
               "  IF K1=8 THEN NEWTONTOL:=1/(K1-8);\r\n");     // 1/0: +Inf
  LsqDir d(m);
  struct Case {
    double k1;
    int status;
    const char* says;
  } cases[] = {
      {2.0, 0, "K1 = "},
      {7.0, 2, "Bad NEWTONTOL from TIMESET: Nan (it must be above 0)"},
      {8.0, 2, "Bad NEWTONTOL from TIMESET: +Inf (it must be above 0)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.k1);
    LsqProblemSeries p = StaticProblem(NoisyStaticData(1, 8), {c.k1, 0.5});
    SetControl(p, 0, 0);
    d.WriteStore(p);
    const std::string before = d.Store();
    LsqRun run = d.Run();
    EXPECT_EQ(run.status, c.status) << run.output;
    const std::string& text = c.status == 0 ? d.Report() : run.output;
    EXPECT_NE(text.find(c.says), std::string::npos) << text;
    EXPECT_EQ(d.Store(), before);
  }
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
