// Benchmark: a static least-squares fit of 1,000 observations (Y = K1
// exp(-K2 U), one whole run of the model per observation) by the compiled
// solver, with the runs and time its report prints, beside one trial at the
// start (one evaluation over the observations) and the same fit computed
// in-process by Gauss-Newton on the closed-form model, measured in the same
// run on the same data. It prints the search's evaluations of the model
// over the observations per accepted iteration beside their yardstick: a
// forward-difference Jacobian and one trial take p + 1; the aim is at most
// p + 2 on average.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

#include "bench/bench_size.h"
#include "runtime/tests/lsq_models.h"

namespace {

using namespace krv::rt;

std::string Line(const std::string& text, const std::string& start) {
  size_t at = text.find(start);
  if (at == std::string::npos) return "(no line \"" + start + "\")";
  return text.substr(at, text.find('\r', at) - at);
}

}  // namespace

int main(int argc, char** argv) {
  const bool tiny = krv::bench::TinyRun(argc, argv);
  const int n = tiny ? 20 : 1000;
  std::printf("Least-squares fit of %d observations, 2 parameters, one run of the model each\n", n);
  LsqDir dir(StaticModel());
  StaticData data = NoisyStaticData(17, n, 3.0 / n);

  LsqProblemSeries problem = StaticProblem(data, {1.0, 1.0});
  SetControl(problem, 0, 0);
  dir.WriteStore(problem);
  LsqRun run;
  const double trial = krv::bench::BestSeconds(tiny ? 1 : 3, [&] { run = dir.Run(); });
  if (run.status != 0) {
    std::printf("one trial failed (%d):\n%s\n", run.status, run.output.c_str());
    return 1;
  }

  SetControl(problem, 0, 1);
  double fit = 0;
  std::string report;
  for (int k = 0; k < (tiny ? 1 : 3); ++k) {
    dir.WriteStore(problem);
    fit = std::min(k == 0 ? 1e30 : fit, krv::bench::BestSeconds(1, [&] { run = dir.Run(); }));
    if (run.status != 0) {
      std::printf("fit failed (%d):\n%s\n", run.status, run.output.c_str());
      return 1;
    }
    report = dir.Report();
  }
  Fit2 ref;
  const double yard = krv::bench::BestSeconds(tiny ? 1 : 5, [&] { ref = IndependentStaticFit(data, {1.0, 1.0}); });

  std::printf("  report: %s\n", Line(report, "Model runs: ").c_str());
  std::printf("  report: %s\n", Line(report, "Stopped: ").c_str());
  std::printf("  report: %s\n", Line(report, "Search: ").c_str());
  const double iterations = ReportNumber(report, "Search: ");
  const double evaluations = ReportNumber(report, " iterations, ");
  const int p = 2;
  std::printf("  evaluations per accepted iteration %5.2f   yardstick p + 1 = %d, aim at most p + 2 = %d\n",
              evaluations / iterations, p + 1, p + 2);
  std::printf("  solver fit (kind 1)           %9.1f ms\n", fit * 1e3);
  std::printf("  solver one trial (kind 0)     %9.1f ms   fit = %6.1f trials\n", trial * 1e3, fit / trial);
  std::printf("  in-process Gauss-Newton       %9.3f ms   solver fit = %8.0f x\n", yard * 1e3, fit / yard);
  std::printf("  estimates: solver K1 = %.9g, K2 = %.9g; in-process K1 = %.9g, K2 = %.9g\n",
              ReportNumber(report, "K1 = "), ReportNumber(report, "K2 = "), ref.b[0], ref.b[1]);
  return 0;
}
