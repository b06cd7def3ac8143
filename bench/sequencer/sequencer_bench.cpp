// Times Sequist on (a) a sparse model at the format's limits, 10000
// variables and about 150000 nonzeros in strongly connected blocks of up to
// 50, and (b) one strongly coupled block of 1000 variables: the ordering
// alone, the whole pass from map file to problem file, and, where
// available, SuiteSparse's btf_order on the same incidence (no tearing).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_size.h"
#include "bench/sequencer/bench_model.h"
#include "platform/text.h"
#include "preprocessor/log_writer.h"
#include "sequencer/SEQCU1.h"
#include "sequencer/order_jacobian.h"
#include "testing/temp_dir.h"

#ifdef KRV_HAVE_BTF
extern "C" {
#include <btf.h>
}
#endif

using krv::bench::MakeModel;
using krv::bench::MapText;
using krv::bench::Model;

namespace {

// Best of a few runs.
template <class F>
double Time(int runs, F f) {
  return krv::bench::BestSeconds(runs, f);
}

void Bench(const char* title, const Model& m, int runs) {
  std::vector<int> rows, cols;
  for (int k = 1; k <= m.n; ++k) {
    rows.push_back(k);
    cols.push_back(k);
  }
  for (auto [r, c] : m.deps) {
    rows.push_back(r + 1);
    cols.push_back(c + 1);
  }
  std::string spikes;
  double order = Time(runs, [&] {
    krv::pp::LogWriter log;
    krv::seq::OrderJacobian(m.n, rows, cols, log);
    spikes = log.Lines().back();
  });

  krv::testing::TempDir dir;
  dir.Write("BENCH.VNM", MapText(m));
  bool written = false;
  double whole = Time(runs, [&] {
    krv::pp::LogWriter log;
    written = krv::seq::RunSequencer(dir.File("BENCH.VNM"), dir.File("BENCH.PRB"), log);
  });

  std::printf("%s: N=%d nonzeros=%zu\n  %s\n", title, m.n, rows.size(), spikes.c_str());
  std::printf("  ordering alone  %9.3f ms\n", order * 1e3);
  std::printf("  whole pass      %9.3f ms%s\n", whole * 1e3, written ? "" : "  (no problem file!)");
#ifdef KRV_HAVE_BTF
  // Compressed columns of the same pattern.
  std::vector<int> ap(static_cast<size_t>(m.n) + 1, 0), ai(rows.size());
  for (int c : cols) ++ap[size_t(c)];
  for (int c = 0; c < m.n; ++c) ap[size_t(c) + 1] += ap[size_t(c)];
  std::vector<int> fill(ap.begin(), ap.end() - 1);
  for (size_t i = 0; i < rows.size(); ++i) ai[size_t(fill[size_t(cols[i] - 1)]++)] = rows[i] - 1;
  const size_t n = static_cast<size_t>(m.n);
  std::vector<int> p(n), q(n), r(n + 1), work(5 * n);
  int blocks = 0, matched = 0;
  double work1 = 0;
  double btf = Time(runs * 5, [&] {
    blocks = btf_order(m.n, ap.data(), ai.data(), -1, &work1, p.data(), q.data(), r.data(),
                       &matched, work.data());
  });
  std::printf("  btf_order       %9.3f ms  (%d blocks; ordering = %.1f x btf_order)\n", btf * 1e3,
              blocks, order / btf);
#else
  std::printf("  btf_order       not available (install libsuitesparse-dev)\n");
#endif
}

}  // namespace

int main(int argc, char** argv) {
  if (krv::bench::TinyRun(argc, argv)) {
    Bench("(a) tiny: 100 variables, blocks of up to 10", MakeModel(100, 10, 3, 2, 1), 1);
    Bench("(b) tiny: one coupled block of 20 variables", MakeModel(20, 20, 4, 0, 2), 1);
    return 0;
  }
  Bench("(a) 10000 variables, blocks of up to 50", MakeModel(10000, 50, 9, 4, 1), 5);
  // The same shape at a quarter of the size, for the growth. Run second:
  // what the allocator keeps from a smaller run first makes the large
  // one's arrays fresh pages again on every run, which can cost more
  // than the ordering itself on a virtual machine.
  Bench("(a) 2500 variables, blocks of up to 50", MakeModel(2500, 50, 9, 4, 1), 5);
  Bench("(b) one coupled block of 1000 variables", MakeModel(1000, 1000, 4, 0, 2), 3);
  return 0;
}
