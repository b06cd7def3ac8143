// Times the plots' reading and geometry and a save as series: a plot of
// one variable on the attach benchmark's 11000-variable, 2000-step file
// beside the same on a 16-variable file; six plots reloaded in one pass
// beside one; a 32767-point curve's geometry; 100 variables x 30000 steps
// saved into a new DSF.
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

// The best of `rounds` runs of `f`, in milliseconds.
template <typename F>
static double Best(int rounds, F f) {
  double best = 1e300;
  for (int r = 0; r < rounds; ++r) {
    auto t0 = Clock::now();
    f();
    best = std::min(best, Ms(Clock::now() - t0));
  }
  return best;
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
  std::printf("plot of 1 variable, %d steps: %.2f ms on %d variables, %.2f ms on 16 (limit 2x: %.2fx)\n",
              steps, wideOne, big + 1, narrowOne, wideOne / narrowOne);
  // What the wide file's pages cost by themselves: only the block holding
  // the value, one per step, in the same batched reads, without the
  // record's number. Each such block is a page of its own there, and the
  // narrow file's plot is the yardstick above.
  {
    std::vector<uint8_t> blocks(size_t(steps) * kBlockSize);
    std::vector<TTRFile::Run> runs;
    const int64_t at = int64_t(ValueOffset(wide.Layout(), big / 2) / kBlockSize);
    for (int32_t jt = 0; jt < steps; ++jt)
      runs.push_back({wide.Layout().FirstBlock(jt) + at, 1, blocks.data() + size_t(jt) * kBlockSize});
    double alone = Best(rounds, [&] {
      if (!wide.File().ReadRuns(runs)) std::abort();
    });
    std::printf("  (the value's block alone per step, for scale: %.2f ms, %.2fx the 16-variable plot)\n", alone,
                alone / narrowOne);
  }
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
  std::printf("reload of 6 plots in one pass: %.2f ms, 1 plot %.2f ms (limit 1.5x: %.2fx)\n", sixAll,
              wideOne, sixAll / wideOne);
  // Six variables far apart in the record: each value of each step lies
  // in a page of the file of its own.
  for (int i = 0; i < 6; ++i) vars[size_t(i)] = i * (big / 6);
  double sixFar = Best(rounds, [&] { ReadPlotPoints(wide.File(), wide.Layout(), wide.Range(), vars, into); });
  std::printf("reload of 6 plots far apart in the record: %.2f ms, 1 plot %.2f ms (limit 1.5x: %.2fx)\n",
              sixFar, wideOne, sixFar / wideOne);

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

  // A save of 100 variables x 30000 steps into a new DSF.
  ViewerState longer;
  if (longer.Attach(tmp.File("LONG.TTR")) != AttachStatus::Attached) return 1;
  for (int i = 0; i < 100; ++i) longer.AddToDisplayList(i);
  krv::series::SeriesStore store;
  auto t0 = Clock::now();
  {
    DSFSave save(longer, store, true);
    bool missing;
    if (save.Open(tmp.File("SAVE.DSF"), missing) || !save.Create(tmp.File("SAVE.DSF"))) return 1;
    if (save.MakeRoot("LONG") != DSFSave::RootResult::Made) return 1;
    save.WriteSeries();
    if (!save.Finish().empty()) return 1;
  }
  double saveMs = Ms(Clock::now() - t0);
  std::printf("save of 100 variables x %d steps: %.1f ms (limit 1000 ms)\n", saveSteps, saveMs);
  return 0;
}
