// A whole Foreparse run on a model in a temporary directory, for the tests.
#pragma once

#include <string>
#include <vector>

#include "preprocessor/PPU1.h"
#include "preprocessor/log_writer.h"
#include "preprocessor/program_start.h"
#include "testing/temp_dir.h"

namespace krv::pp::test {

struct RunFixture {
  RunFixture() : cwd(dir.path()) {}

  // Writes the model "m.QTL" (or `name`) and runs it as from the command line.
  void Run(const std::string& source, std::vector<std::string> args = {"m"},
           const std::string& file = "m.QTL") {
    dir.Write(file, source);
    HandleCommandLine(pp, args);
  }
  // The log after its first line ("LogMemo") and the heap figure.
  std::vector<std::string> Log() const {
    const auto& l = log.Lines();
    return l.size() > 2 ? std::vector<std::string>(l.begin() + 2, l.end())
                        : std::vector<std::string>();
  }
  // The log lines between the banner and the run's last line, without the
  // progress lines.
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    auto l = Log();
    for (size_t i = 1; i + 1 < l.size(); ++i) {
      const std::string& m = l[i];
      bool progress = m.rfind("Finished ", 0) == 0 || m == "continuing..." ||
                      m.find(" variables of type XVR") != std::string::npos;
      if (!progress) out.push_back(m);
    }
    return out;
  }
  bool Finished() const { return LastLine().rfind("  ---FINISHED", 0) == 0; }
  std::string LastLine() const { return log.Lines().back(); }

  krv::testing::TempDir dir;
  krv::testing::ScopedCwd cwd;
  LogWriter log;
  Preprocessor pp{log};
};

// The smallest model: one equation procedure called by SYSTEM.
inline const std::string kTinyXproc =
    "XPROC P(VARIN A: XVR; VAROT B: XVR);\r\nBEGIN\r\n  B := A;\r\nEND;\r\n"
    "MPROC SYSTEM;\r\nVAR A, B: XVR;\r\nBEGIN\r\n  P(A, B);\r\nEND;\r\n";
inline const std::string kTinyXprocOut =
    "\r\nPROCEDURE P(VAR A: XVR;VAR B: XVR);\r\nBEGIN\r\nIF _BS OR A.D THEN BEGIN\r\n  B.O := A.I;\r\nEND;\r\nEND;"
    "\r\nPROCEDURE SYSTEMMC(VAR _X:_SYSTEM);\r\nBEGIN\r\n  P(_X.A, _X.B);\r\nEND;\r\n";
// An empty SYSTEM, for sources that test something else.
inline const std::string kEmptySystem = "MPROC SYSTEM;\r\nBEGIN\r\nEND;\r\n";

}  // namespace krv::pp::test
