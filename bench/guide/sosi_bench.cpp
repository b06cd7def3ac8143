// Times "Cvt SOSI" on 10,000 and 20,000 generated equations (three inputs
// each, one power) and on one 200-operation expression, beside the bytes of
// the same files merely read and written.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "guide/sosi_generator.h"
#include "platform/byte_io.h"
#include "platform/file_resolver.h"
#include "platform/user_prompts.h"
#include "testing/temp_dir.h"

using Clock = std::chrono::steady_clock;
using namespace krv;

namespace {

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string Equations(int n) {
  std::string s = "PARAMETERS\r\n  K = 0.5;\r\nEQUATIONS\r\n";
  for (int i = 0; i < n; ++i) {
    const std::string k = std::to_string(i);
    s += "Y" + k + " = K*A" + k + "^2 + B" + std::to_string(i / 2) + "/C" + std::to_string(i % 97) + ";\r\n";
  }
  return s + "END\r\n";
}

std::string LongExpression() {
  // 100 powers, 99 additions and one negation: 200 operations.
  std::string s = "PARAMETERS\r\nEQUATIONS\r\nY = -X0^2";
  for (int i = 1; i < 100; ++i) s += " + X" + std::to_string(i) + "^2";
  return s + ";\r\nEND\r\n";
}

struct Figure {
  double convert = 0, copy = 0;
};

// Best of `runs`: the conversion, and reading plus writing the same bytes.
Figure Time(const testing::TempDir& dir, const std::string& so, int runs) {
  dir.Write("B.SO", so);
  Figure best{1e30, 1e30};
  for (int r = 0; r < runs; ++r) {
    platform::DeleteFile(dir.File("B.QTL"));
    auto t0 = Clock::now();
    if (guide::ConvertSosi(dir.File("B")).outcome != guide::SosiConversion::kDone) std::abort();
    best.convert = std::min(best.convert, Seconds(t0));
    std::string qtl, bytes;
    platform::ReadFileBytes(dir.File("B.QTL"), qtl);
    t0 = Clock::now();
    if (!platform::ReadFileBytes(dir.File("B.SO"), bytes) ||
        !platform::WriteFileAtomic(dir.File("C.QTL"), qtl))
      std::abort();
    best.copy = std::min(best.copy, Seconds(t0));
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  // "--tiny" (or a count) on the command line runs a quick check at that size.
  const bool tiny = argc > 1 && std::strcmp(argv[1], "--tiny") == 0;
  const int n = tiny ? 50 : argc > 1 ? std::atoi(argv[1]) : 10000;
  const int runs = argc > 1 ? 1 : 5;
  if (n <= 0) return 2;
  platform::ScriptedPrompts quiet;  // answers "Finished" and nothing else
  testing::TempDir dir;

  Figure one = Time(dir, Equations(n), runs);
  Figure two = Time(dir, Equations(2 * n), runs);
  std::printf("ConvertSosi, %d equations: %.0f equations/s (%.3f s); reading and writing the "
              "same bytes: %.3f s\n",
              n, n / one.convert, one.convert, one.copy);
  std::printf("ConvertSosi, %d equations: %.3f s, %.2f times the time of %d (at most 2.2)\n",
              2 * n, two.convert, two.convert / one.convert, n);
  Figure expr = Time(dir, LongExpression(), runs);
  std::printf("ConvertSosi, one 200-operation expression: %.0f equations/s (%.6f s); reading and "
              "writing the same bytes: %.6f s\n",
              1 / expr.convert, expr.convert, expr.copy);
  return 0;
}
