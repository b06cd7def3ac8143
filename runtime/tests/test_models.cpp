// Test models written in the shape the preprocessor generates, with their variable maps.
#include "runtime/tests/test_models.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>

#include "preprocessor/log_writer.h"
#include "sequencer/SEQCU1.h"

namespace krv::rt {
namespace {

std::string UserProcs(const std::string& timeset, const std::string& addset = "",
                      const std::string& say = "", const std::string& userbpr = "") {
  auto proc = [&](const std::string& name, const std::string& body) {
    std::string line = say.empty() ? "" : "  WRITELN('" + name + " ', _JT);\r\n";
    return "procedure " + name + ";\r\nbegin\r\n" + line + body + "end;\r\n";
  };
  return proc("PARSET", "") + proc("SETUP", "") + proc("TIMESET", timeset) +
         proc("REPORT", "") + proc("ADDSET", addset) + proc("USERBPR", userbpr);
}

// USERBPR's stand-in for an editor saving the problem file while the solver
// runs: EDITED.PRB, when there, replaces DERIV.PRB.
const char kSwapInEditedPrb[] =
    "  {$I-}\r\n"
    "  IF _EDITED('EDITED.PRB') THEN BEGIN\r\n"
    "    _SWAP('EDITED.PRB','DERIV.PRB');\r\n"
    "  END;\r\n"
    "  {$I+}\r\n";
const char kSwapProcs[] =
    "FUNCTION _EDITED(N:STRING):BOOLEAN;\r\nVAR F:FILE;\r\nBEGIN\r\n"
    "  {$I-} ASSIGN(F,N); RESET(F,1); {$I+}\r\n"
    "  RESULT:=IORESULT=0; IF RESULT THEN CLOSE(F);\r\nEND;\r\n"
    "PROCEDURE _SWAP(A,B:STRING);\r\nVAR F:FILE;\r\nBEGIN\r\n"
    "  {$I-} ASSIGN(F,B); ERASE(F); ASSIGN(F,A); RENAME(F,B); {$I+}\r\n"
    "  IF IORESULT<>0 THEN;\r\nEND;\r\n";

// An equation procedure as the preprocessor writes it: VAR parameters, the
// change guard over the inputs, the body, the closing END.
std::string Xproc(const std::string& name, const std::string& out,
                  const std::vector<std::string>& ins, const std::string& body) {
  std::string list, guard = "IF _BS";
  for (const std::string& in : ins) {
    list += (list.empty() ? "" : ",") + in;
    guard += " OR " + in + ".D";
  }
  return CrLf({"PROCEDURE " + name + "(VAR " + out + ":XVR;", "           VAR " + list + ":XVR);",
               "begin", guard + " THEN BEGIN", body, "end;", "END;"});
}

}  // namespace

const ProblemDir& Compiled(const TestModel& m) {
  static std::map<std::string, std::unique_ptr<ProblemDir>> dirs;
  auto& slot = dirs[m.name];
  if (!slot) {
    slot = std::make_unique<ProblemDir>(m.name);
    slot->WriteModel(m.type_lines, m.label, m.psy);
    std::string log;
    if (!slot->Compile(&log)) throw std::runtime_error("compile of " + m.name + " failed:\n" + log);
  }
  return *slot;
}

std::string TestModel::Vnm() const {
  std::vector<std::string> lines = {label};
  char buf[128];
  for (size_t k = 0; k < vars.size(); ++k) {
    std::snprintf(buf, sizeof buf, "%4zu %s  _X.", k, vars[k].kind.c_str());
    lines.push_back(buf + vars[k].name);
  }
  lines.push_back("     #");
  for (const Incidence& i : incidences) {
    std::snprintf(buf, sizeof buf, "%5d%5d%2d%2d", i.out, i.in, i.fix, i.mode);
    lines.push_back(buf);
  }
  return CrLf(lines) + "\x1a";
}

std::string ProblemFile(const TestModel& m, const std::vector<PrbVar>& vars, Ordering ordering) {
  std::string prb;
  if (ordering == Ordering::kHelper) {
    prb = WritePrb(m.Spec());
  } else {
    pp::LogWriter log;
    if (!seq::SequenceMap(m.Vnm(), prb, log))
      throw std::runtime_error("sequencing " + m.name + " failed:\n" + log.Text());
  }
  for (size_t k = 0; k < vars.size(); ++k) SetValueBlock(prb, static_cast<int>(k), vars[k]);
  return prb;
}

PrbSpec TestModel::Spec() const {
  PrbSpec desc;
  desc.label = label;
  desc.vars = vars;
  OrderLikeSequencer(desc, incidences);
  return desc;
}

TestModel TanksModel(int tanks, double tend, double tstep) {
  TestModel m;
  const std::string n = std::to_string(tanks);
  m.name = "TANKS";
  m.label = ">12-10-2026  9:30:15 TANKS";
  m.type_lines = {"  _TANK=RECORD", "     LEVEL,NET:XVR;", "  END;", "  _SYSTEM=RECORD",
                  "     Q:ARRAY[0.." + n + "]OF XVR;", "     T:ARRAY[1.." + n + "]OF _TANK;", "  END;"};
  char axis[120];
  std::snprintf(axis, sizeof axis, "  TSTART:=0; TEND:=%.17g; TSTEP:=%.17g;\r\n", tend, tstep);
  m.psy = UserProcs(axis) + "CONST K=0.5;\r\n" +
          Xproc("OUTFLOW", "Q", {"L"}, "  Q.O:=K*L.I;") +
          Xproc("NETFLOW", "NET", {"QIN", "QOUT"}, "  NET.O:=QIN.I-QOUT.I;") + CrLf({
      "PROCEDURE TANK(constref M:MODID;VAR QIN,QOUT:XVR ;VAR _M:_TANK);",
      "begin",
      " IF _BS OR QIN.D OR QOUT.D OR QTLC(2,@_M) THEN BEGIN",
      "  OUTFLOW(QOUT,_M.LEVEL);",
      "  NETFLOW(_M.NET,QIN,QOUT);",
      "  QTLINTEG(_M.LEVEL,_M.NET);",
      "end;",
      "END;",
      "PROCEDURE  SYSTEMMC(VAR _X:_SYSTEM);",
      "VAR _J:INTEGER;",
      "begin",
      "  FOR _J := 1 TO " + n + " DO TANK('T'{+_NS(_J)},_X.Q[_J-1],_X.Q[_J],_X.T[_J]);",
      "end;"});
  m.vars.push_back({"I*", "Q[0]", 1.0});
  for (int j = 1; j <= tanks; ++j) m.vars.push_back({"IO", "Q[" + std::to_string(j) + "]"});
  for (int j = 1; j <= tanks; ++j) {
    m.vars.push_back({"IO", "T[" + std::to_string(j) + "].LEVEL", double(j - 1)});
    m.vars.push_back({"IO", "T[" + std::to_string(j) + "].NET"});
    const int level = tanks + 2 * j - 1, net = tanks + 2 * j;
    m.incidences.push_back({j, level});
    m.incidences.push_back({net, j - 1});
    m.incidences.push_back({net, j});
    m.incidences.push_back({level, net, 0, 1});
  }
  return m;
}

void ExpectTanksTrajectory(const Outcome& o, const std::string& label) {
  ASSERT_EQ(o.run.status, 0) << o.run.output;
  ASSERT_TRUE(o.has_ttr);
  EXPECT_EQ(o.ttr.mark, 30995);
  EXPECT_EQ(o.ttr.d, 9);
  EXPECT_EQ(o.ttr.label, label);
  EXPECT_EQ(o.ttr.jtmax, 16);
  EXPECT_DOUBLE_EQ(o.ttr.last_t, 4.0);
  ASSERT_EQ(o.ttr.records.size(), 17u);

  // Implicit Euler, exactly: L[j] = (L[j] + dt Q[j-1]) / (1 + dt K), tank by tank.
  const double dt = 0.25;
  double level[4] = {0, 0.0, 1.0, 2.0}, q[4] = {1.0, 0, 0, 0};
  for (const TtrRecord& rec : o.ttr.records) {
    SCOPED_TRACE("record " + std::to_string(rec.jt));
    const double h = rec.jt == 0 ? 0.0 : dt;
    double net[4] = {};
    for (int j = 1; j <= 3; ++j) {
      level[j] = (level[j] + h * q[j - 1]) / (1 + h * kTankK);
      q[j] = kTankK * level[j];
      net[j] = q[j - 1] - q[j];
    }
    EXPECT_NEAR(rec.t, rec.jt * dt, 1e-12);
    for (int j = 1; j <= 3; ++j) {
      EXPECT_NEAR(rec.values[j], q[j], 1e-6);
      EXPECT_NEAR(rec.values[2 * j + 2], level[j], 1e-6);
      EXPECT_NEAR(rec.values[2 * j + 3], net[j], 1e-6);
    }
    EXPECT_FLOAT_EQ(rec.values[0], 1.0f);
  }
  EXPECT_GT(o.ttr.records.back().values[8], 0.5);  // the last tank has filled up
  for (int k = 0; k < 10; ++k)
    EXPECT_NEAR(XOutAt(o.prb_after, k), o.ttr.records.back().values[k], 1e-6) << k;
  EXPECT_NEAR(XOutAt(o.prb_after, 8), level[3], 1e-8);
}

TestModel FixLoopModel() {
  TestModel m;
  m.name = "FIXLOOP";
  m.label = ">12-10-2026 10: 2: 0 FIXLOOP";
  m.type_lines = {"  _SYSTEM=RECORD", "     U,Y,A,B,C,SMALLU,SMALLY:XVR;", "  END;"};
  m.psy = UserProcs("  TSTART:=0; TEND:=0; TSTEP:=1;\r\n") +
          Xproc("SQUARE", "Y", {"U"}, "  Y.O:=U.I*U.I+U.I;") +
          Xproc("TINY", "Y", {"U"}, "  Y.O:=1E-12*U.I;") +
          Xproc("LOOPA", "A", {"C"}, "  A.O:=0.5*C.I+1;") +
          Xproc("LOOPB", "B", {"A"}, "  B.O:=A.I+2;") +
          Xproc("LOOPC", "C", {"B"}, "  C.O:=0.25*B.I;") + CrLf({
      "PROCEDURE  SYSTEMMC(VAR _X:_SYSTEM);",
      "begin",
      "  SQUARE(_X.Y,_X.U);",
      "  {QTLFIX(_X.U,_X.Y)};",
      "  LOOPA(_X.A,_X.C);",
      "  LOOPB(_X.B,_X.A);",
      "  LOOPC(_X.C,_X.B);",
      "  TINY(_X.SMALLY,_X.SMALLU);",
      "  {QTLFIX(_X.SMALLU,_X.SMALLY)};",
      "end;"});
  m.vars = {{"IC", "U"},      {"CO", "Y", 2.0}, {"IO", "A"},           {"IO", "B"},
            {"IO", "C"},      {"IC", "SMALLU"}, {"CO", "SMALLY", 3e-12}};
  m.incidences = {{1, 0}, {0, 1, 1}, {2, 4}, {3, 2}, {4, 3}, {6, 5}, {5, 6, 1}};
  return m;
}

TestModel DerivModel() {
  TestModel m;
  m.name = "DERIV";
  m.label = ">12-10-2026 10: 4: 0 DERIV";
  m.type_lines = {"  _SYSTEM=RECORD", "     X,Y,DY:XVR;", "  END;"};
  m.psy = std::string(kSwapProcs) +
          UserProcs("  TSTART:=1; TEND:=2; TSTEP:=0.25;\r\n", "  _X.X.I:=2*_T;\r\n", "say",
                    kSwapInEditedPrb) +
          Xproc("SQR", "Y", {"X"}, "  Y.O:=X.I*X.I;") +
          CrLf({"PROCEDURE  SYSTEMMC(VAR _X:_SYSTEM);",
                "begin",
                "  SQR(_X.Y,_X.X);",
                "  QTLDERIV(_X.DY,_X.Y);",
                "end;"});
  m.vars = {{"I*", "X"}, {"IO", "Y"}, {"*O", "DY"}};
  m.incidences = {{1, 0}, {2, 1, 0, 2}};
  return m;
}

TestModel TroubleModel() {
  TestModel m;
  m.name = "TROUBLE";
  m.label = ">12-10-2026 10: 6: 0 TROUBLE";
  m.type_lines = {"  _SYSTEM=RECORD", "     SEL,U,Y:XVR;", "  END;"};
  m.psy = UserProcs("  TSTART:=0; TEND:=3; TSTEP:=0.5;\r\n  IF (_X.SEL.I>2.5) AND (_X.SEL.I<3.5) THEN TSTEP:=0;\r\n") +
          Xproc("GAIN", "Y", {"U", "SEL"},
                "  IF SEL.I<1.5 THEN BEGIN\r\n"
                "    IF _T<1 THEN Y.O:=2*U.I ELSE Y.O:=0*U.I+1;\r\n"
                "  END ELSE IF SEL.I<3.5 THEN Y.O:=U.I*U.I+1 ELSE Y.O:=SQRT(U.I-10);") +
          CrLf({"PROCEDURE  SYSTEMMC(VAR _X:_SYSTEM);",
                "begin",
                "  GAIN(_X.Y,_X.U,_X.SEL);",
                "  {QTLFIX(_X.U,_X.Y)};",
                "end;"});
  m.vars = {{"I*", "SEL", 1.0}, {"IC", "U", 0.5}, {"CO", "Y", 4.0}};
  m.incidences = {{2, 1}, {2, 0}, {1, 2, 1}};
  return m;
}

TestModel SharpModel() {
  TestModel m;
  m.name = "SHARP";
  m.label = ">12-10-2026 10: 7: 0 SHARP";
  m.type_lines = {"  _SYSTEM=RECORD", "     GAIN,U,Y:XVR;", "  END;"};
  m.psy = UserProcs("  TSTART:=0; TEND:=2; TSTEP:=0.25;\r\n") +
          Xproc("SCALE", "Y", {"U", "GAIN"}, "  IF _T<1 THEN Y.O:=U.I ELSE Y.O:=GAIN.I*U.I;") +
          CrLf({"PROCEDURE  SYSTEMMC(VAR _X:_SYSTEM);",
                "begin",
                "  SCALE(_X.Y,_X.U,_X.GAIN);",
                "  {QTLFIX(_X.U,_X.Y)};",
                "end;"});
  m.vars = {{"I*", "GAIN", 1.0}, {"IC", "U", 0.5}, {"CO", "Y", 4.0}};
  m.incidences = {{2, 1}, {2, 0}, {1, 2, 1}};
  return m;
}

TestModel SettingsModel() {
  TestModel m;
  m.name = "SETTINGS";
  m.label = ">12-10-2026 10: 8: 0 SETTINGS";
  m.type_lines = {"  _SYSTEM=RECORD", "     TS,TE,DT,TOL,U,Y:XVR;", "  END;"};
  // Overflow and invalid operations give +Inf and NaN in the solver.
  m.psy = CrLf({"FUNCTION _SETTING(V:DOUBLE):DOUBLE;", "BEGIN",
                "  IF V>1.5E301 THEN _SETTING:=V*V-V*V",
                "  ELSE IF V>0.5E301 THEN _SETTING:=V*V",
                "  ELSE IF V<-0.5E301 THEN _SETTING:=-(V*V)",
                "  ELSE _SETTING:=V;", "END;"}) +
          UserProcs("  TSTART:=_SETTING(_X.TS.I); TEND:=_SETTING(_X.TE.I);\r\n"
                    "  TSTEP:=_SETTING(_X.DT.I); NEWTONTOL:=_SETTING(_X.TOL.I);\r\n") +
          Xproc("TWICE", "Y", {"U", "TS", "TE", "DT", "TOL"}, "  Y.O:=2*U.I;") +
          CrLf({"PROCEDURE  SYSTEMMC(VAR _X:_SYSTEM);",
                "begin",
                "  TWICE(_X.Y,_X.U,_X.TS,_X.TE,_X.DT,_X.TOL);",
                "  {QTLFIX(_X.U,_X.Y)};",
                "end;"});
  m.vars = {{"I*", "TS", 0.0}, {"I*", "TE", 1.0}, {"I*", "DT", 0.5}, {"I*", "TOL", 1e-9},
            {"IC", "U", 1.0},  {"CO", "Y", 4.0}};
  m.incidences = {{5, 4}, {5, 0}, {5, 1}, {5, 2}, {5, 3}, {4, 5, 1}};
  return m;
}

}  // namespace krv::rt
