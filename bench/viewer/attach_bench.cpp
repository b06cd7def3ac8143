// Times attaching a trajectory of 11000 variables and 2000 steps, and a
// step change on it.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/bench_size.h"
#include "platform/text.h"
#include "testing/temp_dir.h"
#include "viewer/ttr_copy.h"
#include "viewer/viewer_state.h"

using namespace krv::view;
using Clock = std::chrono::steady_clock;

// The trajectory's last variable and last step (smaller in a tiny run).
static int kD = 10999;
static int32_t kJTmax = 1999;
static int kDisplayStride = 600;  // between the variables displayed
const char* const kLabel = ">12-10-2026 10: 5:29 BENCH";

static void WriteTrajectory(const std::string& dir) {
  TTRWriter w;
  if (!w.Create(dir + "/BENCH.TTR")) std::abort();
  TTRHeader h;
  h.SetMark(kMarkPacked);
  h.SetD(kD);
  h.SetJTmax(kJTmax);
  h.SetLabel(kLabel);
  w.WriteBlocks(0, h.bytes.data(), kBlockSize);
  TTRRecord rec;
  rec.values.resize(kD + 1);
  for (int32_t jt = 0; jt <= kJTmax; ++jt) {
    rec.jt = jt;
    rec.t = 0.01 * jt;
    for (int i = 0; i <= kD; ++i) rec.values[size_t(i)] = float(jt + i);
    WriteTTRRecord(w, kD, rec);
  }
  if (!w.Commit()) std::abort();

  std::ofstream vnm(dir + "/BENCH.VNM", std::ios::binary);
  vnm << kLabel << "\r\n";
  for (int i = 0; i <= kD; ++i)
    vnm << krv::platform::PadLeft(krv::platform::IntToString(i), 4) << " IO  _X.PLANT.UNIT_A["
        << i << "].LEVEL\r\n";
  vnm << "     #\r\n\x1a";
}

static double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

int main(int argc, char** argv) {
  if (krv::bench::TinyRun(argc, argv)) {
    kD = 99;
    kJTmax = 19;
    kDisplayStride = 6;
  }
  krv::testing::TempDir tmp;
  const std::string& dir = tmp.path();
  WriteTrajectory(dir);

  ViewerState viewer;
  auto t0 = Clock::now();
  if (viewer.Attach(dir + "/BENCH.TTR") != AttachStatus::Attached) return 1;
  auto t1 = Clock::now();
  for (int i = 0; i < 16; ++i) viewer.AddToDisplayList(i * kDisplayStride);

  constexpr int kSteps = 200;
  auto t2 = Clock::now();
  for (int k = 0; k < kSteps; ++k) {
    viewer.GoToTimeStep((k * 997) % (kJTmax + 1));
    for (int line = 0; line < kDisplayLines; ++line) viewer.DisplayLineText(line);
  }
  auto t3 = Clock::now();

  std::printf("attach of %d variables x %d steps: %.1f ms\n", kD + 1, kJTmax + 1, Ms(t1 - t0));
  std::printf("step change with 16 display lines: %.3f ms\n", Ms(t3 - t2) / kSteps);
  return 0;
}
