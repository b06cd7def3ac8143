// The series store's figures, each beside a yardstick measured in the
// same run:
//  - GetVal over 12,401 indices beside reading a std::vector<float> with
//    the same range test, and its last block beside its first;
//  - SaveSeries and OpenSeries of that series (402 records) beside one
//    pwrite/pread of the same 51,456 bytes (a new series beside a pwrite
//    that lengthens the file, as the save does), and the plain system
//    calls of a save over the series with no other work;
//  - 100 DSDirs x 100 series of 40 values built (as one change), listed
//    and all opened, against 200 DSDirs (aim: at most 2.2 times).
// Only the last has an aim; the others show where the time goes.
// "bench_series --tiny" runs every step once on small sizes.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_size.h"
#include "platform/block_file.h"
#include "platform/user_prompts.h"
#include "series/series_store.h"

using namespace krv::series;
using Clock = std::chrono::steady_clock;

namespace {

bool g_tiny = false;
volatile float g_sink;

double Us(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// The best of `reps` runs of f, in microseconds: the machine is shared.
template <class F>
double Best(int reps, F&& f) {
  return krv::bench::BestSeconds(g_tiny ? 1 : reps, f) * 1e6;
}

// Best() of two steps taken in turns, so that a change in the machine's
// load meets both alike.
template <class F, class G>
void BestInTurns(int reps, F&& f, G&& g, double& bestF, double& bestG) {
  bestF = bestG = 1e300;
  for (int r = 0; r < (g_tiny ? 1 : reps); ++r) {
    bestF = std::min(bestF, Best(1, f));
    bestG = std::min(bestG, Best(1, g));
  }
}

// `limit` 0: a figure shown for scale, without an aim.
void Figure(const char* what, double value, const char* yard, double yardstick, double limit = 0) {
  double ratio = yardstick > 0 ? value / yardstick : 0;
  if (limit <= 0) {
    std::printf("%-44s %10.2f us   %-36s %10.2f us   %5.2fx\n", what, value, yard, yardstick, ratio);
    return;
  }
  std::printf("%-44s %10.2f us   %-36s %10.2f us   %5.2fx (at most %.1fx)%s\n", what, value, yard,
              yardstick, ratio, limit, ratio <= limit || g_tiny ? "" : "  OVER");
}

// Each loop is a function of its own, so that neither depends on how
// the rest of the benchmark happens to use the registers.
[[gnu::noinline]] float SumGetVal(SeriesStore& store, ColumnSlot& s, int from, int to) {
  float sum = 0;
  for (int i = from; i <= to; ++i) sum += store.GetVal(s, int16_t(i));
  return sum;
}

[[gnu::noinline]] float SumVector(const std::vector<float>& plain, int lo, int hi, int from,
                                  int to) {
  float sum = 0;
  for (int i = from; i <= to; ++i) sum += i >= lo && i <= hi ? plain[size_t(i - lo)] : 3.4e38f;
  return sum;
}

void GetValFigures(SeriesStore& store) {
  const int n = g_tiny ? 100 : 12401;
  ColumnSlot& s = store.ColumnSlots[0];
  store.NewSeries(s, false, "");
  std::vector<float> plain(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    store.PutVal(s, int16_t(i), i * 0.5);
    plain[size_t(i)] = float(i * 0.5);
  }
  int lo = 0, hi = n - 1;
  const int passes = g_tiny ? 1 : 200;
  double get, vec;
  BestInTurns(
      20, [&] { for (int p = 0; p < passes; ++p) g_sink = SumGetVal(store, s, 0, n - 1); },
      [&] { for (int p = 0; p < passes; ++p) g_sink = SumVector(plain, lo, hi, 0, n - 1); }, get,
      vec);
  get /= passes;
  vec /= passes;
  std::printf("GetVal over %d indices\n", n);
  Figure("  GetVal, whole range", get, "std::vector<float> + range test", vec);
  // One block's 31 cells read over and over: the first block, then the last.
  const int reps = g_tiny ? 1 : 6000;
  int lastBase = (n - 1) / kBlockCells * kBlockCells;
  double first, last;
  BestInTurns(
      20, [&] { for (int r = 0; r < reps; ++r) g_sink = SumGetVal(store, s, 0, kBlockCells - 1); },
      [&] {
        for (int r = 0; r < reps; ++r)
          g_sink = SumGetVal(store, s, std::min(lastBase, n - kBlockCells), n - 1);
      },
      first, last);
  Figure("  GetVal in the last block", last, "GetVal in the first block", first);
}

void SaveOpenFigures(SeriesStore& store, const std::string& dir) {
  ColumnSlot& s = store.ColumnSlots[0];
  store.CreateDSF(dir + "/BIG");
  int records = s.BlockCount() + 1;
  size_t bytes = size_t(records) * kRecordSize;
  int reps = 30;
  // A new series each time: the entry, then head and data in one run.
  int k = 0;
  double saveNew = Best(reps, [&] { store.SaveSeries(s, ".S" + std::to_string(k++)); });
  double saveAgain = Best(reps, [&] { store.SaveSeries(s, ".S0"); });
  double open = Best(reps, [&] { store.OpenSeries(store.ColumnSlots[1], ".S0"); });
  if (store.FailureFlag) std::printf("  (the store failed)\n");

  std::vector<char> buf(bytes, 'x');
  std::string yard = dir + "/YARD";
  int fd = ::open(yard.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  double pw = Best(reps, [&] {
    if (::pwrite(fd, buf.data(), bytes, off_t(4 * bytes)) != ssize_t(bytes)) std::abort();
  });
  double pr = Best(reps, [&] {
    if (::pread(fd, buf.data(), bytes, off_t(4 * bytes)) != ssize_t(bytes)) std::abort();
  });
  // A new series lengthens its file, as this does: the kernel's part of
  // growing a file is several times that of writing over a page it holds.
  off_t end = off_t(5 * bytes);
  double pwEnd = Best(reps, [&] {
    if (::pwrite(fd, buf.data(), bytes, end) != ssize_t(bytes)) std::abort();
    end += off_t(bytes);
  });
  double perRecord = Best(reps, [&] {
    for (int r = 0; r < records; ++r)
      if (::pwrite(fd, buf.data(), kRecordSize, off_t(r) * off_t(kRecordSize)) != kRecordSize)
        std::abort();
  });
  ::close(fd);
  // The plain system calls of a save over a series with no other work:
  // the lock, a look at the file, its record 0, the records, record 0, a
  // look at the file, the unlock, made through the same file class. The
  // same bytes go back, so the file is unchanged.
  double calls = 0;
  {
    bool failure;
    DSDirEntry e;
    store.FindDSFEntry(".S0", failure, e);
    krv::platform::BlockFile f(kRecordSize);
    std::vector<uint8_t> same(bytes);
    uint8_t r0[kRecordSize];
    if (failure || !f.Open(dir + "/BIG.DSF", krv::platform::BlockFile::Mode::ReadWrite) ||
        !f.ReadBlocks(e.record, records, same.data()))
      std::abort();
    krv::platform::BlockFile::Stamp st;
    calls = Best(reps, [&] {
      if (!f.Lock() || !f.GetStamp(st) || !f.ReadBlocks(0, 1, r0) || !f.WriteBlocks(e.record, records, same.data()) ||
          !f.WriteBlocks(0, 1, r0) || !f.GetStamp(st))
        std::abort();
      f.Unlock();
    });
  }
  std::printf("SaveSeries and OpenSeries of %d records (%zu bytes)\n", records, bytes);
  Figure("  SaveSeries, new series", saveNew, "one pwrite of them, lengthening", pwEnd);
  Figure("  SaveSeries, new series", saveNew, "one pwrite of the same bytes", pw);
  Figure("  SaveSeries over itself", saveAgain, "one pwrite of the same bytes", pw);
  Figure("  (its system calls alone)", calls, "one pwrite of the same bytes", pw);
  Figure("  OpenSeries", open, "one pread of the same bytes", pr);
  Figure("  (a pwrite per record)", perRecord, "one pwrite of the same bytes", pw);
}

// Builds `dirs` DSDirs of `per` series of 40 values, lists them, opens all.
double TreeRun(const std::string& dir, int dirs, int per) {
  std::filesystem::remove(dir + "/TREE.DSF");
  SeriesStore store;
  store.MessagesOn = false;
  auto t0 = Clock::now();
  store.CreateDSF(dir + "/TREE");
  ColumnSlot& s = store.ColumnSlots[0];
  store.NewSeries(s, false, "");
  for (int i = 0; i < 40; ++i) store.PutVal(s, int16_t(i), i);
  // Built as one change, as Plotvane saves a run: the tree's own cost,
  // not that of syncing the file per series (SaveSeries above shows that).
  store.HoldChanges();
  for (int d = 0; d < dirs; ++d) {
    std::string p = ".D" + std::to_string(d);
    store.MakeDSDir(p);
    for (int k = 0; k < per; ++k) store.SaveSeries(s, p + ".S" + std::to_string(k));
  }
  store.CommitChanges();
  store.ListDSFNames("&");
  for (int d = 0; d < dirs; ++d)
    for (int k = 0; k < per; ++k)
      store.OpenSeries(store.ColumnSlots[1], ".D" + std::to_string(d) + ".S" + std::to_string(k));
  double t = Us(Clock::now() - t0);
  if (store.FailureFlag || store.Log.Lines().size() != size_t(dirs * per))
    std::printf("  (the tree run failed)\n");
  return t;
}

void TreeFigures(const std::string& dir) {
  int dirs = g_tiny ? 3 : 100, per = g_tiny ? 4 : 100;
  double small = 1e300, large = 1e300;
  for (int r = 0; r < (g_tiny ? 1 : 5); ++r) {
    small = std::min(small, TreeRun(dir, dirs, per));
    large = std::min(large, TreeRun(dir, 2 * dirs, per));
  }
  std::printf("%d series of 40 values in DSDirs of %d: built, listed, all opened\n", dirs * per,
              per);
  char what[64], yard[64];
  std::snprintf(what, sizeof what, "  %d DSDirs", 2 * dirs);
  std::snprintf(yard, sizeof yard, "%d DSDirs", dirs);
  Figure(what, large, yard, small, 2.2);
}

}  // namespace

int main(int argc, char** argv) {
  g_tiny = argc > 1 && std::strcmp(argv[1], "--tiny") == 0;
  char tmpl[] = "/tmp/krv_series_bench.XXXXXX";
  std::string dir = mkdtemp(tmpl);
  krv::platform::ScriptedPrompts prompts;
  {
    SeriesStore store;
    GetValFigures(store);
    SaveOpenFigures(store, dir);
  }
  TreeFigures(dir);
  std::filesystem::remove_all(dir);
  return 0;
}
