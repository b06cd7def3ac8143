// Benchmark: the chain of tanks at 1,000 and 10,000 variables for 1,000 time steps, solver time of each.
#include <chrono>
#include <cstdio>

#include "runtime/tests/prb_writer.h"
#include "runtime/tests/solver_harness.h"
#include "runtime/tests/test_models.h"

int main() {
  using namespace krv::rt;
  double per_unit[2] = {};
  const int sizes[2] = {1000, 10000};
  for (int s = 0; s < 2; ++s) {
    const int tanks = (sizes[s] - 1) / 3;  // Q[0..n] and two variables per tank
    TestModel m = TanksModel(tanks, 100.0, 0.1);
    ProblemDir dir(m.name);
    dir.WriteModel(m.type_lines, m.label, m.psy);
    std::string log;
    if (!dir.Compile(&log)) {
      std::printf("compile failed:\n%s\n", log.c_str());
      return 1;
    }
    // Ordered by the sequencer itself, torn columns and all.
    dir.Write(m.name + ".PRB", ProblemFile(m, m.vars, Ordering::kSequist));
    auto start = std::chrono::steady_clock::now();
    RunResult r = dir.Run();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (r.status != 0) {
      std::printf("solver failed (%d):\n%s\n", r.status, r.output.c_str());
      return 1;
    }
    const size_t summary = r.output.find("Problem ");
    if (summary != std::string::npos)
      std::printf("%s\n", r.output.substr(summary, r.output.find('\n', summary) - summary).c_str());
    const int vars = 1 + 3 * tanks;
    per_unit[s] = seconds / (1001.0 * vars);
    std::printf("tanks, %5d variables, 1000 steps: solver %.3f s (%.1f ns per step and variable)\n",
                vars, seconds, per_unit[s] * 1e9);
  }
  std::printf("growth of time per step and variable from 1,000 to 10,000: %.2fx\n",
              per_unit[1] / per_unit[0]);
  return 0;
}
