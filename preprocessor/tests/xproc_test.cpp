// Tests of the equation procedures: headings, overlays, guards, the
// rewriting of state accesses, and every message.
#include <gtest/gtest.h>

#include "preprocessor/tests/run_fixture.h"
#include "testing/case_name.h"

namespace krv::pp::test {
namespace {

const std::string kTypes =
    "XVTYPE\r\n"
    "  BIG = RECORD W: ARRAY[1..12] OF XVR END;\r\n"
    "  (VAR1, FIX3) = GROUPSEC V : ( VARRAY [ N ] OF , ARRAY [ 1 .. 3 ] OF ) XVR ;\r\n"
    "  TAIL = RECORD A, B, C: XVR; H: VAR1 END;\r\n"
    "  CELL2 = SECTION C: ARRAY[1..2] OF XVR;\r\n"
    "  (W1, W2) = GROUPSEC V : ( VARRAY [ M ] OF , ARRAY [ 1 .. 3 ] OF ) CELL2 ;\r\n";

// Runs the types and `procs`; returns the intermediate text after the type part.
std::string Translate(RunFixture& f, const std::string& procs) {
  f.Run(kTypes + procs + kEmptySystem);
  if (!f.dir.Has("TMPQTL.TMP")) return "(no TMPQTL.TMP)";
  std::string t = f.dir.Read("TMPQTL.TMP");
  return t;
}

TEST(Xproc, GuardHasOneTermPerInputInHeadingOrder) {
  RunFixture f;
  std::string out = Translate(f,
                              "XPROC G(VARIN X: XVR; VARIN P: BIG; VARIN Q: TAIL; VARIN R: W1; VAROT Y: XVR);\r\n"
                              "BEGIN\r\n  Y := X + P.W[1] + Q.A + R.V[1].C[2];\r\nEND;\r\n");
  EXPECT_EQ(f.Messages(), std::vector<std::string>{});
  EXPECT_NE(out.find("\r\nIF _BS OR X.D OR QTLC(12,@P) OR QTLC(N+3,@Q) OR QTLC(2*M,@R) THEN BEGIN\r\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("  Y.O := X.I + P.W[1].I + Q.A.I + R.V[1].C[2].I;\r\nEND;\r\nEND;\r\n"),
            std::string::npos)
      << out;
}

TEST(Xproc, VariableLengthNamesBecomeOverlaysWithOneSizeParameterPerOwner) {
  RunFixture f;
  std::string out = Translate(f,
                              "XPROC S(VARIN P,Q: VAR1; VARIN Z: TAIL; VAROT B: XVR);\r\n"
                              "BEGIN\r\n  B := P.V[1] + Q.V[2] + Z.A;\r\nEND;\r\n");
  EXPECT_EQ(f.Messages(), std::vector<std::string>{});
  EXPECT_NE(out.find("\r\nPROCEDURE S(VAR QTLA0,QTLA1;VAR QTLA2;VAR B: XVR;N:SMALLINT);\r\n"
                     "VAR P:VAR1 ABSOLUTE QTLA0; Q:VAR1 ABSOLUTE QTLA1; Z:TAIL ABSOLUTE QTLA2;\r\n"
                     "BEGIN\r\nIF _BS OR QTLC(N,@P) OR QTLC(N,@Q) OR QTLC(N+3,@Z) THEN BEGIN\r\n"),
            std::string::npos)
      << out;
}

TEST(Xproc, PlainSubprogramsAndKeywordsInAnyCaseAreCopied) {
  RunFixture f;
  std::string out = Translate(f,
                              "procedure Helper(A: REAL);\r\nbegin\r\n  A := 1\r\nend;\r\n"
                              "function F: REAL; begin F := 2 end;\r\n"
                              "xdxproc D(varin X: XVR; varot Y: XVR);\r\nvar K: INTEGER;\r\nbegin\r\n"
                              "  Y := X\r\nend;\r\n");
  EXPECT_EQ(f.Messages(), std::vector<std::string>{});
  EXPECT_EQ(out.substr(0, out.find("\r\nPROCEDURE SYSTEMMC")),
            "\r\nprocedure Helper(A: REAL);\r\nbegin\r\n  A := 1\r\nend;\r\n"
            "function F: REAL; begin F := 2 end;\r\n"
            "PROCEDURE D(VAR X: XVR;VAR Y: XVR);\r\nvar K: INTEGER;\r\nbegin\r\n"
            "IF _BS OR X.D THEN BEGIN\r\n  Y.O := X.I\r\nend;\r\nEND;");
  const XprocRecord* d = f.pp.Procs().XprocHead();
  for (int i = 0; i < 3; ++i) d = d->next;  // after QTLFIX, QTLINTEG, QTLDERIV
  ASSERT_TRUE(d);
  EXPECT_EQ(d->kind, kXdxproc);
}

TEST(Xproc, ProcedureWithoutInputsGetsTheBareGuard) {
  RunFixture f;
  std::string out = Translate(f, "XPROC K(VAROT Y: XVR; C: REAL);\r\nBEGIN\r\n  Y := C\r\nEND;\r\n");
  EXPECT_EQ(f.Messages(), std::vector<std::string>{});
  EXPECT_NE(out.find("BEGIN\r\nIF _BS THEN BEGIN\r\n  Y.O := C\r\n"), std::string::npos) << out;
}

TEST(Xproc, NSwitchAllowsReadingAnOutput) {
  RunFixture f;
  std::string out = Translate(f, "{%N+}XPROC K(VARIN X: XVR; VAROT Y: XVR);\r\nBEGIN\r\n  Y := Y + X\r\nEND;\r\n");
  EXPECT_EQ(f.Messages(), std::vector<std::string>{});
  EXPECT_NE(out.find("  Y.O := Y.I + X.I\r\n"), std::string::npos) << out;
}

struct MessageCase {
  const char* name;
  std::string procs;
  std::vector<std::string> messages;
  std::string last = "Err Halt";
};

void PrintTo(const MessageCase& c, std::ostream* os) { *os << c.procs; }

class XprocMessages : public ::testing::TestWithParam<MessageCase> {};

TEST_P(XprocMessages, AreReported) {
  RunFixture f;
  Translate(f, GetParam().procs);
  EXPECT_EQ(f.Messages(), GetParam().messages) << GetParam().procs;
  EXPECT_EQ(f.LastLine(), GetParam().last) << GetParam().procs;
}

const std::string kBody = "\r\nBEGIN\r\n  Y := X\r\nEND;\r\n";

INSTANTIATE_TEST_SUITE_P(
    Table, XprocMessages,
    ::testing::Values(
        MessageCase{"VarMissing", "XPROC A(X: XVR; VAROT Y: XVR);" + kBody, {"7 VAR MISSING FOR XVR VARIABLE"}},
        MessageCase{"VarParameter", "XPROC A(VAR X: XVR; VAROT Y: XVR);" + kBody,
                    {"7 XVR TYPE VARIABLE USED AS A VAR PARAM IN XPROC HEADING"}},
        MessageCase{"UnknownType", "XPROC A(VARIN X: REALX; VAROT Y: XVR);" + kBody,
                    {"7 EXPECT : IN XPROC OR MPROC HEADING", "7  FATAL SYNTAX ERR"}, "Stopped"},
        MessageCase{"VarinAssigned", "XPROC A(VARIN X: XVR; VAROT Y: XVR);\r\nBEGIN\r\n  X := Y\r\nEND;\r\n",
                    {"10 VARIN USED AS A VAROT", "10 VAROT USED AS A VARIN"}},
        MessageCase{"VarinUnused", "XPROC A(VARIN X: XVR; VAROT Y: XVR);\r\nBEGIN\r\n  Y := 1\r\nEND;\r\n",
                    {"X", "11 XVR DEF AS VARIN BUT IS NEVER REFERENCED"}},
        MessageCase{"VarotUnassigned", "XPROC A(VARIN X: XVR; VAROT Y, Z: XVR);\r\nBEGIN\r\n  IF X > 0 THEN;\r\nEND;\r\n",
                    {"Y", "Z", "11 XVR DEF AS VAROT BUT IS NEVER ASSIGNED VALUE(S)"}},
        MessageCase{"BadExpression", "XPROC A(VARIN X: XVR; VAROT Y: XVR);\r\nBEGIN\r\n  Y := X[1;\r\nEND;\r\n",
                    {"9 SYNTAX ERR"}},
        MessageCase{"LocalSubprogram", "XPROC A(VARIN X: XVR; VAROT Y: XVR);\r\nPROCEDURE B; BEGIN END;\r\n",
                    {"8 LOCAL SUBPGM NOT ALLOWED"}},
        MessageCase{"NoParameters", "XPROC A;" + kBody, {"7 EXPECT ("}},
        MessageCase{"NoSemicolon", "XPROC A(VARIN X: XVR; VAROT Y: XVR) BEGIN\r\n  Y := X\r\nEND;\r\n",
                    {"7 EXPECT ;", "10 LOCAL SUBPGM NOT ALLOWED"}}),
    krv::testing::CaseName{});

}  // namespace
}  // namespace krv::pp::test
