// End to end: the trajectory that a compiled solver wrote attaches with
// its variable map and shows the values the solver computed.
#include <gtest/gtest.h>

#include "platform/user_prompts.h"
#include "viewer/PlotU.h"
#include "viewer/viewer_state.h"

#if KRV_HAVE_RUNTIME
#include <filesystem>
#include <fstream>
#include <sstream>

#include "preprocessor/log_writer.h"
#include "runtime/tests/prb_writer.h"
#include "runtime/tests/solver_harness.h"
#include "runtime/tests/test_models.h"
#include "sequencer/SEQCU1.h"

namespace krv::view {
namespace {

// Index of the variable named `name` in the attached map, or -1.
int Find(const ViewerState& v, const std::string& name) {
  for (size_t i = 0; i < v.Entries().size(); ++i)
    if (v.Entries()[i].name == name) return int(i);
  return -1;
}

// At every step the viewer shows the solver's values, and the names fit
// them: each outflow `q` j is K times the level of tank j.
void ExpectSolvedSteps(ViewerState& v, const rt::Outcome& out, int tanks, const std::string& q,
                       double k) {
  ASSERT_EQ(v.JTmax(), out.ttr.jtmax);
  ASSERT_GT(v.JTmax(), 2);
  for (int32_t jt = 0; jt <= v.JTmax(); ++jt) {
    ASSERT_TRUE(v.GoToTimeStep(jt));
    EXPECT_DOUBLE_EQ(v.CurrentT(), out.ttr.records[size_t(jt)].t);
    EXPECT_EQ(v.CurrentValues(), out.ttr.records[size_t(jt)].values) << jt;
    for (int j = 1; j <= tanks; ++j) {
      int qj = Find(v, q + "[" + std::to_string(j) + "]");
      int level = Find(v, "_X.T[" + std::to_string(j) + "].LEVEL");
      ASSERT_GE(qj, 0);
      ASSERT_GE(level, 0);
      EXPECT_NEAR(v.CurrentValues()[size_t(qj)], k * v.CurrentValues()[size_t(level)], 1e-5);
    }
  }
}

// The tanks solved, their map beside the trajectory.
rt::Outcome SolveTanks(const rt::TestModel& m, const rt::ProblemDir& dir) {
  rt::Outcome out = rt::Solve(dir, rt::ProblemFile(m, m.vars, rt::Ordering::kHelper));
  EXPECT_TRUE(out.has_ttr) << out.run.output;
  dir.Write(m.name + ".VNM", m.Vnm());
  return out;
}

TEST(SolverTrajectoryTest, TanksTrajectoryShowsTheSolvedValues) {
  rt::TestModel m = rt::TanksModel();
  const rt::ProblemDir& dir = rt::Compiled(m);
  rt::Outcome out = SolveTanks(m, dir);

  platform::ScriptedPrompts prompts;
  ViewerState v;
  ASSERT_EQ(v.Attach(dir.dir().File(m.name + ".TTR")), AttachStatus::Attached);
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_EQ(v.VNMBase(), "TANKS");
  ExpectSolvedSteps(v, out, 3, "_X.Q", rt::kTankK);
  // The feed is an input: "I*", its X in of 1 at every step.
  v.AddToDisplayList(0);
  EXPECT_EQ(v.DisplayLineText(0), "   0 I*  1.000000E+00 _X.Q[0]");
}

// The shipped example TANKS, from its source through Foreparse, Sequist,
// Free Pascal and its solver: the map Foreparse wrote names the values.
TEST(SolverTrajectoryTest, ExampleTanksFromSourceShowsTheSolvedValues) {
  std::ifstream in(std::filesystem::path(KRV_SOURCE_DIR) / "examples/TANKS.QTL", std::ios::binary);
  std::ostringstream qtl;
  qtl << in.rdbuf();
  ASSERT_FALSE(qtl.str().empty());
  rt::ProblemDir dir("TANKS");
  dir.Write("TANKS.QTL", qtl.str());
  std::string log;
  dir.Preprocess(&log);
  ASSERT_NE(log.find("  ---FINISHED"), std::string::npos) << log;
  std::string prb;
  pp::LogWriter seqlog;
  ASSERT_TRUE(seq::SequenceMap(dir.Read("TANKS.VNM"), prb, seqlog)) << seqlog.Text();
  rt::SetValueBlock(prb, 0, {"", "", 1.0});  // the feed
  dir.WriteProgram();
  std::string compileLog;
  ASSERT_TRUE(dir.Compile(&compileLog)) << compileLog;
  rt::Outcome out = rt::Solve(dir, prb);
  ASSERT_TRUE(out.has_ttr) << out.run.output;

  platform::ScriptedPrompts prompts;
  ViewerState v;
  ASSERT_EQ(v.Attach(dir.dir().File("TANKS.TTR")), AttachStatus::Attached);
  EXPECT_TRUE(prompts.messages.empty());
  ExpectSolvedSteps(v, out, 4, "_X.F.Q", 0.5);  // KOUT of the example
  v.AddToDisplayList(0);
  EXPECT_EQ(v.DisplayLineText(0), "   0 I*  1.000000E+00 _X.F.Q[0]");
}

// The solver runs again while Plotvane shows its last trajectory: every step
// and every plot of the trajectory shown reads whole, without a message,
// and "ReAttach TTR" then shows the new run.
TEST(SolverTrajectoryTest, ARerunLeavesTheShownTrajectoryWholeUntilReAttach) {
  rt::TestModel m = rt::TanksModel();
  const rt::ProblemDir& dir = rt::Compiled(m);
  rt::Outcome first = SolveTanks(m, dir);

  platform::ScriptedPrompts prompts;
  ViewerState v;
  ASSERT_EQ(v.Attach(dir.dir().File(m.name + ".TTR")), AttachStatus::Attached);
  std::vector<rt::PrbVar> vars = m.vars;
  vars[0].xin = 2.0;  // another feed: every record differs
  dir.Write(m.name + ".PRB", rt::ProblemFile(m, vars, rt::Ordering::kHelper));
  rt::RunResult again = dir.Run();
  ASSERT_EQ(again.status, 0) << again.output;

  ExpectSolvedSteps(v, first, 3, "_X.Q", rt::kTankK);
  std::vector<float> feed, level;
  ASSERT_TRUE(ReadPlotPoints(v.File(), v.Layout(), v.Range(), {0, 4}, {&feed, &level}));
  const std::vector<int32_t> steps = PlotSteps(v.Range());
  ASSERT_EQ(feed.size(), steps.size());
  for (size_t k = 0; k < steps.size(); ++k) {
    EXPECT_EQ(feed[k], first.ttr.records[size_t(steps[k])].values[0]);
    EXPECT_EQ(level[k], first.ttr.records[size_t(steps[k])].values[4]);
  }
  EXPECT_TRUE(prompts.messages.empty());

  rt::Trajectory second;
  ASSERT_TRUE(rt::ReadTrajectory(dir.dir().File(m.name + ".TTR"), second));
  ASSERT_TRUE(v.ReAttach());
  rt::Outcome now;
  now.ttr = second;
  ExpectSolvedSteps(v, now, 3, "_X.Q", rt::kTankK);
  EXPECT_FLOAT_EQ(v.CurrentValues()[0], 2.0f);
  EXPECT_TRUE(prompts.messages.empty());
}

}  // namespace
}  // namespace krv::view

#else

TEST(SolverTrajectoryTest, TanksTrajectoryShowsTheSolvedValues) {
  GTEST_SKIP() << "the solver runtime is not built here (no fpc)";
}

TEST(SolverTrajectoryTest, ExampleTanksFromSourceShowsTheSolvedValues) {
  GTEST_SKIP() << "the solver runtime is not built here (no fpc)";
}

TEST(SolverTrajectoryTest, ARerunLeavesTheShownTrajectoryWholeUntilReAttach) {
  GTEST_SKIP() << "the solver runtime is not built here (no fpc)";
}

#endif
