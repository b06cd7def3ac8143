// Helmsman's solver start on a real compiled model: NAME.LOG and the
// output Helmsman shows end with a line that says how the run ended.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "guide/program_starts.h"
#include "guide/tests/console_capture.h"
#include "platform/user_prompts.h"
#include "runtime/tests/test_models.h"
#include "testing/program.h"
#include "testing/temp_dir.h"

namespace krv::rt {
namespace {

std::string LastLine(std::string text) {
  if (!text.empty() && text.back() == '\n') text.pop_back();
  size_t nl = text.rfind('\n');
  return nl == std::string::npos ? text : text.substr(nl + 1);
}

TEST(SolverStartLog, LastLineTellsHowTheRunEnded) {
  TestModel m = TroubleModel();
  const ProblemDir& dir = Compiled(m);
  testing::ScopedCwd cwd(dir.dir().path());
  std::remove((m.name + ".LOG").c_str());
  platform::ScriptedPrompts prompts;
  guide::ShellState s;
  s.ProblemName = m.name;
  // SEL picks the outcome: 2 converges, 3 has no time axis, 1 turns singular.
  struct Case {
    double sel;
    int status;
  } cases[] = {{2, 0}, {3, 1}, {1, 2}};
  size_t runs = 0;
  guide::testing::CapturingConsole console;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    std::vector<PrbVar> vars = m.vars;
    vars[0].xin = c.sel;
    dir.Write(m.name + ".PRB", ProblemFile(m, vars, Ordering::kHelper));
    guide::StartSolver(s, "", console);
    ++runs;
    std::string log;
    krv::testing::WaitUntil(
        [&] {
          log = dir.Has(m.name + ".LOG") ? dir.Read(m.name + ".LOG") : "";
          size_t ended = 0;
          for (size_t at = log.find("Solver ended"); at != std::string::npos;
               at = log.find("Solver ended", at + 1))
            ++ended;
          return ended >= runs && !log.empty() && log.back() == '\n';
        },
        std::chrono::seconds(60), "the solver's end in " + m.name + ".LOG");
    EXPECT_EQ(LastLine(log), guide::SolverEndLine(c.status)) << log;
    // Helmsman's window shows the same last line.
    EXPECT_EQ(LastLine(console.outputs.back()), guide::SolverEndLine(c.status));
  }
  EXPECT_TRUE(prompts.messages.empty());
}

}  // namespace
}  // namespace krv::rt
