// Test models written in the shape the preprocessor generates, with their variable maps.
#pragma once

#include <string>
#include <vector>

#include "runtime/tests/prb_writer.h"
#include "runtime/tests/solver_harness.h"

namespace krv::rt {

struct TestModel {
  std::string name;
  std::string label;
  std::vector<std::string> type_lines;  // the .GTY before its label line
  std::string psy;
  std::vector<PrbVar> vars;             // in variable-map order
  std::vector<Incidence> incidences;

  // The problem file with Sequist's ordering.
  PrbSpec Spec() const;
  // The variable map the preprocessor would write for the model.
  std::string Vnm() const;
};

// How a test's problem file is ordered: by OrderLikeSequencer, or by the
// sequencer itself from the model's variable map.
enum class Ordering { kHelper, kSequist };

// The problem file of the model with the value blocks of `vars`.
std::string ProblemFile(const TestModel& m, const std::vector<PrbVar>& vars, Ordering ordering);

// The model's problem directory, compiled once for the whole test program.
const ProblemDir& Compiled(const TestModel& m);

// A chain of tanks in an MFOR loop, each integrated with QTLINTEG:
// Q[j] = K * LEVEL[j], NET[j] = Q[j-1] - Q[j], LEVEL[j]' = NET[j]; K = 0.5,
// Q[0] the feed (X in 1), LEVEL[j] starting at j - 1. Variables: Q[0..n]
// (0..n), T[j].LEVEL = n + 2j - 1, T[j].NET = n + 2j. Time 0 to `tend`.
TestModel TanksModel(int tanks = 3, double tend = 4, double tstep = 0.25);
constexpr double kTankK = 0.5;

// Checks a run of TanksModel() (three tanks, time 0 to 4 step 0.25) against
// the exact implicit-Euler trajectory, the header against `label`, and X out
// against the last record.
void ExpectTanksTrajectory(const Outcome& o, const std::string& label);

// A fixing pair Y = U*U + U (U moved, Y held at its X in), a second pair
// SMALLY = 1E-12 * SMALLU, and the loop A = 0.5 C + 1, B = A + 2, C = 0.25 B.
// Variables: U 0, Y 1, A 2, B 3, C 4, SMALLU 5, SMALLY 6.
TestModel FixLoopModel();

// X set by ADDSET to 2 * _T, Y = X * X, DY = QTLDERIV of Y; every user
// procedure writes its name; USERBPR then moves EDITED.PRB, when there, onto
// DERIV.PRB, as an editor saving meanwhile would. Time 1 to 2 step 0.25.
// Variables: X 0, Y 1, DY 2.
TestModel DerivModel();

// One fixing pair Y = f(U, SEL) held at Y's X in; SEL's X in picks the trouble:
// 1: Y = 2U before _T = 1 and the constant 1 after (singular from _JT = 2),
// 2: Y = U*U + 1 (no root), 3: TSTEP = 0, 4: Y = SQRT(U - 10) (no number
// near U's start). Time 0 to 3 step 0.5.
// Variables: SEL 0, U 1, Y 2.
TestModel TroubleModel();

// A fixing pair Y = U before _T = 1 and Y = GAIN * U from then on, Y held
// at 4: the Jacobian changes sharply between two steps. Time 0 to 2 step
// 0.25. Variables: GAIN 0, U 1, Y 2.
TestModel SharpModel();

// TIMESET sets TSTART, TEND, TSTEP and NEWTONTOL from the X in of TS, TE,
// DT and TOL. A problem file holds only finite X in, so TIMESET turns
// kPlusInfinity, kMinusInfinity and kNotANumber into what they name.
// Y = 2U, U moved and Y held at 4. Variables: TS 0, TE 1, DT 2, TOL 3,
// U 4, Y 5.
TestModel SettingsModel();
constexpr double kPlusInfinity = 1e301, kMinusInfinity = -1e301, kNotANumber = 2e301;

}  // namespace krv::rt
