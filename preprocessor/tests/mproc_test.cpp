// Tests of model procedures, pass 2 and the variable map: the generated
// text at the marks, the incidences, the roles and every message.
#include <gtest/gtest.h>

#include "preprocessor/tests/run_fixture.h"
#include "testing/case_name.h"

namespace krv::pp::test {
namespace {

const std::string kEquations =
    "XPROC COPY(VARIN A: XVR; VAROT B: XVR);\r\nBEGIN\r\n  B := A\r\nEND;\r\n"
    "XPROC SOURCE(VAROT B: XVR);\r\nBEGIN\r\n  B := 1\r\nEND;\r\n"
    "XDXPROC PAIRS(VARIN A, C: XVR; VAROT B, D: XVR);\r\nBEGIN\r\n  B := A;\r\n  D := C\r\nEND;\r\n"
    "XDXPROC ODD(VARIN A, C: XVR; VAROT B: XVR);\r\nBEGIN\r\n  B := A + C\r\nEND;\r\n";

const std::string kTank =
    "MPROC TANK(M: MODID; VAR QIN: XVR);\r\nVAR LEVEL, OUT: XVR;\r\nBEGIN\r\n"
    "  COPY(QIN, LEVEL);\r\n  QTLINTEG(OUT, LEVEL);\r\nEND;\r\n";

std::string Map(RunFixture& f) {
  std::string m = f.dir.Read("m.VNM");
  size_t eol = m.find("\r\n");
  return eol == std::string::npos ? m : m.substr(eol + 2);
}

TEST(Mproc, PassTwoCompletesTheHeadingAndOpensTheGuard) {
  RunFixture f;
  f.Run(kEquations + kTank +
        "MPROC system;\r\nVAR F: ARRAY[1..2] OF XVR;\r\n  _J: INTEGER;\r\nBEGIN\r\n"
        "  MFOR _J := 1 TO 2 DO\r\n    TANK('T', F[_J]);\r\nEND;\r\n");
  ASSERT_TRUE(f.Finished()) << f.LastLine();
  std::string psy = f.dir.Read("m.PSY");
  EXPECT_NE(psy.find("PROCEDURE TANK(constref M: MODID; VAR QIN: XVR;VAR _M:_TANK );\r\nBEGIN\r\n"
                     "IF _BS OR QIN.D OR QTLC(2,@_M) THEN BEGIN \r\n"
                     "  COPY(QIN, _M.LEVEL);\r\n  QTLINTEG(_M.OUT, _M.LEVEL);\r\nEND;\r\nEND;\r\n"),
            std::string::npos)
      << psy;
  EXPECT_NE(psy.find("PROCEDURE SYSTEMMC(VAR _X:_SYSTEM);\r\nVAR \r\n  _J: INTEGER;\r\nBEGIN\r\n"
                     "FOR _J := 1 TO 2 DO\r\n    TANK('T'{+_NS(_J)}, _X.F[_J],_X.T[_J]);\r\nEND;\r\n\x1a"),
            std::string::npos)
      << psy;
  EXPECT_EQ(psy.find('\x02'), std::string::npos);
  EXPECT_NE(f.dir.Read("m.GTY").find("  _SYSTEM=RECORD\r\n     F:ARRAY[1..2]OF XVR;\r\n"
                                     "     T:ARRAY[1..2]OF _TANK;\r\n  END;\r\n"),
            std::string::npos);
  EXPECT_EQ(Map(f),
            "   0 I*  _X.F[1]\r\n   1 I*  _X.F[2]\r\n   2 IO  _X.T[1].LEVEL\r\n   3 *O  _X.T[1].OUT\r\n"
            "   4 IO  _X.T[2].LEVEL\r\n   5 *O  _X.T[2].OUT\r\n     #\r\n"
            "    2    0 0 0\r\n    3    2 0 1\r\n    4    1 0 0\r\n    5    4 0 1\r\n\x1a");
}

TEST(Mproc, IncidencesFollowLoopsPairsAndFixingCalls) {
  RunFixture f;
  f.Run(kEquations +
        "MPROC SYSTEM;\r\nVAR X: ARRAY[1..3] OF XVR; S, G, Z, P, Q, R: XVR;\r\n  _J: INTEGER;\r\nBEGIN\r\n"
        "  MFOR _J := 1 TO 2 DO\r\n    COPY(X[_J], X[_J+1]);\r\n  SOURCE(S);\r\n"
        "  PAIRS(G, Z, P, R);\r\n  QTLFIX(G, Q);\r\n  qtlderiv(Z, S);\r\nEND;\r\n");
  ASSERT_TRUE(f.Finished()) << f.LastLine();
  // SOURCE has no inputs: its output is still an output.
  EXPECT_EQ(Map(f),
            "   0 I*  _X.X[1]\r\n   1 IO  _X.X[2]\r\n   2 *O  _X.X[3]\r\n   3 IO  _X.S\r\n"
            "   4 IC  _X.G\r\n   5 IO  _X.Z\r\n   6 *O  _X.P\r\n   7 C*  _X.Q\r\n   8 *O  _X.R\r\n     #\r\n"
            "    1    0 0 0\r\n    2    1 0 0\r\n    6    4 0 0\r\n    8    5 0 0\r\n    4    7 1 0\r\n"
            "    5    3 0 2\r\n\x1a");
  EXPECT_EQ(f.Messages(), std::vector<std::string>{});
}

struct Case {
  const char* name;
  std::string source;
  std::vector<std::string> messages;
  std::string last;  // "" for a finished run
  std::string mapTail = "";
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.source; }

class MprocMessages : public ::testing::TestWithParam<Case> {};

TEST_P(MprocMessages, AreReported) {
  const Case& c = GetParam();
  RunFixture f;
  f.Run(kEquations + c.source);
  EXPECT_EQ(f.Messages(), c.messages);
  if (c.last.empty())
    EXPECT_TRUE(f.Finished()) << f.LastLine();
  else
    EXPECT_EQ(f.LastLine(), c.last);
  if (!c.mapTail.empty()) {
    std::string map = f.dir.Read("m.VNM");
    ASSERT_GE(map.size(), c.mapTail.size());
    EXPECT_EQ(map.substr(map.size() - c.mapTail.size()), c.mapTail);
  }
}

const std::string kSys = "MPROC SYSTEM;\r\nVAR A, B: XVR;\r\nBEGIN\r\n";
const std::string kError = "***ERROR***\r\n\x1a";

INSTANTIATE_TEST_SUITE_P(
    PassOne, MprocMessages,
    ::testing::Values(
        Case{"NoModidParameter", "MPROC M(VAR Q: XVR);\r\nVAR L: XVR;\r\nBEGIN\r\nEND;\r\n" + kSys + "END;\r\n",
             {"19 NEED MODID IN CURRENT MPROC", "19  FATAL SYNTAX ERR"}, "Stopped"},
        Case{"MforSyntax", kSys + "  MFOR J := 1 TO 2 DO\r\n    COPY(A, B);\r\nEND;\r\n", {"21 MFOR SYNTAX ERR"}, "Err Halt"},
        Case{"UndefinedProcedure", kSys + "  NOSUCH(A, B);\r\nEND;\r\n", {"21 UNDEFINED PROCEDURE", "NOSUCH"}, "Err Halt"},
        Case{"UndefinedIdentifier", kSys + "  COPY(A, C);\r\nEND;\r\n", {"21 UNDEFINED IDENTIFIER C"}, "Err Halt"},
        Case{"TooFewParameters", kSys + "  COPY(A);\r\nEND;\r\n", {"21 NUMBER-OF-PARAMETERS MISMATCH"}, "Err Halt"},
        Case{"RecordTypeAccepted", "XVTYPE R = RECORD V: XVR END;\r\n" + kSys + "  COPY(A, B);\r\nEND;\r\n", {}, ""},
        Case{"ModidNotString", kTank + kSys + "  TANK(T1, A);\r\nEND;\r\n", {"27 MODID IS NOT STRING"}, "Err Halt"},
        Case{"UnderscoreInModid", kTank + kSys + "  TANK('T_1', A);\r\nEND;\r\n", {"T_1", "27 '_' NOT ALLOWED IN NAME"}, "Err Halt"},
        Case{"NonXvrVariable", "MPROC SYSTEM;\r\nVAR K: REAL;\r\nBEGIN\r\nEND;\r\n", {"19 Non-XVR VARIABLE DEF IN MPROC"}, "Err Halt"},
        Case{"MprocAfterSystem", kSys + "END;\r\n" + kTank, {"22 MPROC DEFINED AFTER MPROC SYSTEM"}, "Err Halt"},
        Case{"LoopBoundNotFixed", kTank + "MPROC SYSTEM;\r\nVAR A: ARRAY[1..3] OF XVR;\r\n  _J: INTEGER;\r\nBEGIN\r\n"
                     "  MFOR _J := 1 TO N DO\r\n    TANK('T', A[_J]);\r\nEND;\r\n",
             {"29 NEED FIXED CONSTANTS FOR LOOP WITH MPROC CALL INSIDE"}, "Err Halt"},
        // A local no call of the MPROC uses; one passed on only to a nested
        // MPROC call is used, and so is the nested call's own state.
        Case{"UnusedLocal", "MPROC U(M: MODID; VAR Q: XVR);\r\nVAR L, S: XVR;\r\nBEGIN\r\n  COPY(Q, L);\r\nEND;\r\n" + kSys +
                 "  U('U1', A);\r\nEND;\r\n",
             {"U1 U", "26 --Prob with this call--check MPROC definition, mode 2"}, "Err Halt"},
        Case{"LocalPassedOnIsUsed", kTank + "MPROC W(M: MODID; VAR Q: XVR);\r\nVAR L: XVR;\r\nBEGIN\r\n  COPY(Q, L);\r\n"
                     "  TANK('T', L);\r\nEND;\r\n" + kSys + "  W('W1', A);\r\nEND;\r\n",
             {}, ""}),
    krv::testing::CaseName{});

INSTANTIATE_TEST_SUITE_P(
    PassTwo, MprocMessages,
    ::testing::Values(
        Case{"NoSystem", "", {"NO MPROC SYSTEM IN THE MODEL"}, "", "     #\r\n" + kError},
        Case{"DuplicateOutput", kSys + "  COPY(A, B);\r\n  COPY(A, B);\r\nEND;\r\n", {"DUPLICATE OUTPUT ERROR at 1"}, "", kError},
        Case{"IndexOutOfRange", "MPROC SYSTEM;\r\nVAR A: ARRAY[0..3] OF XVR;\r\n  _J: INTEGER;\r\nBEGIN\r\n"
             "  MFOR _J := 1 TO 4 DO\r\n    COPY(A[_J-1], A[_J]);\r\nEND;\r\n",
             {"INDEX OUT OF RANGE in A 0..3 with IXVAL=4"}, "", kError},
        Case{"OutputsNotInputs", kSys + "  ODD(A, A, B);\r\nEND;\r\n", {"NUMBER OF OUTPUTS<>NUMBER OF INPUTS IN XDXPROC", "ODD"}, "",
             kError},
        Case{"FixedVariableReused", kSys + "  QTLFIX(A, B);\r\n  COPY(B, A);\r\nEND;\r\n",
             {"DUPLICATE OUTPUT ERROR at 0", "MULTI-USE OF CONTROL OR FIXED VARIABLE 1"}, "", kError}),
    krv::testing::CaseName{});

// Seventeen levels of MPROCs, each calling the one before.
TEST(Mproc, NestingDeeperThan16IsRefused) {
  std::string src = kEquations + "MPROC L0(M: MODID; VAR Q: XVR);\r\nVAR A: XVR;\r\nBEGIN\r\n  COPY(Q, A);\r\nEND;\r\n";
  for (int i = 1; i <= 16; ++i)
    src += "MPROC L" + std::to_string(i) + "(M: MODID; VAR Q: XVR);\r\nVAR A: XVR;\r\nBEGIN\r\n  L" +
           std::to_string(i - 1) + "('N', Q);\r\n  COPY(Q, A);\r\nEND;\r\n";
  src += "MPROC SYSTEM;\r\nVAR Q: XVR;\r\nBEGIN\r\n  L16('TOP', Q);\r\nEND;\r\n";
  RunFixture f;
  f.Run(src);
  EXPECT_EQ(f.Messages(), (std::vector<std::string>{"EXCEED 16 MPROC NESTING LMT", "_M"}));
  EXPECT_TRUE(f.Finished()) << f.LastLine();
}

// A variable-length group, an equation procedure on it and an MPROC with a
// variable-length parameter and internal.
const std::string kVecBank =
    "XVTYPE (VEC, VEC2) = GROUPSEC V : ( VARRAY [ N ] OF , ARRAY [ 1 .. 2 ] OF ) XVR ;\r\n"
    "XPROC CP(VARIN A: VEC; VAROT B: VEC);\r\nVAR K: INTEGER;\r\nBEGIN\r\n"
    "  FOR K := 1 TO N DO B.V[K] := A.V[K]\r\nEND;\r\n"
    "MPROC BANK(M: MODID; VAR X: VEC);\r\nVAR DX: VEC;\r\n  _J: INTEGER;\r\nBEGIN\r\n"
    "  CP(X, DX);\r\n  MFOR _J := 1 TO N DO\r\n    QTLINTEG(X.V[_J], DX.V[_J]);\r\nEND;\r\n";

TEST(Mproc, VariableLengthParameterAndInternalGetOverlaysAndSizes) {
  RunFixture f;
  f.Run(kVecBank +
        "MPROC SYSTEM;\r\nVAR S: VEC2;\r\nBEGIN\r\n  BANK('B', S);\r\nEND;\r\n");
  ASSERT_TRUE(f.Finished()) << f.LastLine();
  std::string psy = f.dir.Read("m.PSY");
  EXPECT_NE(psy.find("PROCEDURE BANK(constref M: MODID; VAR QTLA0;N:SMALLINT;VAR QTLB0 );\r\n"
                     "VAR _M_DX:VEC ABSOLUTE QTLB0;\r\nVAR X:VEC ABSOLUTE QTLA0;"),
            std::string::npos)
      << psy;
  EXPECT_NE(psy.find("IF _BS OR QTLC(N,@X) OR QTLC(N,@_M_DX) THEN BEGIN \r\n  CP(X, _M_DX,N);"),
            std::string::npos)
      << psy;
  EXPECT_NE(psy.find("  BANK('B', _X.S,2,_X.B_DX);"), std::string::npos) << psy;
  EXPECT_EQ(Map(f),
            "   0 IO  _X.S.V[1]\r\n   1 IO  _X.S.V[2]\r\n   2 IO  _X.B_DX.V[1]\r\n   3 IO  _X.B_DX.V[2]\r\n"
            "     #\r\n    2    0 0 0\r\n    2    1 0 0\r\n    3    0 0 0\r\n    3    1 0 0\r\n"
            "    0    2 0 1\r\n    1    3 0 1\r\n\x1a");
}

// A GROUPREC member holds a shared plain field beside its section: only the
// section's elements are the VARRAY's count, for the size argument and MFOR.
TEST(Mproc, GrouprecMemberCountsOnlyItsSectionsElements) {
  RunFixture f;
  f.Run("XVTYPE (S1, S2) = GROUPSEC C : ( VARRAY [ N ] OF , ARRAY [ 1 .. 3 ] OF ) XVR ;\r\n"
        "  (GA, GB) = GROUPREC P: XVR; V : ( S1 , S2 ) ;\r\n"
        "XPROC CP(VARIN A: GA; VAROT B: GA);\r\nVAR K: INTEGER;\r\nBEGIN\r\n"
        "  FOR K := 1 TO N DO B.V.C[K] := A.V.C[K]\r\nEND;\r\n"
        "MPROC BANK(M: MODID; VAR X: GA);\r\nVAR DX: GA;\r\n  _J: INTEGER;\r\nBEGIN\r\n"
        "  CP(X, DX);\r\n  MFOR _J := 1 TO N DO\r\n    QTLINTEG(X.V.C[_J], DX.V.C[_J]);\r\nEND;\r\n"
        "MPROC SYSTEM;\r\nVAR S: GB;\r\nBEGIN\r\n  BANK('B', S);\r\nEND;\r\n");
  ASSERT_TRUE(f.Finished()) << f.log.Text();
  EXPECT_EQ(f.Messages(), std::vector<std::string>()) << f.log.Text();
  std::string psy = f.dir.Read("m.PSY");
  EXPECT_NE(psy.find("  BANK('B', _X.S,3,_X.B_DX);"), std::string::npos) << psy;
  std::string map = Map(f);
  // Three integrations, one per element, and none past the VARRAY.
  size_t integrations = 0;
  for (size_t at = 0; (at = map.find(" 0 1\r\n", at)) != std::string::npos; ++at) ++integrations;
  EXPECT_EQ(integrations, 3u) << map;
  EXPECT_EQ(map.find("***ERROR***"), std::string::npos) << map;
}

// A variable-length internal passed up through an MFOR would be an array of
// variable-length records, which no layout holds.
TEST(Mproc, VariableLengthInternalInsideAnMforIsRefused) {
  RunFixture f;
  f.Run(kVecBank +
        "MPROC OUTER(M: MODID; VAR X: VEC);\r\nVAR _J: INTEGER;\r\nBEGIN\r\n"
        "  MFOR _J := 1 TO 2 DO\r\n    BANK('B', X);\r\nEND;\r\n"
        "MPROC SYSTEM;\r\nVAR S: VEC2;\r\nBEGIN\r\n  OUTER('O', S);\r\nEND;\r\n");
  EXPECT_EQ(f.Messages(),
            (std::vector<std::string>{"MORE THAN ONE ARRAY DIMENSION IN A VARIABLE-LENGTH INTERNAL VARIABLE",
                                      "_M_B_DX[_J]"}));
  EXPECT_TRUE(f.Finished()) << f.LastLine();
  EXPECT_NE(Map(f).find("     #\r\n***ERROR***\r\n\x1a"), std::string::npos) << Map(f);
}

TEST(Mproc, AVariableLengthRecordOutsideAGroupTakesOnlyItself) {
  RunFixture f;
  f.Run("XVTYPE (VEC, VEC2) = GROUPSEC V : ( VARRAY [ N ] OF , ARRAY [ 1 .. 2 ] OF ) XVR ;\r\n"
        "  R = RECORD P: XVR; Q: VEC END;\r\n"
        "XPROC CPR(VARIN A: R; VAROT B: XVR);\r\nBEGIN\r\n  B := A.P\r\nEND;\r\n"
        "MPROC SYSTEM;\r\nVAR X, Y: XVR;\r\nBEGIN\r\n  CPR(X, Y);\r\nEND;\r\n");
  EXPECT_EQ(f.Messages().at(0), "10 PARAM TYPE NOT IN GROUP XVR") << f.log.Text();
  EXPECT_EQ(f.LastLine(), "Err Halt");
}

TEST(Mproc, StateOfSystemIsNumberedByNameAndTablesSurviveAStop) {
  RunFixture f;
  // SYSTEM without locals comes after TANK, whose locals type closes the chain.
  f.Run(kEquations + kTank + "MPROC SYSTEM;\r\nBEGIN\r\nEND;\r\n");
  ASSERT_TRUE(f.Finished()) << f.LastLine();
  EXPECT_EQ(Map(f), "     #\r\n\x1a");
  RunFixture g;
  g.Run(kEquations + "MPROC M(VAR Q: XVR);\r\nVAR L: XVR;\r\nBEGIN\r\n  COPY(Q, L);\r\nEND;\r\n");
  EXPECT_EQ(g.LastLine(), "Stopped");
  Debug1Click(g.pp);  // the half-built tables are still there to read
  EXPECT_NE(g.dir.Read("DMPTABLE.txt").find("**MPROC M\r\n"), std::string::npos);
}

TEST(Mproc, CallMessagesAboutGroupsAndUnusedFormals) {
  const std::string types = "XVTYPE (VEC, V2, V3) = GROUPSEC V : ( VARRAY [ N ] OF , ARRAY [ 1 .. 2 ] OF ,"
                            " ARRAY [ 1 .. 3 ] OF ) XVR ;\r\n"
                            "XPROC CP(VARIN A: VEC; VAROT B: VEC);\r\nVAR K: INTEGER;\r\nBEGIN\r\n"
                            "  FOR K := 1 TO N DO B.V[K] := A.V[K]\r\nEND;\r\n";
  RunFixture f;
  f.Run(types + "MPROC SYSTEM;\r\nVAR S: V2; T: V3;\r\nBEGIN\r\n  CP(S, T);\r\nEND;\r\n");
  EXPECT_EQ(f.Messages(), (std::vector<std::string>{"10 MORE THAN 1 MEMBER OF SAME GROUP PRESENT V2"}));
  RunFixture g;
  g.Run(kEquations + "MPROC M(I: MODID; VAR Q, R: XVR);\r\nVAR L: XVR;\r\nBEGIN\r\n  COPY(Q, L);\r\nEND;\r\n" +
        kSys + "  M('A', A, B);\r\nEND;\r\n");
  EXPECT_EQ(g.Messages(), (std::vector<std::string>{"Warning, unused variable within MPROC called at line 26"}));
  EXPECT_TRUE(g.Finished()) << g.LastLine();
}

TEST(Mproc, MoreOutputsThanTheDuplicateTableHoldsAreReported) {
  RunFixture f;
  f.Run(kEquations + "MPROC SYSTEM;\r\nVAR A, B: XVR;\r\n  _J: INTEGER;\r\nBEGIN\r\n"
        "  MFOR _J := 1 TO 11001 DO\r\n    SOURCE(B);\r\nEND;\r\n");
  EXPECT_EQ(f.Messages(), (std::vector<std::string>{"MORE THAN 11000 OUTPUTS: DUPLICATE CHECK NOT POSSIBLE"}));
}

TEST(Mproc, StorageLettersRunOutAfter36) {
  const std::string vec = "XVTYPE (VEC, V2) = GROUPSEC V : ( VARRAY [ N ] OF , ARRAY [ 1 .. 2 ] OF ) XVR ;\r\n";
  std::string names, decl;
  for (int i = 0; i < 37; ++i) names += (i ? ", P" : "P") + std::to_string(i);
  RunFixture f;
  f.Run(vec + "XPROC A(VARIN " + names + ": VEC; VAROT Y: XVR);\r\nBEGIN\r\n  Y := 1\r\nEND;\r\n" + kEmptySystem);
  auto m = f.Messages();
  ASSERT_FALSE(m.empty());
  EXPECT_EQ(m[0], "2 PP ERR ABSOVFL");

  RunFixture g;
  g.Run(vec + "MPROC B(M: MODID; VAR X: VEC);\r\nVAR " + names + ": VEC;\r\nBEGIN\r\nEND;\r\n" +
        "MPROC SYSTEM;\r\nVAR S: V2;\r\nBEGIN\r\n  B('K', S);\r\nEND;\r\n");
  EXPECT_EQ(g.Messages(), (std::vector<std::string>{"Warning, unused variable within MPROC called at line 9",
                                                   "INTV OVFL"}));
  EXPECT_NE(g.dir.Read("m.VNM").find(kError), std::string::npos);
}

TEST(Mproc, ExpansionBeyondAnyMapIsRefusedNotRunForever) {
  RunFixture f;
  f.Run("XVTYPE BIG = RECORD W: ARRAY[1..1500] OF XVR END;\r\n"
        "XPROC ALL(VARIN A: BIG; VAROT B: BIG);\r\nBEGIN\r\n  B.W[1] := A.W[1]\r\nEND;\r\n"
        "MPROC SYSTEM;\r\nVAR A, B: BIG;\r\n  _J: INTEGER;\r\nBEGIN\r\n"
        "  MFOR _J := 1 TO 999999999 DO\r\n    ALL(A, B);\r\nEND;\r\n");
  auto m = f.Messages();
  ASSERT_FALSE(m.empty());
  EXPECT_EQ(m[0], "MODEL TOO LARGE TO EXPAND");
  EXPECT_NE(f.dir.Read("m.VNM").find(kError), std::string::npos);
}

TEST(Mproc, HugeArraysWithoutVariablesCostNothing) {
  RunFixture f;
  f.Run("XVTYPE E = RECORD END; F = RECORD X: ARRAY[1..32767] OF E END; G = RECORD Y: ARRAY[1..32767] OF F END;\r\n"
        "XPROC P(VARIN A: G; VAROT B: XVR);\r\nBEGIN\r\n  B := SIZEOF(A)\r\nEND;\r\n"
        "MPROC SYSTEM;\r\nVAR A: G; B: XVR;\r\nBEGIN\r\n  P(A, B);\r\nEND;\r\n");
  ASSERT_TRUE(f.Finished()) << f.LastLine();
  EXPECT_EQ(Map(f), "   0 *O  _X.B\r\n     #\r\n\x1a");
}

TEST(Mproc, MapWithMoreThan10000VariablesIsRefusedNotShifted) {
  RunFixture f;
  f.Run(kEquations + "MPROC SYSTEM;\r\nVAR A: ARRAY[1..10001] OF XVR;\r\nBEGIN\r\n  COPY(A[1], A[2]);\r\nEND;\r\n");
  EXPECT_EQ(f.Messages(), (std::vector<std::string>{"MORE THAN 10000 VARIABLES IN THE MODEL"}));
  std::string map = f.dir.Read("m.VNM");
  EXPECT_NE(map.find("9999 **  _X.A[10000]\r\n     #\r\n"), std::string::npos);
  EXPECT_EQ(map.substr(map.size() - 14), kError);
}

TEST(Mproc, RunStoppedInPassTwoLeavesAMapThatReadersRefuse) {
  std::string src = "MPROC SYSTEM;\r\nVAR A: ARRAY[1..2] OF XVR;\r\n  _J: INTEGER;\r\nBEGIN\r\n";
  for (int i = 0; i < 4; ++i) src += "  MFOR _J := 5 TO 5 DO\r\n    COPY(A[_J], A[_J]);\r\n";
  RunFixture f;
  f.Run(kEquations + src + "END;\r\n");
  EXPECT_EQ(f.LastLine(), "Stopped");
  EXPECT_EQ(f.dir.Read("m.VNM"), f.pp.Label() + "\r\n" + kError);
  std::string psy = f.dir.Read("m.PSY");
  EXPECT_NE(psy.find("PROCEDURE SYSTEMMC"), std::string::npos);
}

}  // namespace
}  // namespace krv::pp::test
