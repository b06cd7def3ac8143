// Compiled solvers on hand-made problems: trajectories, fixing pairs, torn loops, user procedures, failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <unistd.h>

#include "runtime/tests/prb_writer.h"
#include "runtime/tests/solver_harness.h"
#include "runtime/tests/test_models.h"

namespace krv::rt {
namespace {

// Every case runs on problem files ordered by the test helper and by the
// sequencer itself.
class SolverRun : public ::testing::TestWithParam<Ordering> {
 protected:
  std::string Problem(const TestModel& m, const std::vector<PrbVar>& vars) const {
    return ProblemFile(m, vars, GetParam());
  }
};

// Every byte but the X out fields is as before.
void ExpectOnlyXOutChanged(const std::string& before, const std::string& after, int count) {
  ASSERT_EQ(before.size(), after.size());
  std::string a = before, b = after;
  for (int k = 0; k < count; ++k) {
    size_t at = ValueBlockOffset(a, k) + 17;
    std::memset(a.data() + at, 0, 8);
    std::memset(b.data() + at, 0, 8);
  }
  EXPECT_EQ(a, b);
}

TEST_P(SolverRun, TanksFollowImplicitEulerThroughTheTornBlocks) {
  TestModel m = TanksModel();
  const ProblemDir& dir = Compiled(m);
  std::string prb = Problem(m, m.vars);
  Outcome o = Solve(dir, prb);
  ASSERT_EQ(o.run.status, 0) << o.run.output;
  ASSERT_TRUE(o.has_ttr);

  ExpectTanksTrajectory(o, m.label);
  ExpectOnlyXOutChanged(prb, o.prb_after, 10);
}

// The finite differences set the perturbed columns' change flags with _BS
// off, so an equation runs only when a perturbation reaches it: OUTFLOW of
// each tank runs once per run of the whole model and once per Jacobian (when
// its LEVEL is perturbed), not once per column group.
TEST_P(SolverRun, JacobianRunsOnlyTheEquationsAPerturbationReaches) {
  TestModel m = TanksModel();
  m.name = "TANKRUNS";
  m.label = ">12-10-2026  9:30:15 TANKRUNS";
  auto replace = [&](const std::string& from, const std::string& to) {
    ASSERT_NE(m.psy.find(from), std::string::npos) << from;
    m.psy.replace(m.psy.find(from), from.size(), to);
  };
  replace("  Q.O:=K*L.I;", "  Q.O:=K*L.I; INC(OUTFLOWRUNS);");
  replace("procedure USERBPR;\r\nbegin\r\n",
          "procedure USERBPR;\r\nbegin\r\n  WRITELN('OUTFLOW RUNS ', OUTFLOWRUNS);\r\n");
  m.psy = "VAR OUTFLOWRUNS: LONGINT;\r\n" + m.psy;
  const ProblemDir& dir = Compiled(m);
  Outcome o = Solve(dir, Problem(m, m.vars));
  ASSERT_EQ(o.run.status, 0) << o.run.output;
  long runs = 0, full = 0, jacobians = 0, groups = 0;
  ASSERT_EQ(std::sscanf(o.run.output.c_str() + o.run.output.find("OUTFLOW RUNS"), "OUTFLOW RUNS %ld", &runs), 1);
  const size_t at = o.run.output.find("; ", o.run.output.find("Finished:"));
  ASSERT_EQ(std::sscanf(o.run.output.c_str() + at,
                        "; %ld runs of the whole model, %ld Jacobians of %ld column groups", &full,
                        &jacobians, &groups),
            3)
      << o.run.output;
  EXPECT_GT(groups, 1);
  EXPECT_GT(jacobians, 0);
  EXPECT_EQ(runs, 3 * (full + jacobians));
}

// The runs of the whole model and the Jacobians of a finished run.
struct Work {
  long full = -1, jacobians = -1;
};
Work WorkDone(const std::string& output) {
  Work w;
  const size_t finished = output.find("Finished:");
  if (finished != std::string::npos)
    std::sscanf(output.c_str() + output.find("; ", finished),
                "; %ld runs of the whole model, %ld Jacobians", &w.full, &w.jacobians);
  return w;
}

// On a linear model the Jacobian and its factors serve from step to step:
// one fresh Jacobian for the first step (no time passes in it), one when
// the time step comes in, and then a step runs the model at its start and
// after each solve with the kept factors, once or, when the finite
// differences leave the residual just above the tolerance, twice.
TEST_P(SolverRun, LinearModelRunsTwiceOrThriceAStepOnAKeptJacobian) {
  TestModel m = TanksModel(20, 50, 0.5);
  m.name = "TANKLIN";
  m.label = ">12-10-2026  9:31:15 TANKLIN";
  const ProblemDir& dir = Compiled(m);
  Outcome o = Solve(dir, Problem(m, m.vars));
  ASSERT_EQ(o.run.status, 0) << o.run.output;
  const long steps = long(o.ttr.records.size());
  ASSERT_EQ(steps, 101);
  const Work w = WorkDone(o.run.output);
  EXPECT_EQ(w.jacobians, 2) << o.run.output;
  EXPECT_GE(w.full, steps);
  EXPECT_LE(w.full, 3 * steps) << o.run.output;
}

// A kept Jacobian that no longer fits is refreshed: when the gain jumps,
// a chord step either makes things worse (undone, then Newton) or gains
// too little (kept, then Newton); either way the run converges to the new
// solution and takes just the one more Jacobian.
TEST_P(SolverRun, SharpChangeOfTheJacobianRefreshesIt) {
  struct Case {
    const char* what;
    double gain;
  };
  const Case cases[] = {{"chord step diverges", 1000.0}, {"chord step too slow", 1.5}, {"gain falls", 0.01}};
  TestModel m = SharpModel();
  const ProblemDir& dir = Compiled(m);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<PrbVar> vars = m.vars;
    vars[0].xin = c.gain;
    Outcome o = Solve(dir, Problem(m, vars));
    ASSERT_EQ(o.run.status, 0) << o.run.output;
    ASSERT_EQ(o.ttr.records.size(), 9u);
    for (const auto& rec : o.ttr.records) {
      const double u = rec.t < 1 ? 4.0 : 4.0 / c.gain;
      EXPECT_NEAR(rec.values[1], u, 1e-6 * u) << rec.t;
    }
    EXPECT_EQ(WorkDone(o.run.output).jacobians, 2) << o.run.output;
  }
}

TEST_P(SolverRun, FixingPairsRangeAndPositivity) {
  struct Case {
    const char* what;
    double u_in;
    char u_constraint;
    float small_range;
    double u, small_u;
  };
  // Y = U^2 + U = 2 has the roots 1 and -2; Newton from -0.6 reaches -2, and
  // from the constrained start 0 reaches 1. SMALLY = 1E-12 SMALLU = 3E-12 is
  // solved only when SMALLY's Range tells the solver its size: without it,
  // from a start where all else holds, its residual is already negligible.
  const Case cases[] = {
      {"unconstrained", -0.6, 'U', 1e-12f, -2.0, 3.0},
      {"positive", -0.6, 'P', 1e-12f, 1.0, 3.0},
      {"no range", 1.0, 'U', 0.0f, 1.0, 0.0},
  };
  TestModel m = FixLoopModel();
  const ProblemDir& dir = Compiled(m);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<PrbVar> vars = m.vars;
    vars[0].xin = c.u_in;
    vars[0].constraint = c.u_constraint;
    vars[6].range = c.small_range;
    if (c.small_range == 0.0f) {
      vars[2].xin = 10.0 / 7;
      vars[3].xin = 24.0 / 7;
      vars[4].xin = 6.0 / 7;
    }
    Outcome o = Solve(dir, Problem(m, vars));
    ASSERT_EQ(o.run.status, 0) << o.run.output;
    EXPECT_NEAR(XOutAt(o.prb_after, 0), c.u, 1e-7);
    EXPECT_NEAR(XOutAt(o.prb_after, 1), 2.0, 1e-7);
    EXPECT_NEAR(XOutAt(o.prb_after, 5), c.small_u, 1e-6);
    // The loop A = 0.5 C + 1, B = A + 2, C = 0.25 B.
    EXPECT_NEAR(XOutAt(o.prb_after, 2), 10.0 / 7, 1e-8);
    EXPECT_NEAR(XOutAt(o.prb_after, 3), 24.0 / 7, 1e-8);
    EXPECT_NEAR(XOutAt(o.prb_after, 4), 6.0 / 7, 1e-8);
    ASSERT_EQ(o.ttr.records.size(), 1u);  // TEND = TSTART: one record
    EXPECT_NEAR(o.ttr.records[0].values[0], c.u, 1e-6);
  }
}

TEST_P(SolverRun, UserProceduresAndDerivative) {
  TestModel m = DerivModel();
  const ProblemDir& dir = Compiled(m);
  Outcome o = Solve(dir, Problem(m, m.vars));
  ASSERT_EQ(o.run.status, 0) << o.run.output;
  // PARSET, SETUP and TIMESET once at the start, ADDSET before and REPORT
  // after every step, USERBPR at the end.
  const char* order[] = {"PARSET 0", "SETUP 0", "TIMESET 0", "ADDSET 0", "REPORT 0", "ADDSET 1",
                         "REPORT 1", "ADDSET 4", "REPORT 4", "USERBPR 4"};
  size_t at = 0;
  for (const char* line : order) {
    size_t found = o.run.output.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << " missing or out of order in\n" << o.run.output;
    at = found;
  }
  ASSERT_EQ(o.ttr.records.size(), 5u);
  double previous_y = 0;
  for (const TtrRecord& rec : o.ttr.records) {
    SCOPED_TRACE("record " + std::to_string(rec.jt));
    const double t = 1 + 0.25 * rec.jt, y = 4 * t * t;
    EXPECT_NEAR(rec.values[0], 2 * t, 1e-6);
    EXPECT_NEAR(rec.values[1], y, 1e-5);
    EXPECT_NEAR(rec.values[2], rec.jt == 0 ? 0.0 : (y - previous_y) / 0.25, 1e-4);
    previous_y = y;
  }
}

// A problem file saved by an editor during the run keeps the edits and gets
// X out; one whose layout changed is left alone, the trajectory kept.
TEST_P(SolverRun, ProblemFileEditedDuringTheRun) {
  TestModel m = DerivModel();
  const ProblemDir& dir = Compiled(m);
  std::vector<PrbVar> edited_vars = m.vars;
  edited_vars[0].xin = 42.0;
  const std::string edited = Problem(m, edited_vars);
  dir.Write("EDITED.PRB", edited);
  Outcome o = Solve(dir, Problem(m, m.vars));
  ASSERT_EQ(o.run.status, 0) << o.run.output;
  ASSERT_EQ(o.prb_after.size(), edited.size());
  EXPECT_EQ(o.prb_after.substr(ValueBlockOffset(o.prb_after, 0), 17),
            edited.substr(ValueBlockOffset(edited, 0), 17));
  EXPECT_NEAR(XOutAt(o.prb_after, 1), 16.0, 1e-6);

  const std::string cut = edited.substr(0, edited.size() - 10);
  dir.Write("EDITED.PRB", cut);
  o = Solve(dir, Problem(m, m.vars));
  EXPECT_EQ(o.run.status, 3) << o.run.output;
  EXPECT_NE(o.run.output.find("X out not written: problem file DERIV.PRB: it was changed during the run. 5 records kept"),
            std::string::npos)
      << o.run.output;
  EXPECT_EQ(o.prb_after, cut);
  EXPECT_EQ(o.ttr.records.size(), 5u);
}

// X out goes through a new file of the solver's own making: a link planted
// at a predictable temporary name leads nowhere, and a problem file that is
// a link stays one, its target getting the values.
TEST_P(SolverRun, XOutIsWrittenThroughAFileOfItsOwn) {
  TestModel m = DerivModel();
  const ProblemDir& dir = Compiled(m);
  const std::string& d = dir.dir().path();
  const std::string prb = Problem(m, m.vars);
  dir.Write("VICTIM", "untouched");
  ASSERT_EQ(::symlink("VICTIM", (d + "/DERIV.PRB.tmp").c_str()), 0);
  Outcome o = Solve(dir, prb);
  ASSERT_EQ(o.run.status, 0) << o.run.output;
  EXPECT_EQ(dir.Read("VICTIM"), "untouched");
  EXPECT_NEAR(XOutAt(o.prb_after, 1), 16.0, 1e-6);
  std::remove((d + "/DERIV.PRB.tmp").c_str());
  std::remove((d + "/VICTIM").c_str());

  std::filesystem::create_directory(d + "/data");
  std::remove((d + "/DERIV.PRB").c_str());
  ASSERT_EQ(::symlink("data/REAL.PRB", (d + "/DERIV.PRB").c_str()), 0);
  o = Solve(dir, prb);
  ASSERT_EQ(o.run.status, 0) << o.run.output;
  EXPECT_TRUE(std::filesystem::is_symlink(d + "/DERIV.PRB"));
  EXPECT_NEAR(XOutAt(dir.Read("data/REAL.PRB"), 1), 16.0, 1e-6);
  ExpectOnlyXOutChanged(prb, dir.Read("data/REAL.PRB"), int(m.vars.size()));
  // Nothing but the problem file is left behind in either directory.
  for (const std::string& sub : {d, d + "/data"})
    for (const auto& e : std::filesystem::directory_iterator(sub))
      EXPECT_EQ(e.path().filename().string().find(".PRB."), std::string::npos) << e.path();
  std::remove((d + "/DERIV.PRB").c_str());
  std::filesystem::remove_all(d + "/data");
}

TEST_P(SolverRun, SingularBlockKeepsTheRecordsWritten) {
  TestModel m = TroubleModel();
  const ProblemDir& dir = Compiled(m);
  std::string prb = Problem(m, m.vars);
  Outcome o = Solve(dir, prb);
  EXPECT_EQ(o.run.status, 2) << o.run.output;
  EXPECT_NE(o.run.output.find("Singular block"), std::string::npos) << o.run.output;
  EXPECT_NE(o.run.output.find("_JT=2"), std::string::npos) << o.run.output;
  EXPECT_EQ(o.prb_after, prb);
  ASSERT_TRUE(o.has_ttr);
  EXPECT_EQ(o.ttr.jtmax, 1);
  ASSERT_EQ(o.ttr.records.size(), 2u);
  EXPECT_NEAR(o.ttr.records[1].values[1], 2.0, 1e-6);
  EXPECT_DOUBLE_EQ(o.ttr.last_t, 0.5);
}

TEST_P(SolverRun, NoConvergenceAndBadTimeAxisFailClearly) {
  TestModel m = TroubleModel();
  const ProblemDir& dir = Compiled(m);
  std::vector<PrbVar> vars = m.vars;
  vars[0].xin = 2;  // Y = U^2 + 1 = 4 has roots; held at 0 it has none
  vars[2].xin = 0;
  std::string prb = Problem(m, vars);
  Outcome o = Solve(dir, prb);
  EXPECT_EQ(o.run.status, 2) << o.run.output;
  EXPECT_NE(o.run.output.find("No convergence"), std::string::npos) << o.run.output;
  EXPECT_EQ(o.prb_after, prb);
  ASSERT_TRUE(o.has_ttr);
  EXPECT_EQ(o.ttr.jtmax, -1);

  vars[0].xin = 3;  // TSTEP = 0
  prb = Problem(m, vars);
  o = Solve(dir, prb);
  EXPECT_EQ(o.run.status, 1) << o.run.output;
  EXPECT_NE(o.run.output.find("Bad time axis"), std::string::npos) << o.run.output;
  EXPECT_FALSE(o.has_ttr);
  EXPECT_EQ(o.prb_after, prb);

  vars[0].xin = 4;  // an equation that gives NaN is no solution
  prb = Problem(m, vars);
  o = Solve(dir, prb);
  EXPECT_EQ(o.run.status, 2) << o.run.output;
  EXPECT_NE(o.run.output.find("The equation of Y gives no number at _JT=0"), std::string::npos) << o.run.output;
  EXPECT_EQ(o.prb_after, prb);
  ASSERT_TRUE(o.has_ttr);
  EXPECT_EQ(o.ttr.jtmax, -1);
}

// Every comparison with NaN is false, so a check written as "refuse when
// below" lets it through: NaN and infinity in each setting TIMESET makes
// are refused with the setting's message, nothing written; finite values
// beside them run.
TEST(SolverSettings, NotANumberAndInfinityAreRefusedWhereAFiniteValueRuns) {
  TestModel m = SettingsModel();
  const ProblemDir& dir = Compiled(m);
  const std::string axis = "Bad time axis from TIMESET: ";
  const std::string tol = "Bad NEWTONTOL from TIMESET: ";
  struct Case {
    int var;  // TS 0, TE 1, DT 2, TOL 3
    double xin;
    std::string says;  // "" when it runs
  } cases[] = {
      {0, -2.5, ""},
      {0, kNotANumber, axis + "TSTART=Nan TEND=1 TSTEP=0.5 ("},
      {0, kMinusInfinity, axis + "TSTART=-Inf TEND=1 TSTEP=0.5 ("},
      {0, kPlusInfinity, axis + "TSTART=+Inf TEND=1 TSTEP=0.5 ("},
      {1, 2.0, ""},
      {1, kNotANumber, axis + "TSTART=0 TEND=Nan TSTEP=0.5 ("},
      {1, kPlusInfinity, axis + "TSTART=0 TEND=+Inf TSTEP=0.5 ("},
      {1, kMinusInfinity, axis + "TSTART=0 TEND=-Inf TSTEP=0.5 ("},
      {2, 0.25, ""},
      {2, kNotANumber, axis + "TSTART=0 TEND=1 TSTEP=Nan ("},
      {2, kPlusInfinity, axis + "TSTART=0 TEND=1 TSTEP=+Inf ("},
      {2, kMinusInfinity, axis + "TSTART=0 TEND=1 TSTEP=-Inf ("},
      {3, 1e-6, ""},
      {3, kNotANumber, tol + "Nan (it must be above 0). Nothing written."},
      {3, kPlusInfinity, tol + "+Inf (it must be above 0). Nothing written."},
      {3, kMinusInfinity, tol + "-Inf (it must be above 0). Nothing written."},
      {3, 0.0, tol + "0 (it must be above 0). Nothing written."},
  };
  for (const Case& c : cases) {
    std::vector<PrbVar> vars = m.vars;
    vars[size_t(c.var)].xin = c.xin;
    SCOPED_TRACE(::testing::Message() << vars[size_t(c.var)].name << " " << c.xin);
    std::string prb = ProblemFile(m, vars, Ordering::kHelper);
    Outcome o = Solve(dir, prb);
    if (c.says.empty()) {
      EXPECT_EQ(o.run.status, 0) << o.run.output;
      ASSERT_TRUE(o.has_ttr);
      EXPECT_GE(o.ttr.jtmax, 2);
      EXPECT_NEAR(o.ttr.records.back().values[4], 2.0, 1e-6);
    } else {
      EXPECT_EQ(o.run.status, 1) << o.run.output;
      EXPECT_NE(o.run.output.find(c.says), std::string::npos) << o.run.output;
      EXPECT_FALSE(o.has_ttr);
      EXPECT_EQ(o.prb_after, prb);
    }
  }
}

// The guarded functions of generated power terms give numbers where exp
// and ln would overflow or fail.
TEST(RuntimeFunctions, GuardedExpAndLog) {
  ProblemDir dir("FUNCS");
  dir.Write("FUNCS.LPR", CrLf({"program FUNCS;", "uses DPARPROC;", "var K: SINGLE;", "begin",
                               "  _PARS(5,'','','K',K,0.5);",
                               "  WRITELN(K:0:3,' ',AEXP(1000)>1E300,' ',AEXP(-1000):0:3,' ',",
                               "    ALOG(0)<-700,' ',ALOG(-1)<-700,' ',ALOG(1):0:3);", "end."}));
  std::string log;
  ASSERT_TRUE(dir.Compile(&log)) << log;
  RunResult r = dir.Run();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, "0.500 TRUE 0.000 TRUE TRUE 0.000\n");
}

INSTANTIATE_TEST_SUITE_P(Orderings, SolverRun,
                         ::testing::Values(Ordering::kHelper, Ordering::kSequist),
                         [](const auto& info) {
                           return info.param == Ordering::kHelper ? "Helper" : "Sequist";
                         });

}  // namespace
}  // namespace krv::rt
