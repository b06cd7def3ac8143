// Benchmark: pass 1 with the .GTY writer, and the whole run beside it, on a
// generated model source of about 10 MB; prints the throughputs in MB/s.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "bench/bench_size.h"
#include "platform/text.h"
#include "preprocessor/PPU1.h"
#include "preprocessor/program_start.h"
#include "testing/temp_dir.h"

using krv::platform::IntToString;

// A type part of `types` records followed by equation procedures up to
// about `bytes` bytes of source.
static std::string GenerateModel(size_t types, size_t bytes) {
  std::string s = "{ generated benchmark model }\r\nXVTYPE\r\n";
  for (size_t t = 0; t < types; ++t) {
    std::string n = IntToString((long long)(t));
    s += "  T" + n + " = RECORD\r\n    LEVEL, INFLOW, OUTFLOW : XVR;\r\n    HIST : ARRAY [1..4] OF XVR;\r\n";
    if (t > 0) s += "    PREV : T" + IntToString((long long)(t - 1)) + ";\r\n";
    s += "  END;\r\n";
  }
  // Equation procedures first (each keeps its names for the run), then
  // plain Pascal, which passes through unchanged.
  for (size_t p = 0; s.size() < bytes; ++p) {
    std::string n = IntToString((long long)(p));
    if (p >= 500) {
      s += "PROCEDURE HELPER" + n + "(X: DOUBLE; VAR Y: DOUBLE);\r\n{ helper " + n +
           " }\r\nBEGIN\r\n  Y := X * 1.5E-3 + (X / 7.25) - $1F;\r\n"
           "  IF Y <> 0 THEN Y := Y + LENGTH('x''y')\r\nEND;\r\n";
      continue;
    }
    s += "XPROC FLOW" + n + "(VARIN A: T1; VAROT B: XVR);\r\n{ outflow of tank " + n +
         " }\r\nVAR W: DOUBLE;\r\nBEGIN\r\n  W := A.LEVEL * 1.5E-3 + A.INFLOW - (A.HIST[2] / 7.25);\r\n"
         "  IF A.OUTFLOW <> 0 THEN W := W + LENGTH('x''y');\r\n  B := W\r\nEND;\r\n";
  }
  return s + "MPROC SYSTEM;\r\nVAR A: T1;\r\n  B: XVR;\r\nBEGIN\r\n  FLOW0(A, B);\r\nEND;\r\n";
}

// Notes the time pass 2 announces itself: pass 1 and the .GTY are done.
class PassTwoClock : public krv::pp::LogView {
 public:
  void LineAdded(const std::string& text) override {
    if (text == "continuing...") at = std::chrono::steady_clock::now();
  }
  void LineReplaced(size_t, const std::string& text) override { LineAdded(text); }
  void FirstLineRemoved() override {}
  std::chrono::steady_clock::time_point at;
};

static void Print(const char* what, size_t bytes, double seconds) {
  double mb = double(bytes) / (1024.0 * 1024.0);
  std::printf("%s on %s bytes: %s ms, %s MB/s\n", what, IntToString((long long)(bytes)).c_str(),
              IntToString((long long)(seconds * 1000.0)).c_str(), IntToString((long long)(mb / seconds)).c_str());
}

int main(int argc, char** argv) {
  const bool tiny = krv::bench::TinyRun(argc, argv);
  krv::testing::TempDir dir;
  krv::testing::ScopedCwd inDir(dir.path());
  std::string model = tiny ? GenerateModel(4, 4u << 10) : GenerateModel(400, 10u << 20);
  std::FILE* f = std::fopen("BENCH.QTL", "wb");
  if (!f) return 1;
  std::fwrite(model.data(), 1, model.size(), f);
  std::fclose(f);
  double best = 1e9, bestPass1 = 1e9;
  for (int round = 0; round < (tiny ? 1 : 3); ++round) {
    krv::pp::LogWriter log;
    PassTwoClock clock;
    log.SetView(&clock);
    krv::pp::Preprocessor pp(log);
    auto t0 = std::chrono::steady_clock::now();
    krv::pp::HandleCommandLine(pp, {"BENCH"});
    auto t1 = std::chrono::steady_clock::now();
    if (log.Lines().back().rfind("  ---FINISHED", 0) != 0) {
      std::printf("run did not complete: %s\n", log.Lines().back().c_str());
      return 1;
    }
    best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
    bestPass1 = std::min(bestPass1, std::chrono::duration<double>(clock.at - t0).count());
    log.SetView(nullptr);
  }
  // The pass-1 figure also holds reading TMPQTL.TMP back for pass 2.
  Print("pass 1 and .GTY", model.size(), bestPass1);
  Print("pass 1, .GTY, pass 2 and .VNM", model.size(), best);
  return 0;
}
