// Test helpers for least-squares fits: two models with known parameters, their
// problems in a data-series store written by the series library, seeded noisy
// data, and fits of the same data computed here, independently of the solver.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "runtime/tests/prb_writer.h"
#include "runtime/tests/solver_harness.h"
#include "runtime/tests/test_models.h"

namespace krv::rt {

// A series of the LSQ problem: its path and its (index, value) pairs.
struct LsqSeries {
  std::string path;
  std::vector<std::pair<int, double>> values;
};
using LsqProblemSeries = std::vector<LsqSeries>;

void SetSeries(LsqProblemSeries& p, const std::string& path,
               std::vector<std::pair<int, double>> values);
void SetValue(LsqProblemSeries& p, const std::string& path, int index, double value);
void EraseValue(LsqProblemSeries& p, const std::string& path, int index);
void SetControl(LsqProblemSeries& p, int index, double value);
void RemoveSeries(LsqProblemSeries& p, const std::string& path);
void RenameProblem(LsqProblemSeries& p, const std::string& name);

// Y = K1 exp(-K2 U) (K1 DOUBLE, K2 SINGLE), one run per observation, with a
// fixing pair Z = W * W held at Z = 4 beside it. LSQSETUP('FIT','PR1').
// Variables: U 0 (I*), Y 1, W 2 (IC, X in 1), Z 3 (CO, X in 4). Its REPORT
// removes FIT.DSF when a file VANISH is there.
TestModel StaticModel();
constexpr std::array<double, 2> kStaticTruth = {2.5, 0.7};

// LEVEL' = K1 U - K2 LEVEL by QTLINTEG (Q = K2 LEVEL, NET = K1 U - Q), LEVEL
// starting at 1, time 0 to 5 step 0.25. DLSQSETUP('FIT','PR1'), LSQDEP LEVEL,
// input U, runs R1 and R2. Variables: U 0, Q 1, NET 2, LEVEL 3.
TestModel TimedModel();
constexpr std::array<double, 2> kTimedTruth = {0.8, 0.6};

// Y = f(X; B1..Bp) for each case of `cases`, the case chosen by the X in of
// SEL (1, 2, ...; LsqDir::SelectCase): PARSET marks B1..Bp (DOUBLE) of the
// case, the formula is Pascal over X.I and B1..B8. `functions` is Pascal
// placed before PARSET. One run of one step per observation.
// LSQSETUP('FIT','PR1'). Variables: X 0 (I*), Y 1, SEL 2 (I*).
struct FormulaCase {
  int parameters;
  std::string formula;
};
TestModel FormulaModel(const std::string& name, const std::vector<FormulaCase>& cases,
                       const std::string& functions = "");
// B1..Bp.
std::vector<std::string> ParameterNames(int p);
// The layout for B1..Bp from `start`, Y observed at the inputs X (weights 1).
LsqProblemSeries FormulaProblem(const std::vector<double>& start, const std::vector<double>& x,
                                const std::vector<double>& y);

struct StaticData {
  std::vector<double> u, y, weight;
};
// n observations at U = 0, du, 2 du, ... of the truth with seeded noise.
StaticData NoisyStaticData(unsigned seed, int n, double du = 0.1);
double StaticSum(const StaticData& d, double k1, double k2);
// "New LSQ problem"'s layout with the data, Controls as it writes them.
LsqProblemSeries StaticProblem(const StaticData& d, std::array<double, 2> start);

struct TimedData {
  std::vector<double> t, u, level, weight;
};
// n observations at times 0.13 + 0.31 i, between the steps.
TimedData NoisyTimedData(unsigned seed, int n);
// LEVEL at steps 0..20 as the solver computes it (implicit Euler, the input
// interpolated over the data's times).
std::vector<double> SimulateLevel(const TimedData& d, double k1, double k2);
LsqProblemSeries TimedProblem(const TimedData& d, std::array<double, 2> start);

struct Fit2 {
  std::array<double, 2> b;
  double s = 0;
};
// Gauss-Newton fits of the data; with fix_k1 only K2 moves.
Fit2 IndependentStaticFit(const StaticData& d, std::array<double, 2> start, bool fix_k1 = false);
Fit2 IndependentTimedFit(const TimedData& d, std::array<double, 2> start);

// A trajectory file of the given mark holding `records` (values per record).
std::string TtrFile(int mark, const std::vector<std::vector<float>>& records);

// The number after `key` in `text` (NaN when absent).
double ReportNumber(const std::string& text, const std::string& key);

struct LsqRun {
  int status = -1;
  std::string output;
};

// The compiled model's directory, cleared of what earlier runs left, with a
// fresh problem file.
class LsqDir {
 public:
  explicit LsqDir(const TestModel& m);
  const std::string& name() const { return name_; }
  void WriteStore(const LsqProblemSeries& p) const;
  std::string Store() const { return dir.Read("FIT.DSF"); }
  std::string Report() const { return dir.Read(name_ + ".LSQ"); }
  LsqRun Run() const;
  // A fresh problem file of FormulaModel `m` for case k.
  void SelectCase(const TestModel& m, int k) const;

  // Damage to the store after it was written.
  void Poke(size_t at, std::initializer_list<uint8_t> bytes) const;
  void Truncate(size_t records) const;
  void RemoveStore() const;
  // The first DSDir block of `path` links to itself.
  void LoopDSDir(const std::string& path) const;
  // The series at `path` starts its data chain outside the file.
  void BreakSeries(const std::string& path) const;

  const ProblemDir& dir;

 private:
  std::string name_;
};

}  // namespace krv::rt
