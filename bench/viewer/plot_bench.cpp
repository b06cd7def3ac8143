// Times the plots' reading and geometry and a save as series: a plot of
// one variable on the attach benchmark's 11000-variable, 2000-step file
// beside the same on a 16-variable file; six plots reloaded in one pass
// beside one; a 32767-point curve's geometry; 100 variables x 30000 steps
// saved into a new DSF.
//
// Two figures have an aim, each beside the same bytes read or written
// with plain calls, one per contiguous run, measured in the same run:
// six plots far apart in the record (the blocks that hold their values
// and the records' numbers), and the save (those blocks of every batch
// of variables, then the store's records written and synced); each
// within twice its yardstick.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "bench/bench_size.h"
#include "platform/text.h"
#include "platform/user_prompts.h"
#include "testing/temp_dir.h"
#include "viewer/PlotU.h"
#include "viewer/save_to_dsf.h"
#include "viewer/ttr_copy.h"
#include "viewer/viewer_state.h"

using namespace krv::view;
using Clock = std::chrono::steady_clock;

static double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

static void WriteTrajectory(const std::string& dir, const std::string& name, int d, int32_t jtmax) {
  const std::string label = ">12-10-2026 10: 5:29 " + name;
  TTRWriter w;
  if (!w.Create(dir + "/" + name + ".TTR")) std::abort();
  TTRHeader h;
  h.SetMark(kMarkPacked);
  h.SetD(int16_t(d));
  h.SetJTmax(jtmax);
  h.SetLabel(label);
  w.WriteBlocks(0, h.bytes.data(), kBlockSize);
  TTRRecord rec;
  rec.values.resize(size_t(d) + 1);
  for (int32_t jt = 0; jt <= jtmax; ++jt) {
    rec.jt = jt;
    rec.t = 0.01 * jt;
    for (int i = 0; i <= d; ++i) rec.values[size_t(i)] = float(std::sin(0.001 * jt * (i + 1)));
    WriteTTRRecord(w, d, rec);
  }
  if (!w.Commit()) std::abort();
  std::ofstream vnm(dir + "/" + name + ".VNM", std::ios::binary);
  vnm << label << "\r\n";
  for (int i = 0; i <= d; ++i)
    vnm << krv::platform::PadLeft(krv::platform::IntToString(i), 4) << " IO  _X.PLANT.UNIT_A[" << i
        << "].LEVEL\r\n";
  vnm << "     #\r\n\x1a";
}

// The blocks a reading of `vars` at `steps` needs (each record's first,
// which holds its number, and each value's), as runs of consecutive blocks.
static std::vector<std::pair<int64_t, int64_t>> NeededRuns(const TTRLayout& layout, const std::vector<int32_t>& steps,
                                                           const std::vector<int>& vars) {
  std::vector<int64_t> inRecord{0};
  for (int v : vars) inRecord.push_back(int64_t(ValueOffset(layout, v) / kBlockSize));
  std::sort(inRecord.begin(), inRecord.end());
  inRecord.erase(std::unique(inRecord.begin(), inRecord.end()), inRecord.end());
  std::vector<std::pair<int64_t, int64_t>> runs;
  for (int32_t jt : steps)
    for (int64_t b : inRecord) {
      int64_t block = layout.FirstBlock(jt) + b;
      if (!runs.empty() && runs.back().first + runs.back().second == block)
        ++runs.back().second;
      else
        runs.push_back({block, 1});
    }
  return runs;
}

// Reads each run with a pread of its own.
static void ReadPlain(int fd, const std::vector<std::pair<int64_t, int64_t>>& runs, std::vector<uint8_t>& buf) {
  for (auto [first, count] : runs) {
    size_t bytes = size_t(count) * kBlockSize;
    if (buf.size() < bytes) buf.resize(bytes);
    if (::pread(fd, buf.data(), bytes, off_t(first) * off_t(kBlockSize)) != ssize_t(bytes)) std::abort();
  }
}

static void Aim(const char* what, double ms, const char* yard, double yardMs, double limit, bool tiny) {
  double ratio = yardMs > 0 ? ms / yardMs : 0;
  std::printf("%s: %.2f ms, %s %.2f ms (aim: at most %.1fx: %.2fx)%s\n", what, ms, yard, yardMs, limit, ratio,
              ratio <= limit || tiny ? "" : "  OVER");
}

// The best of `rounds` runs of `f`, in milliseconds.
template <typename F>
static double Best(int rounds, F f) {
  return krv::bench::BestSeconds(rounds, f) * 1e3;
}

int main(int argc, char** argv) {
  bool tiny = krv::bench::TinyRun(argc, argv);
  int big = tiny ? 99 : 10999;
  int32_t steps = tiny ? 20 : 2000;
  int32_t saveSteps = tiny ? 30 : 30000;
  int rounds = tiny ? 1 : 5;
  krv::platform::ScriptedPrompts prompts;
  krv::testing::TempDir tmp;
  WriteTrajectory(tmp.path(), "WIDE", big, steps - 1);
  WriteTrajectory(tmp.path(), "NARROW", 15, steps - 1);
  WriteTrajectory(tmp.path(), "LONG", 99, saveSteps - 1);

  ViewerState wide, narrow;
  if (wide.Attach(tmp.File("WIDE.TTR")) != AttachStatus::Attached) return 1;
  if (narrow.Attach(tmp.File("NARROW.TTR")) != AttachStatus::Attached) return 1;
  for (ViewerState* v : {&wide, &narrow}) {
    v->Range().density = 1;
    v->Range().Update();
  }
  std::vector<float> buf;
  auto plotOne = [&](ViewerState& v, int var) {
    ReadPlotPoints(v.File(), v.Layout(), v.Range(), {var}, {&buf});
  };
  double wideOne = Best(rounds, [&] { plotOne(wide, big / 2); });
  double narrowOne = Best(rounds, [&] { plotOne(narrow, 8); });
  std::printf("plot of 1 variable, %d steps: %.2f ms on %d variables, %.2f ms on 16 (%.2fx)\n", steps, wideOne,
              big + 1, narrowOne, wideOne / narrowOne);
  // The first plot after a fresh attach, shown beside the figures, which
  // take the best of several readings.
  {
    ViewerState fresh;
    if (fresh.Attach(tmp.File("WIDE.TTR")) != AttachStatus::Attached) return 1;
    fresh.Range().density = 1;
    fresh.Range().Update();
    auto t0 = Clock::now();
    plotOne(fresh, big / 2 + 1);
    std::printf("first plot after attaching, %d steps: %.2f ms on %d variables\n", steps, Ms(Clock::now() - t0),
                big + 1);
  }

  // Six plots of display-list neighbours, reloaded in one pass.
  std::vector<std::vector<float>> six(6);
  std::vector<int> vars;
  std::vector<std::vector<float>*> into;
  for (int i = 0; i < 6; ++i) {
    vars.push_back(big / 2 + 3 * i);
    into.push_back(&six[size_t(i)]);
  }
  double sixAll = Best(rounds, [&] { ReadPlotPoints(wide.File(), wide.Layout(), wide.Range(), vars, into); });
  std::printf("reload of 6 plots in one pass: %.2f ms, 1 plot %.2f ms (%.2fx)\n", sixAll, wideOne,
              sixAll / wideOne);
  // Six variables far apart in the record: each value of each step lies
  // in a page of the file of its own.
  for (int i = 0; i < 6; ++i) vars[size_t(i)] = i * (big / 6);
  double sixFar = 0, sixFarYard = 0;
  {
    int fd = ::open(tmp.File("WIDE.TTR").c_str(), O_RDONLY);
    if (fd < 0) return 1;
    std::vector<std::pair<int64_t, int64_t>> needed = NeededRuns(wide.Layout(), PlotSteps(wide.Range()), vars);
    std::vector<uint8_t> scratch;
    // In turns, so that a change in the machine's load meets both alike.
    sixFar = sixFarYard = 1e300;
    for (int r = 0; r < rounds; ++r) {
      sixFar = std::min(sixFar, Best(1, [&] { ReadPlotPoints(wide.File(), wide.Layout(), wide.Range(), vars, into); }));
      sixFarYard = std::min(sixFarYard, Best(1, [&] { ReadPlain(fd, needed, scratch); }));
    }
    ::close(fd);
  }
  Aim("reload of 6 plots far apart in the record", sixFar, "the same blocks, a pread per run,", sixFarYard, 2.0,
      tiny);

  // Geometry of a 32767-point curve.
  TimeRange r;
  r.hi = 32767;
  r.Update();
  std::vector<double> times(32768);
  std::vector<float> values(32768);
  for (size_t i = 0; i < times.size(); ++i) {
    times[i] = 0.001 * double(i);
    values[i] = float(std::sin(0.01 * double(i)));
  }
  TimeAxis time;
  time.Scale(times.front(), times.back(), 1280);
  time.SyncOrigin(r, 0, times);
  ValueAxis value;
  value.Autoscale(values, 180);
  PlotView view{636, 180, 0, 644, false, ""};
  size_t points = 0;
  double geo = Best(rounds * 4, [&] {
    PlotPaint p = PaintPlot(view, time, value, r, times, values);
    points = p.curve.empty() ? 0 : p.curve[0].size();
  });
  std::printf("geometry of a 32767-point curve (%zu drawn): %.3f ms (limit 2 ms)\n", points, geo);

  // A save of 100 variables x 30000 steps into a new DSF, beside its
  // yardstick: the blocks each batch of variables needs from the
  // trajectory, then the store's records as the save leaves them written
  // into a new file and synced (a save is there whole once synced).
  ViewerState longer;
  if (longer.Attach(tmp.File("LONG.TTR")) != AttachStatus::Attached) return 1;
  for (int i = 0; i < 100; ++i) longer.AddToDisplayList(i);
  krv::series::SeriesStore store;
  TimeRange all = longer.Range();
  all.density = 1;
  all.Update();
  const std::vector<int32_t> saveAt = PlotSteps(all);
  std::vector<std::vector<std::pair<int64_t, int64_t>>> batchRuns;
  const size_t per = size_t(BatchSize(all));
  for (size_t first = 0; first < 100; first += per) {
    std::vector<int> batch;
    for (size_t v = first; v < std::min<size_t>(100, first + per); ++v) batch.push_back(int(v));
    batchRuns.push_back(NeededRuns(longer.Layout(), saveAt, batch));
  }
  double saveMs = 1e300, saveYard = 1e300;
  int saved = 0;
  for (int r = 0; r < rounds; ++r) {
    std::string name = tmp.File("SAVE" + std::to_string(r) + ".DSF");
    saveMs = std::min(saveMs, Best(1, [&] {
      DSFSave save(longer, store, true);
      bool missing;
      if (save.Open(name, missing) || !save.Create(name)) std::abort();
      if (save.MakeRoot("LONG") != DSFSave::RootResult::Made) std::abort();
      save.WriteSeries();
      if (!save.Finish().empty()) std::abort();
    }));
    struct stat st;
    if (::stat(name.c_str(), &st) != 0) return 1;
    std::string bytes(size_t(st.st_size), '\0');
    {
      int in = ::open(name.c_str(), O_RDONLY);
      if (in < 0 || ::pread(in, bytes.data(), bytes.size(), 0) != ssize_t(bytes.size())) return 1;
      ::close(in);
    }
    std::string yardName = tmp.File("YARD" + std::to_string(r) + ".DSF");
    saveYard = std::min(saveYard, Best(1, [&] {
      int ttr = ::open(tmp.File("LONG.TTR").c_str(), O_RDONLY);
      std::vector<uint8_t> scratch;
      for (const auto& runs : batchRuns) ReadPlain(ttr, runs, scratch);
      ::close(ttr);
      int out = ::open(yardName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out < 0 || ::pwrite(out, bytes.data(), bytes.size(), 0) != ssize_t(bytes.size()) || ::fsync(out) != 0)
        std::abort();
      ::close(out);
    }));
    saved = int(st.st_size / 128);
  }
  char what[96];
  std::snprintf(what, sizeof what, "save of 100 variables x %d steps (%d records)", saveSteps, saved);
  Aim(what, saveMs, "the same blocks read, records written and synced,", saveYard, 2.0, tiny);
  return 0;
}
