// Benchmark: a whole Foreparse run on a generated model of about 10,000
// variables (MPROC instances in an MFOR loop), beside the time Free Pascal
// takes to compile its output through the user unit.
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/bench_size.h"
#include "platform/text.h"
#include "preprocessor/PPU1.h"
#include "preprocessor/program_start.h"
#include "testing/temp_dir.h"

using krv::platform::IntToString;

static std::string Model(int tanks) {
  std::string n = IntToString(tanks);
  return "{ generated: a chain of " + n + " tanks }\r\n"
         "XPROC OUTFLOW(VARIN H: XVR; VAROT Q: XVR);\r\nBEGIN\r\n  Q := 0.5 * H\r\nEND;\r\n"
         "XPROC NETFLOW(VARIN QI, QO: XVR; VAROT D: XVR);\r\nBEGIN\r\n  D := QI - QO\r\nEND;\r\n"
         "MPROC TANK(M: MODID; VAR QIN: XVR; VAR QOUT: XVR);\r\nVAR LEVEL, DLEVEL: XVR;\r\nBEGIN\r\n"
         "  OUTFLOW(LEVEL, QOUT);\r\n  NETFLOW(QIN, QOUT, DLEVEL);\r\n  QTLINTEG(LEVEL, DLEVEL);\r\nEND;\r\n"
         "MPROC SYSTEM;\r\nVAR Q: ARRAY[0.." + n + "] OF XVR;\r\n  _J: INTEGER;\r\nBEGIN\r\n"
         "  MFOR _J := 1 TO " + n + " DO\r\n    TANK('T', Q[_J-1], Q[_J]);\r\nEND;\r\n"
         "PROCEDURE REPORT; BEGIN END;\r\nPROCEDURE SETUP; BEGIN END;\r\nPROCEDURE TIMESET; BEGIN END;\r\n"
         "PROCEDURE PARSET; BEGIN END;\r\nPROCEDURE ADDSET; BEGIN END;\r\nPROCEDURE USERBPR; BEGIN END;\r\n";
}

static const char* kUserUnit =
    "UNIT KRVUSER;\r\n{$MODE Delphi}\r\n INTERFACE\r\n   USES KRVPROCS;\r\n   {$PACKRECORDS 1}\r\n"
    "PROCEDURE SYSTEMM(T2T:BOOLEAN);\r\nPROCEDURE REPORT;\r\nPROCEDURE SETUP;\r\nPROCEDURE TIMESET;\r\n"
    "PROCEDURE PARSET;\r\nPROCEDURE ADDSET;\r\nPROCEDURE USERBPR;\r\nIMPLEMENTATION\r\n  USES DPARPROC;\r\n"
    "TYPE\r\n{$I BIG.GTY }\r\nVAR _X:_SYSTEM ABSOLUTE _Y;\r\nVAR _X2T:_SYSTEM ABSOLUTE _Y2T;\r\n{$I BIG.PSY }\r\n"
    "procedure SYSTEMM(T2T:BOOLEAN);\r\nbegin\r\n   IF T2T THEN SYSTEMMC(_X2T) ELSE SYSTEMMC(_X);\r\nend;\r\n"
    "INITIALIZATION\r\n   _CMPLABEL:=_UCMPLABEL;\r\nend.\r\n";

static void Write(const char* name, const std::string& text) {
  std::FILE* f = std::fopen(name, "wb");
  if (!f) return;
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

static double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

static std::string Ms(double s) { return IntToString((long long)(s * 1000.0)); }

int main(int argc, char** argv) {
  const bool tiny = krv::bench::TinyRun(argc, argv);
  // The directory and all the run leaves in it go when the benchmark ends.
  krv::testing::TempDir dir;
  krv::testing::ScopedCwd inDir(dir.path());
  // Two variables a tank and the chain's links Q[0..n]: 3333 tanks give
  // 10,000 variables.
  Write("BIG.QTL", Model(tiny ? 3 : 3333));
  // Best of three runs, for Foreparse and for the compiler alike.
  const int rounds = tiny ? 1 : 3;
  double run = 1e9;
  std::string vars;
  for (int round = 0; round < rounds; ++round) {
    krv::pp::LogWriter log;
    krv::pp::Preprocessor pp(log);
    auto t0 = std::chrono::steady_clock::now();
    krv::pp::HandleCommandLine(pp, {"BIG"});
    auto t1 = std::chrono::steady_clock::now();
    if (log.Lines().back().rfind("  ---FINISHED", 0) != 0) {
      std::printf("run did not finish: %s\n", log.Lines().back().c_str());
      return 1;
    }
    const std::string& line = log.Lines()[log.Lines().size() - 2];
    vars = line.substr(line.find_first_not_of('.'));
    run = std::min(run, Seconds(t0, t1));
  }
  std::printf("Foreparse run (%s): %s ms\n", vars.c_str() + 1, Ms(run).c_str());
  std::string units = std::string(KRV_BIN_PARENT) + "/runtime/units";
  if (!std::filesystem::exists(units + "/KRVPROCS.ppu")) {
    std::printf("fpc compile: runtime units not built, skipped\n");
    return 0;
  }
  Write("KRVUSER.PAS", kUserUnit);
  std::string cmd = "fpc -Fu" + units + " KRVUSER.PAS > fpc.log 2>&1";
  double compile = 1e9;
  bool ok = true;
  for (int round = 0; round < rounds && ok; ++round) {
    auto t2 = std::chrono::steady_clock::now();
    int rc = std::system(cmd.c_str());
    auto t3 = std::chrono::steady_clock::now();
    ok = WIFEXITED(rc) && WEXITSTATUS(rc) == 0;
    compile = std::min(compile, Seconds(t2, t3));
  }
  std::printf("fpc compile of its output: %s ms%s; Foreparse takes %s%% of it\n", Ms(compile).c_str(),
              ok ? "" : " (compile FAILED, see fpc.log)", IntToString((long long)(100.0 * run / compile)).c_str());
  return ok ? 0 : 1;
}
