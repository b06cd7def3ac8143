// Benchmark: the chain of tanks at 1,000 and 10,000 variables for 1,000 time steps, solver time of each.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "bench/bench_size.h"
#include "runtime/tests/prb_writer.h"
#include "runtime/tests/solver_harness.h"
#include "runtime/tests/test_models.h"
#include "sequencer/SEQCU1.h"

namespace {

using namespace krv::rt;

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// The example TANKS through Foreparse and Sequist, resized to `tanks` and
// 1,000 steps; the problem file with the feed at 1. False when the road is
// not open yet.
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
  TestModel m = TanksModel(tanks, 100.0, 0.1);
  dir.WriteModel(m.type_lines, m.label, m.psy);
  dir.Write(m.name + ".PRB", ProblemFile(m, m.vars, Ordering::kSequist));
}

}  // namespace

int main(int argc, char** argv) {
  const bool tiny = krv::bench::TinyRun(argc, argv);
  double per_unit[2] = {};
  const int sizes[2] = {tiny ? 10 : 1000, tiny ? 40 : 10000};
  for (int s = 0; s < 2; ++s) {
    const int tanks = (sizes[s] - 1) / 3;  // Q[0..n] and two variables per tank
    ProblemDir dir("TANKS");
    const char* source = "examples/TANKS.QTL through Foreparse and Sequist";
    if (!FromExample(dir, tanks)) {
      source = "hand-written translation, ordered by Sequist";
      ByHand(dir, tanks);
    }
    std::string log;
    if (!dir.Compile(&log)) {
      std::printf("compile failed:\n%s\n", log.c_str());
      return 1;
    }
    auto start = std::chrono::steady_clock::now();
    RunResult r = dir.Run();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (r.status != 0) {
      std::printf("solver failed (%d):\n%s\n", r.status, r.output.c_str());
      return 1;
    }
    std::printf("model: %s\n", source);
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
