// Times the auto-match of a problem file onto a problem of as many
// variables, in shuffled order with half the names absent, at 2750, 5500
// and 11000 variables; the yardstick is the literal cyclic search over the
// same records, which must give the same values.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_size.h"
#include "platform/text.h"
#include "platform/user_prompts.h"
#include "problem_editor/DispMrgU.h"
#include "sequencer/prb_format.h"
#include "testing/temp_dir.h"

using namespace krv::pe;
namespace seq = krv::seq;
using Clock = std::chrono::steady_clock;

static double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

static std::string Name(int i, bool present) {
  return std::string(present ? "PLANT.UNIT_A[" : "GONE.UNIT_B[") + krv::platform::IntToString(i) +
         "].LEVEL";
}

static EditorBuffer Problem(int n) {
  EditorBuffer b;
  b.records.resize(size_t(n));
  for (int i = 0; i < n; ++i) {
    b.records[size_t(i)].name = Name(i, true);
    b.records[size_t(i)].TypeCode = 0;
  }
  return b;
}

// The source: every other problem variable and as many absent ones, shuffled.
static seq::PrbProblem Source(int n) {
  seq::PrbProblem p;
  p.header = "*BENCH#0000";
  std::mt19937 rng(7);
  std::vector<int> order(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) order[size_t(i)] = i;
  std::shuffle(order.begin(), order.end(), rng);
  for (int k = 0; k < n; ++k) {
    int i = order[size_t(k)];
    seq::PrbVariable v;
    v.kind = "IO";
    v.name = Name(i, i % 2 == 0);
    v.block.SetXIn(i);
    v.block.SetRange(1);
    p.variables.push_back(v);
  }
  return p;
}

// The search as written: once around from the search position per name.
static void LiteralSearch(EditorBuffer& main, const seq::PrbProblem& source) {
  const int n = int(main.records.size());
  std::vector<std::string> upper(static_cast<size_t>(n));
  int pos = 0;
  for (int i = 0; i < n; ++i) upper[size_t(i)] = "_X." + krv::platform::UpperAscii(main.records[size_t(i)].name);
  for (const seq::PrbVariable& v : source.variables) {
    const std::string name = "_X." + krv::platform::UpperAscii(v.name);
    for (int k = 0; k < n; ++k) {
      int i = (pos + k) % n;
      if (upper[size_t(i)] != name) continue;
      main.records[size_t(i)].block = v.block;
      pos = i + 1 >= n ? 0 : i + 1;
      break;
    }
  }
}

int main(int argc, char** argv) {
  const bool tiny = krv::bench::TinyRun(argc, argv);
  const int sizes[] = {2750, 5500, 11000};
  krv::testing::TempDir tmp;
  double last = 0;
  for (int n : sizes) {
    if (tiny) n /= 100;
    seq::PrbProblem source = Source(n);
    std::string bytes, error;
    seq::PrbWriteOptions options;
    if (!seq::WritePrb(source, bytes, error, options)) std::abort();
    const std::string path = tmp.path() + "/SOURCE.PRB";
    tmp.Write("SOURCE.PRB", bytes);

    // The best of a few runs: the machine may be busy with other work.
    const int runs = tiny ? 1 : 15;
    EditorSession s;
    AutoMergeOutcome out;
    double ms = 1e300, literalMs = 1e300;
    EditorBuffer literal;
    for (int run = 0; run < runs; ++run) {
      s.main = Problem(n);
      auto t0 = Clock::now();
      out = AutoMergeFile(s, MergeSourceKind::Prb, path);
      auto t1 = Clock::now();
      ms = std::min(ms, Ms(t1 - t0));
      literal = Problem(n);
      auto t2 = Clock::now();
      LiteralSearch(literal, source);
      literalMs = std::min(literalMs, Ms(Clock::now() - t2));
    }
    if (out.dataFormError || out.merged != (n + 1) / 2) std::abort();
    for (int i = 0; i < n; ++i)
      if (!(literal.records[size_t(i)].block == s.main.records[size_t(i)].block)) std::abort();
    std::printf("auto-match of %5d onto %5d variables: %8.2f ms (file read included, best of %d)", n, n, ms, runs);
    if (last > 0) std::printf(", %.2f x the half size", ms / last);
    std::printf("; literal cyclic search: %9.2f ms\n", literalMs);
    last = ms;
  }
  std::printf("target: at most 2.5 x per doubling, under 100 ms at 11000\n");
  return 0;
}
