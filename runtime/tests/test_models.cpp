// Test models written in the shape the preprocessor generates, with their variable maps.
#include "runtime/tests/test_models.h"

#include <map>
#include <memory>
#include <stdexcept>

namespace krv::rt {
namespace {

std::string UserProcs(const std::string& timeset, const std::string& addset = "",
                      const std::string& say = "") {
  auto proc = [&](const std::string& name, const std::string& body) {
    std::string line = say.empty() ? "" : "  WRITELN('" + name + " ', _JT);\r\n";
    return "procedure " + name + ";\r\nbegin\r\n" + line + body + "end;\r\n";
  };
  return proc("PARSET", "") + proc("SETUP", "") + proc("TIMESET", timeset) +
         proc("REPORT", "") + proc("ADDSET", addset) + proc("USERBPR", "");
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

PrbSpec TestModel::Spec() const {
  PrbSpec spec;
  spec.label = label;
  spec.vars = vars;
  OrderLikeSequencer(spec, incidences);
  return spec;
}

TestModel TanksModel() {
  TestModel m;
  m.name = "TANKS";
  m.label = ">12-10-2026  9:30:15 TANKS";
  m.type_lines = {"  _TANK=RECORD", "     LEVEL,NET:XVR;", "  END;", "  _SYSTEM=RECORD",
                  "     Q:ARRAY[0..3]OF XVR;", "     T:ARRAY[1..3]OF _TANK;", "  END;"};
  m.psy = UserProcs("  TSTART:=0; TEND:=4; TSTEP:=0.25;\r\n") + CrLf({
      "CONST K=0.5;",
      "PROCEDURE OUTFLOW(VAR Q:XVR;",
      "           VAR L:XVR);",
      "begin",
      "IF _BS OR L.D THEN BEGIN",
      "  Q.O:=K*L.I;",
      "end;",
      "END;",
      "PROCEDURE NETFLOW(VAR NET:XVR;",
      "           VAR QIN,QOUT:XVR);",
      "begin",
      "IF _BS OR QIN.D OR QOUT.D THEN BEGIN",
      "  NET.O:=QIN.I-QOUT.I;",
      "end;",
      "END;",
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
      "  FOR _J := 1 TO 3 DO TANK('T'{+_NS(_J)},_X.Q[_J-1],_X.Q[_J],_X.T[_J]);",
      "end;"});
  m.vars = {{"I*", "Q[0]", 1.0}, {"IO", "Q[1]"}, {"IO", "Q[2]"}, {"IO", "Q[3]"}};
  for (int j = 1; j <= 3; ++j) {
    m.vars.push_back({"IO", "T[" + std::to_string(j) + "].LEVEL", double(j - 1)});
    m.vars.push_back({"IO", "T[" + std::to_string(j) + "].NET"});
    int level = 2 * j + 2, net = 2 * j + 3;
    m.incidences.push_back({j, level});
    m.incidences.push_back({net, j - 1});
    m.incidences.push_back({net, j});
    m.incidences.push_back({level, net, 0, 1});
  }
  return m;
}

TestModel FixLoopModel() {
  TestModel m;
  m.name = "FIXLOOP";
  m.label = ">12-10-2026 10: 2: 0 FIXLOOP";
  m.type_lines = {"  _SYSTEM=RECORD", "     U,Y,A,B,C,SMALLU,SMALLY:XVR;", "  END;"};
  m.psy = UserProcs("  TSTART:=0; TEND:=0; TSTEP:=1;\r\n") + CrLf({
      "PROCEDURE SQUARE(VAR Y:XVR;",
      "           VAR U:XVR);",
      "begin",
      "IF _BS OR U.D THEN BEGIN",
      "  Y.O:=U.I*U.I+U.I;",
      "end;",
      "END;",
      "PROCEDURE TINY(VAR Y:XVR;",
      "           VAR U:XVR);",
      "begin",
      "IF _BS OR U.D THEN BEGIN",
      "  Y.O:=1E-12*U.I;",
      "end;",
      "END;",
      "PROCEDURE LOOPA(VAR A:XVR;",
      "           VAR C:XVR);",
      "begin",
      "IF _BS OR C.D THEN BEGIN",
      "  A.O:=0.5*C.I+1;",
      "end;",
      "END;",
      "PROCEDURE LOOPB(VAR B:XVR;",
      "           VAR A:XVR);",
      "begin",
      "IF _BS OR A.D THEN BEGIN",
      "  B.O:=A.I+2;",
      "end;",
      "END;",
      "PROCEDURE LOOPC(VAR C:XVR;",
      "           VAR B:XVR);",
      "begin",
      "IF _BS OR B.D THEN BEGIN",
      "  C.O:=0.25*B.I;",
      "end;",
      "END;",
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
  m.psy = UserProcs("  TSTART:=1; TEND:=2; TSTEP:=0.25;\r\n", "  _X.X.I:=2*_T;\r\n", "say") +
          CrLf({"PROCEDURE SQR(VAR Y:XVR;",
                "           VAR X:XVR);",
                "begin",
                "IF _BS OR X.D THEN BEGIN",
                "  Y.O:=X.I*X.I;",
                "end;",
                "END;",
                "PROCEDURE  SYSTEMMC(VAR _X:_SYSTEM);",
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
  m.psy = UserProcs("  TSTART:=0; TEND:=3; TSTEP:=0.5;\r\n  IF _X.SEL.I>2.5 THEN TSTEP:=0;\r\n") +
          CrLf({"PROCEDURE GAIN(VAR Y:XVR;",
                "           VAR U,SEL:XVR);",
                "begin",
                "IF _BS OR U.D OR SEL.D THEN BEGIN",
                "  IF SEL.I<1.5 THEN BEGIN",
                "    IF _T<1 THEN Y.O:=2*U.I ELSE Y.O:=0*U.I+1;",
                "  END ELSE Y.O:=U.I*U.I+1;",
                "end;",
                "END;",
                "PROCEDURE  SYSTEMMC(VAR _X:_SYSTEM);",
                "begin",
                "  GAIN(_X.Y,_X.U,_X.SEL);",
                "  {QTLFIX(_X.U,_X.Y)};",
                "end;"});
  m.vars = {{"I*", "SEL", 1.0}, {"IC", "U", 0.5}, {"CO", "Y", 4.0}};
  m.incidences = {{2, 1}, {2, 0}, {1, 2, 1}};
  return m;
}

}  // namespace krv::rt
