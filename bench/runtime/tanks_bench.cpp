// Benchmark: the chain of tanks (examples/TANKS.QTL resized) for 1,000 time
// steps at two sizes a factor of four apart: the solver's time beside two
// yardsticks measured in the same run on the same model and the same
// records written, a hand-written implicit Euler step and a generic sparse
// step (SuiteSparse KLU refactoring and solving the step's Jacobian every
// step, where its development files are installed).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include <unistd.h>

#include "bench/bench_size.h"
#include "runtime/tests/prb_writer.h"
#include "runtime/tests/solver_harness.h"
#include "runtime/tests/test_models.h"
#include "sequencer/SEQCU1.h"
#include "testing/temp_dir.h"

#ifdef KRV_HAVE_KLU
extern "C" {
#include <klu.h>
}
#endif

namespace {

using namespace krv::rt;

constexpr int kSteps = 1000;
constexpr double kK = 0.5, kStep = 0.1;

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// The example TANKS through Foreparse and Sequist, resized to `tanks` and
// 1,000 steps; the problem file with the feed at 1. False when the road is
// not open.
bool FromExample(const ProblemDir& dir, int tanks) {
  std::ifstream f(std::string(KRV_SOURCE_DIR) + "/examples/TANKS.QTL", std::ios::binary);
  std::ostringstream qtl;
  qtl << f.rdbuf();
  std::string text = Replace(qtl.str(), "{%D NT=4}", "{%D NT=" + std::to_string(tanks) + "}");
  text = Replace(Replace(text, "TEND:=10;", "TEND:=100;"), "TSTEP:=0.5;", "TSTEP:=0.1;");
  dir.Write("TANKS.QTL", text);
  std::string log, prb;
  dir.Preprocess(&log);
  krv::pp::LogWriter seqlog;
  if (log.find("  ---FINISHED") == std::string::npos ||
      !krv::seq::SequenceMap(dir.Read("TANKS.VNM"), prb, seqlog))
    return false;
  SetValueBlock(prb, 0, {"I*", "", 1.0});
  dir.Write("TANKS.PRB", prb);
  dir.WriteProgram();
  return true;
}

// The same model written by hand in the generated shape.
void ByHand(const ProblemDir& dir, int tanks) {
  TestModel m = TanksModel(tanks, 100.0, kStep);
  dir.WriteModel(m.type_lines, m.label, m.psy);
  dir.Write(m.name + ".PRB", ProblemFile(m, m.vars, Ordering::kSequist));
}

// The records a run writes: every variable as a 4-byte value, a record a
// step, to a file.
class Records {
 public:
  Records(const std::string& path, int values) : f_(std::fopen(path.c_str(), "wb")), rec_(size_t(values)) {}
  // Flushed to the disk as the solver's trajectory is.
  ~Records() {
    if (!f_) return;
    std::fflush(f_);
    ::fsync(::fileno(f_));
    std::fclose(f_);
  }
  // Q[0..n], then LEVEL and NET of each tank, as the model's variables are.
  void Write(const std::vector<double>& q, const std::vector<double>& level, const std::vector<double>& net) {
    const size_t n = level.size();
    for (size_t j = 0; j <= n; ++j) rec_[j] = float(q[j]);
    for (size_t j = 0; j < n; ++j) {
      rec_[n + 1 + 2 * j] = float(level[j]);
      rec_[n + 2 + 2 * j] = float(net[j]);
    }
    if (f_) std::fwrite(rec_.data(), sizeof(float), rec_.size(), f_);
  }

 private:
  std::FILE* f_;
  std::vector<float> rec_;
};

// The yardstick a modeller would write by hand: each tank's implicit Euler
// step solved in closed form, down the chain.
double HandWritten(const std::string& path, int tanks, double* lastLevel) {
  std::vector<double> q(size_t(tanks) + 1, 0.0);
  std::vector<double> level(size_t(tanks), 0.0), net(size_t(tanks), 0.0);
  Records out(path, 3 * tanks + 1);
  q[0] = 1.0;
  for (int j = 0; j < tanks; ++j) level[size_t(j)] = 0.0;
  for (int jt = 0; jt <= kSteps; ++jt) {
    const double dt = jt == 0 ? 0.0 : kStep;
    for (int j = 1; j <= tanks; ++j) {
      double& l = level[size_t(j) - 1];
      l = (l + dt * q[size_t(j) - 1]) / (1.0 + dt * kK);
      q[size_t(j)] = kK * l;
      net[size_t(j) - 1] = q[size_t(j) - 1] - q[size_t(j)];
    }
    out.Write(q, level, net);
  }
  *lastLevel = level.back();
  return 0;
}

#ifdef KRV_HAVE_KLU
// The generic sparse step: the residuals of the step's equations, their
// Jacobian refactored by KLU and solved every step, one Newton step (the
// model is linear). Unknowns Q[1..n], LEVEL[1..n], NET[1..n].
bool KluSteps(const std::string& path, int tanks, double* lastLevel) {
  const int n = tanks, size = 3 * n;
  auto qi = [](int j) { return j - 1; };
  auto li = [n](int j) { return n + j - 1; };
  auto ni = [n](int j) { return 2 * n + j - 1; };
  // Columns of the pattern: (row, column) pairs, then compressed.
  std::vector<std::pair<int, int>> nz;
  for (int j = 1; j <= n; ++j) {
    nz.push_back({qi(j), qi(j)});
    nz.push_back({qi(j), li(j)});
    nz.push_back({ni(j), ni(j)});
    nz.push_back({ni(j), qi(j)});
    if (j > 1) nz.push_back({ni(j), qi(j - 1)});
    nz.push_back({li(j), li(j)});
    nz.push_back({li(j), ni(j)});
  }
  std::sort(nz.begin(), nz.end(), [](auto a, auto b) { return a.second != b.second ? a.second < b.second : a.first < b.first; });
  std::vector<int> ap(size_t(size) + 1, 0), ai(nz.size());
  for (size_t k = 0; k < nz.size(); ++k) {
    ++ap[size_t(nz[k].second) + 1];
    ai[k] = nz[k].first;
  }
  for (int c = 0; c < size; ++c) ap[size_t(c) + 1] += ap[size_t(c)];
  std::vector<double> ax(nz.size()), x(size_t(size), 0.0), r(size_t(size), 0.0);
  std::vector<double> q(size_t(n) + 1, 0.0), level(size_t(n), 0.0), net(size_t(n), 0.0), old(size_t(n), 0.0);
  auto fill = [&](double dt) {
    for (size_t k = 0; k < nz.size(); ++k) {
      const int row = nz[k].first, col = nz[k].second;
      if (row == col) ax[k] = 1.0;
      else if (row < n) ax[k] = -kK;                  // Q[j] - K LEVEL[j]
      else if (row < 2 * n) ax[k] = -dt;              // LEVEL[j] - dt NET[j]
      else ax[k] = col == row - 2 * n ? 1.0 : -1.0;   // NET[j] + Q[j] - Q[j-1]
    }
  };
  klu_common common;
  klu_defaults(&common);
  klu_symbolic* symbolic = klu_analyze(size, ap.data(), ai.data(), &common);
  fill(0.0);
  klu_numeric* numeric = klu_factor(ap.data(), ai.data(), ax.data(), symbolic, &common);
  if (!symbolic || !numeric) return false;
  Records out(path, 3 * n + 1);
  for (int jt = 0; jt <= kSteps; ++jt) {
    const double dt = jt == 0 ? 0.0 : kStep;
    for (int j = 1; j <= n; ++j) old[size_t(j) - 1] = x[size_t(li(j))];
    // Residuals at the start of the step, then one Newton step.
    for (int j = 1; j <= n; ++j) {
      const double qprev = j == 1 ? 1.0 : x[size_t(qi(j - 1))];
      r[size_t(qi(j))] = -(x[size_t(qi(j))] - kK * x[size_t(li(j))]);
      r[size_t(ni(j))] = -(x[size_t(ni(j))] - (qprev - x[size_t(qi(j))]));
      r[size_t(li(j))] = -(x[size_t(li(j))] - old[size_t(j) - 1] - dt * x[size_t(ni(j))]);
    }
    fill(dt);
    if (!klu_refactor(ap.data(), ai.data(), ax.data(), symbolic, numeric, &common)) return false;
    if (!klu_solve(symbolic, numeric, size, 1, r.data(), &common)) return false;
    for (int k = 0; k < size; ++k) x[size_t(k)] += r[size_t(k)];
    q[0] = 1.0;
    for (int j = 1; j <= n; ++j) {
      q[size_t(j)] = x[size_t(qi(j))];
      level[size_t(j) - 1] = x[size_t(li(j))];
      net[size_t(j) - 1] = x[size_t(ni(j))];
    }
    out.Write(q, level, net);
  }
  *lastLevel = level.back();
  klu_free_numeric(&numeric, &common);
  klu_free_symbolic(&symbolic, &common);
  return true;
}
#endif

struct Row {
  int vars = 0;
  double solver = 0, hand = 0, klu = 0;
};

bool Measure(int tanks, bool tiny, Row& row) {
  ProblemDir dir("TANKS");
  const char* source = "examples/TANKS.QTL through Foreparse and Sequist";
  if (!FromExample(dir, tanks)) {
    source = "hand-written translation, ordered by Sequist";
    ByHand(dir, tanks);
  }
  std::string log;
  if (!dir.Compile(&log)) {
    std::printf("compile failed:\n%s\n", log.c_str());
    return false;
  }
  const int runs = tiny ? 1 : 3;
  RunResult r;
  row.vars = 1 + 3 * tanks;
  row.solver = krv::bench::BestSeconds(runs, [&] { r = dir.Run(); });
  if (r.status != 0) {
    std::printf("solver failed (%d):\n%s\n", r.status, r.output.c_str());
    return false;
  }
  krv::testing::TempDir yard;
  double handLast = 0;
  row.hand = krv::bench::BestSeconds(runs * 3, [&] { HandWritten(yard.File("HAND.REC"), tanks, &handLast); });
  std::printf("%5d variables (%s)\n", row.vars, source);
  const size_t finished = r.output.find("Finished:");
  if (finished != std::string::npos)
    std::printf("  %s\n", r.output.substr(finished, r.output.find('\n', finished) - finished).c_str());
  std::printf("  solver        %8.1f ms\n", row.solver * 1e3);
  std::printf("  hand-written  %8.1f ms   solver = %5.2f x (target: at most 6)\n", row.hand * 1e3,
              row.solver / row.hand);
#ifdef KRV_HAVE_KLU
  double kluLast = 0;
  bool ok = true;
  row.klu = krv::bench::BestSeconds(runs * 3, [&] { ok = KluSteps(yard.File("KLU.REC"), tanks, &kluLast); });
  std::printf("  KLU step      %8.1f ms   solver = %5.2f x (target: at most 1.5)%s\n", row.klu * 1e3,
              row.solver / row.klu, ok ? "" : "  (KLU failed!)");
  if (std::abs(kluLast - handLast) > 1e-9 * (1 + std::abs(handLast)))
    std::printf("  (the yardsticks disagree: last level %.12g and %.12g)\n", handLast, kluLast);
#else
  std::printf("  KLU step      not available (install libsuitesparse-dev)\n");
#endif
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const bool tiny = krv::bench::TinyRun(argc, argv);
  std::printf("Chain of tanks, %d time steps: the solver beside its yardsticks\n", kSteps);
  const int sizes[2] = {tiny ? 10 : 2500, tiny ? 40 : 10000};
  Row rows[2];
  for (int s = 0; s < 2; ++s)
    if (!Measure((sizes[s] - 1) / 3, tiny, rows[s])) return 1;
  auto perVar = [](const Row& row, double t) { return t / row.vars; };
  std::printf("growth of time per variable from %d to %d variables: solver %.2f x, hand-written %.2f x",
              rows[0].vars, rows[1].vars, perVar(rows[1], rows[1].solver) / perVar(rows[0], rows[0].solver),
              perVar(rows[1], rows[1].hand) / perVar(rows[0], rows[0].hand));
#ifdef KRV_HAVE_KLU
  std::printf(", KLU %.2f x", perVar(rows[1], rows[1].klu) / perVar(rows[0], rows[0].klu));
#endif
  std::printf(" (linear: 1)\n");
  return 0;
}
