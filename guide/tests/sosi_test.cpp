// The SOSI road without windows: expression rewriter, tokenizer, parser,
// model-source generator and the conversion command.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "guide/expression_rewriter.h"
#include "guide/sosi_generator.h"
#include "guide/sosi_parser.h"
#include "guide/memo_text.h"
#include "guide/sosi_text.h"
#include "platform/user_prompts.h"
#include "testing/temp_dir.h"

namespace krv::guide {
namespace {

using platform::Answer;
using platform::ScriptedPrompts;
using testing::ScopedCwd;
using testing::TempDir;

std::string CrLf(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += l + "\r\n";
  return s;
}

std::string ReadSource(const std::string& rel) {
  std::ifstream f(std::filesystem::path(KRV_SOURCE_DIR) / rel, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// ---- Expression rewriter ----

TEST(ExpressionRewriter, TemporaryNamesCountInBase16LowDigitFirst) {
  EXPECT_EQ(TemporaryName(0), "%00");
  EXPECT_EQ(TemporaryName(1), "%10");
  EXPECT_EQ(TemporaryName(10), "%J0");
  EXPECT_EQ(TemporaryName(15), "%O0");
  EXPECT_EQ(TemporaryName(16), "%01");
  EXPECT_EQ(TemporaryName(199), "%7L");
}

TEST(ExpressionRewriter, RewritesAndReports) {
  struct Case {
    const char* in;
    const char* out;      // the stored text, or empty after an error
    const char* message;  // the one message shown, or empty
  } cases[] = {
      {"A^2+@LN(B);", "((AXB(A,2))+(LN(B)));", ""},
      {"-K*X^2+@LN(Y);", "(((-K)*(AXB(X,2)))+(LN(Y)));", ""},
      {"(A+B)^(1/2);", "(AXB((A+B),(1/2)));", ""},
      {"2^3^2;", "(AXB((AXB(2,3)),2));", ""},
      {"-X^2;", "(AXB((-X),2));", ""},
      {"X^-2E-3;", "", "Err: Syntax Err at 4:(X^-2E-3)"},
      {"A-B-C^2;", "((A-B)-(AXB(C,2)));", ""},
      {"A/B*C^1.5E+2;", "((A/B)*(AXB(C,1.5E+2)));", ""},
      {"-(X^2)+@EXP(-X)+@SIN(X)*@COS(X)/2;",
       "(((-(AXB(X,2)))+(EXP((-X))))+(((SIN(X))*(COS(X)))/2));", ""},
      // Without a power only the function marks go, the layout stays.
      {"K*@LN(Y)+3;", "K*LN(Y)+3;", ""},
      {"A B+@EXP(-X);", "A B+EXP(-X);", ""},
      {"(X^2;", "", "Err: Unbalanced parens at 1:((X^2)"},
      {"@SQRT(X)^2;", "", "Err: Function syntax err at 2:(@SQRT(X)^2)"},
      {"@EXPO(X)^2;", "", "Err: Function syntax err at 2:(@EXPO(X)^2)"},
      {"X^-2;", "", "Err: Syntax Err at 4:(X^-2)"},
      {"A*-B^2;", "", "Err: Syntax Err at 4:(A*-B^2)"},
      {"X^;", "", "Err: Syntax Err at 4:(X^)"},
      {"A B^2;", "", "Err: Syntax Err at 3:(A B^2)"},
      {"@LN(A,B)^2;", "", "Err: Syntax Err at 7:(@LN(A,B)^2)"},
      {"X)^(Y;", "", "Err: Syntax Err at 2:X^(Y)"},
      {"()^2;", "", "Err: Syntax Err at 3:(()^2)"},
      {"@(X)^2;", "", "Err: Function syntax err at 2:(@(X)^2)"},
      // A temporary's name in the text could expand into itself.
      {"%00^2;", "", "Err: Syntax Err at 2:(%00^2)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    ScriptedPrompts prompts;
    std::string text = c.in;
    bool ok = RewriteEquation(text);
    EXPECT_EQ(ok, *c.message == '\0');
    if (ok) {
      EXPECT_EQ(text, c.out);
      EXPECT_TRUE(prompts.messages.empty());
    } else {
      EXPECT_EQ(text, c.in) << "a failed rewrite keeps the text";
      EXPECT_EQ(prompts.messages, std::vector<std::string>{c.message});
    }
  }
}

// Seventeen operations: the last one's name carries into the high digit.
TEST(ExpressionRewriter, SeventeenOperationsRebuildFromTheLast) {
  std::string in, want = "X1^2";
  for (int k = 1; k <= 9; ++k) in += (k > 1 ? "+" : "") + ("X" + std::to_string(k)) + "^2";
  // Level 1 makes operations 0..8; the eight additions 9..16.
  want = "(AXB(X1,2))";
  for (int k = 2; k <= 9; ++k) want = "(" + want + "+(AXB(X" + std::to_string(k) + ",2)))";
  ExpressionRewriter r;
  r.ParseExpression(in + ";");
  ASSERT_FALSE(r.Failed());
  ASSERT_EQ(r.Operations().size(), 17u);
  EXPECT_EQ(r.Working(), "%01");
  std::string text = in + ";";
  ASSERT_TRUE(RewriteEquation(text));
  EXPECT_EQ(text, want + ";");
}

TEST(ExpressionRewriter, LongExpressionsAreNotCutAndTooManyOperationsAreRefused) {
  // 200 operations fit: 100 powers and 99 additions and one more power.
  std::string in;
  for (int k = 0; k < 100; ++k) in += (k ? "+" : "") + std::string("ALONGNAMEFORTHEVARIABLE") + "^2";
  std::string text = in + ";";
  ScriptedPrompts prompts;
  ASSERT_TRUE(RewriteEquation(text));
  EXPECT_GT(text.size(), 2000u);
  EXPECT_EQ(std::count(text.begin(), text.end(), '('), std::count(text.begin(), text.end(), ')'));
  size_t n = 0;
  for (size_t at = text.find("AXB(ALONGNAMEFORTHEVARIABLE,2)"); at != std::string::npos;
       at = text.find("AXB(ALONGNAMEFORTHEVARIABLE,2)", at + 1))
    ++n;
  EXPECT_EQ(n, 100u);
  EXPECT_EQ(text.substr(text.size() - 2), ");");

  text = "(" + in + ")^2;";
  ExpressionRewriter fits;
  fits.ParseExpression(text);
  EXPECT_FALSE(fits.Failed());
  EXPECT_EQ(fits.Operations().size(), 200u);

  text = "(" + in + ")^2^2;";
  EXPECT_FALSE(RewriteEquation(text));
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].rfind("Err: Too many operations at 2:(%7L^2)", 0), 0u) << prompts.messages[0];
}

TEST(ExpressionRewriter, DeepNestingIsRefusedNotRecursedInto) {
  ScriptedPrompts prompts;
  std::string text = std::string(200, '(') + "X^2" + std::string(200, ')') + ";";
  EXPECT_TRUE(RewriteEquation(text));
  text = std::string(100000, '(') + "X^2" + std::string(100000, ')') + ";";
  EXPECT_FALSE(RewriteEquation(text));
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].rfind("Err: Too deeply nested at 257:(((", 0), 0u);
}

TEST(ExpressionRewriter, ExpandTemporaryOutsideTheTableIsEmpty) {
  ExpressionRewriter r;
  r.ParseExpression("A^B;");
  EXPECT_EQ(r.ExpandTemporary(0), "@AXB(A,B)");
  EXPECT_EQ(r.ExpandTemporary(1), "");
  EXPECT_EQ(r.ExpandTemporary(-1), "");
}

// ---- Tokenizer ----

struct Token {
  std::string text;
  char delimiter;
  int kind;
  bool found;
  bool bad;
};

std::vector<Token> Tokens(const std::string& text, std::string* expression = nullptr) {
  SosiScanner s;
  s.text = text;
  std::vector<Token> out;
  for (int guard = 0; guard < 100; ++guard) {
    Token t;
    t.found = NextSosiToken(s, t.text, t.delimiter, t.kind);
    t.bad = s.badNumber;
    out.push_back(t);
    if (!t.found) break;
  }
  if (expression) *expression = s.expression;
  return out;
}

TEST(SosiTokenizer, TokensDelimitersAndKinds) {
  struct Case {
    const char* text;
    std::vector<std::string> tokens;  // "token|delimiter|kind", '0' for NUL
    const char* expression;
  } cases[] = {
      {"y = 1.5e+3*x;", {"Y|=|2", "1.5E+3|*|1", "X|;|2", "|0|3"}, "Y=1.5E+3*X;"},
      {"a b\t\r\n c", {"A| |2", "B| |2", "C|0|2"}, "A B C"},
      {"ln (x)", {"LN|(|2", "X|)|2", "|0|3"}, "@LN(X)"},
      {"(-x)", {"|(|0", "|-|0", "X|)|2", "|0|3"}, "(-X)"},
      {"end;", {"END|;|3", "|0|3"}, ""},
      {"x END", {"X| |2", "END|0|3"}, "X "},
      {".5*x", {"0.5|*|1", "X|0|2"}, "0.5*X"},
      {"3", {"3|0|1"}, "3"},
      {"", {"|0|3"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string expr;
    auto toks = Tokens(c.text, &expr);
    std::vector<std::string> got;
    for (const auto& t : toks)
      got.push_back(t.text + "|" + (t.delimiter ? std::string(1, t.delimiter) : "0") + "|" +
                    std::to_string(t.kind));
    EXPECT_EQ(got, c.tokens);
    EXPECT_EQ(expr, c.expression);
    for (const auto& t : toks) {
      EXPECT_FALSE(t.bad) << t.text;
      EXPECT_EQ(t.found, t.delimiter != '\0');
    }
  }
}

TEST(SosiTokenizer, IdentifiersKeepTheirFirst31Characters) {
  auto toks = Tokens(std::string(40, 'a') + "9=");
  EXPECT_EQ(toks[0].text, std::string(31, 'A'));
  EXPECT_EQ(toks[0].delimiter, '=');
}

TEST(SosiTokenizer, MalformedNumbersAreMarked) {
  for (const char* text : {"1E5*X;", "1E;", "1.2.3;", "1E+;", "1e-", ".;", "2E"}) {
    SCOPED_TRACE(text);
    EXPECT_TRUE(Tokens(text)[0].bad);
  }
  for (const char* text : {"1E+5;", "1.;", "0.25;", "12"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(Tokens(text)[0].bad);
  }
}

// ---- Parser ----

struct Parsed {
  bool ok = false;
  SosiTables tables;
  std::vector<std::string> messages;
};

Parsed Parse(const std::string& text) {
  ScriptedPrompts prompts;
  Parsed p;
  p.ok = ParseSosiFile(text, p.tables);
  p.messages = prompts.messages;
  EXPECT_EQ(p.ok, p.tables.SosiParsedOk);
  return p;
}

const char* const kExample[] = {"PARAM", "K = 0.5;", "EQUATIONS", "TDERIV(X) = -K*X;",
                                "Y = 2*X+U;", "END"};

TEST(SosiParser, TheExampleFillsTheTables) {
  Parsed p = Parse(CrLf({std::begin(kExample), std::end(kExample)}));
  ASSERT_TRUE(p.ok) << p.tables.errorAt;
  EXPECT_TRUE(p.messages.empty());
  ASSERT_EQ(p.tables.SosiParams.size(), 1u);
  EXPECT_EQ(p.tables.SosiParams[0].name, "K");
  EXPECT_EQ(p.tables.SosiParams[0].value, "0.5");
  ASSERT_EQ(p.tables.SosiEquations.size(), 2u);
  EXPECT_EQ(p.tables.SosiEquations[0].variable, "X");
  EXPECT_EQ(p.tables.SosiEquations[0].kind, SosiEquationKind::kDerivative);
  EXPECT_EQ(p.tables.SosiEquations[0].inputs, std::vector<std::string>{"X"});
  EXPECT_EQ(p.tables.SosiEquations[1].variable, "Y");
  EXPECT_EQ(p.tables.SosiEquations[1].kind, SosiEquationKind::kPlain);
  EXPECT_EQ(p.tables.SosiEquations[1].inputs, (std::vector<std::string>{"X", "U"}));
  EXPECT_EQ(p.tables.SosiExprText, (std::vector<std::string>{"-K*X;", "2*X+U;"}));
}

TEST(SosiParser, AcceptedTexts) {
  struct Case {
    const char* text;
    std::vector<std::string> params;  // "name=value"
    std::vector<std::string> equations;  // "kind variable: inputs -> expression"
  } cases[] = {
      {"PARAMETERS\n k = 1; EQUATIONS\n y = k*ln(x) + exp(x) + sin(x) + cos(x) + x;\n",
       {"K=1"}, {"= Y: X -> K*LN(X)+EXP(X)+SIN(X)+COS(X)+X;"}},
      {"param\tc=2;q;r=1.5E+3; equations fix(a, b) = 2*c; END",
       {"C=2", "R=1.5E+3"}, {"fix A: B -> 2*C;"}},
      // No END after the last ";", and a last line without its line break.
      {"PARAMS\r\nEQUATIONS\r\ntderiv(g)=.125;\r\ny = g^2;", {}, {"d G:  -> 0.125;", "= Y: G -> (AXB(G,2));"}},
      // An equation ended by the end word alone; a file that stops right after END.
      {"PARAM EQUATIONS y = x^2\r\nEND", {}, {"= Y: X -> (AXB(X,2));"}},
      {"PARAM EQUATIONS y = x\r\n", {}, {"= Y: X -> X"}},
      {"PARAM EQUATIONS z = fix(y); fix(a,b)=b+c+b;", {},
       {"= Z: Y -> FIX(Y);", "fix A: B,C -> B+C+B;"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Parsed p = Parse(c.text);
    ASSERT_TRUE(p.ok) << p.tables.errorAt;
    std::vector<std::string> params, eqs;
    for (const auto& q : p.tables.SosiParams) params.push_back(q.name + "=" + q.value);
    for (size_t i = 0; i < p.tables.SosiEquations.size(); ++i) {
      const auto& e = p.tables.SosiEquations[i];
      std::string s = e.kind == SosiEquationKind::kFix ? "fix " : e.kind == SosiEquationKind::kDerivative ? "d " : "= ";
      s += e.variable + ": ";
      for (size_t k = 0; k < e.inputs.size(); ++k) s += (k ? "," : "") + e.inputs[k];
      eqs.push_back(s + " -> " + p.tables.SosiExprText[i]);
    }
    EXPECT_EQ(params, c.params);
    EXPECT_EQ(eqs, c.equations);
  }
}

TEST(SosiParser, ErrorsStopWhereScanningStopped) {
  struct Case {
    const char* text;
    size_t at;  // characters consumed when the error was found
    const char* rewriterMessage;
  } cases[] = {
      {"PARAM;", 6, ""},
      {"PARAMETERS k = -0.5; EQUATIONS", 16, ""},
      {"PARAMETERS k = 1 EQUATIONS", 17, ""},
      {"PARAM k = 1;", 12, ""},
      {"", 0, ""},
      {"PARAM\r\nEQUATIONS\r\ny = 1E5*x;\r\n", 24, ""},
      {"PARAM EQUATIONS y = 1E;", 23, ""},
      {"PARAM EQUATIONS y = 1.2.3;", 26, ""},
      {"PARAM k = 1E5; EQUATIONS", 12, ""},
      {"PARAM EQUATIONS tderiv() = 1;", 24, ""},
      {"PARAM EQUATIONS tderiv(5) = 1;", 25, ""},
      {"PARAM EQUATIONS fix(,y) = 1;", 21, ""},
      {"PARAM EQUATIONS fix(x,3) = 1;", 24, ""},
      {"PARAM EQUATIONS tderiv(x) q = 1;", 29, ""},
      {"PARAM EQUATIONS tderiv x = 1;", 23, ""},
      {"PARAM EQUATIONS y x = 1;", 18, ""},
      {"PARAM EQUATIONS y = 1;;", 23, ""},
      {"PARAM EQUATIONS 5 = 1;", 19, ""},
      {"PARAM EQUATIONS y", 17, ""},
      // No equations: the model would have no variables.
      {"PARAM EQUATIONS END", 19, ""},
      {"PARAMETERS\r\n k = 1;\r\nEQUATIONS\r\n", 32, ""},
      {"PARAM EQUATIONS y = (x^2;\r\nz = 1;", 25, "Err: Unbalanced parens at 1:((X^2)"},
      {"PARAM EQUATIONS y = x^-2;", 25, "Err: Syntax Err at 4:(X^-2)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Parsed p = Parse(c.text);
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.tables.errorAt, c.at);
    std::vector<std::string> want;
    if (*c.rewriterMessage) want.push_back(c.rewriterMessage);
    want.push_back("Error");
    EXPECT_EQ(p.messages, want);
  }
}

TEST(SosiParser, MarkPositionsCountALineBreakOnce) {
  const std::string file = "PARAM\r\nK = -1;\r\n";
  // "-" stops the scan after 12 bytes: 11 characters of the memo.
  Parsed p = Parse(file);
  ASSERT_EQ(p.tables.errorAt, 12u);
  EXPECT_EQ(MemoPosition(file, p.tables.errorAt), 11u);
  EXPECT_EQ(MemoTextFromFile(file).substr(11, 2), "1;");
  EXPECT_EQ(MemoPosition(file, 1000), 13u);
  EXPECT_EQ(MemoPosition("A\nB", 2), 2u);
}

// ---- Generator ----

std::string Generate(const std::string& sosi) {
  Parsed p = Parse(sosi);
  EXPECT_TRUE(p.ok) << sosi;
  return WriteModelSource(p.tables);
}

const std::vector<std::string> kFixedPart = {
    "function AXB(A,B:DOUBLE):DOUBLE;", "begin", "   AXB:=AEXP(B*ALOG(A));", "end;", "",
    "procedure SETUP;", "begin", " ", "end;", "",
    "procedure TIMESET;", "begin", " ", "end;", "",
    "procedure REPORT;", "begin", "end;",
    "procedure ADDSET;", "begin", "end;",
    "procedure USERBPR;", "begin", "end;", ""};

std::vector<std::string> Join(std::vector<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST(SosiGenerator, TheWorkedExampleByteForByte) {
  const std::string want = CrLf(Join({
      {"VAR", "   K:SINGLE;", "", "procedure PARSET;", "begin", "   _PARS(5,'','','K',K,0.5);",
       "end;", ""},
      kFixedPart,
      {"XPROC X_RTcalc(VAROT OTVdot:XVR;", "           VARIN X:XVR);", "begin", "  OTVdot:=",
       "    -K*X;", "end;", " ",
       "XPROC Y_calc(VAROT OTV:XVR;", "           VARIN X,U:XVR);", "begin", "  OTV:=",
       "    2*X+U;", "end;", " ",
       "MPROC SYSTEM;", "VAR", "   X,Xdot,Y,U:XVR;", "begin",
       " X_RTcalc(Xdot", "    ,X);", " qtlInteg(X,Xdot);",
       " Y_calc(Y", "    ,X,U);", "end;"}}));
  EXPECT_EQ(Generate(CrLf({std::begin(kExample), std::end(kExample)})), want);
}

// The shipped sample model is this generator's output for the shipped
// SOSI sample, with a comment in front and a time axis in TIMESET.
TEST(SosiGenerator, ShippedSampleIsTheSampleSosiConverted) {
  std::string qtl = ReadSource("runtime/DSAMPLE.QTL");
  const std::string so = ReadSource("runtime/DSAMPLE.SO");
  ASSERT_FALSE(qtl.empty());
  ASSERT_FALSE(so.empty());
  const size_t comment = qtl.find("}\r\n");
  ASSERT_NE(comment, std::string::npos);
  qtl.erase(0, comment + 3);
  const std::string head = "procedure TIMESET;\r\nbegin\r\n";
  const size_t body = qtl.find(head) + head.size();
  qtl.replace(body, qtl.find("end;", body) - body, " \r\n");
  EXPECT_EQ(Generate(so), qtl);
}

TEST(SosiGenerator, ParameterListsAndFixEquations) {
  // No parameters: the file begins with PARSET, which is empty.
  std::string src = Generate("PARAM EQUATIONS y = 2*x;");
  EXPECT_EQ(src.rfind("procedure PARSET;\r\nbegin\r\nend;\r\n\r\nfunction AXB", 0), 0u);
  // One parameter.
  src = Generate("PARAM abc = 7; EQUATIONS y = abc*x;");
  EXPECT_EQ(src.rfind("VAR\r\n   ABC:SINGLE;\r\n\r\n", 0), 0u);
  EXPECT_NE(src.find("   _PARS(5,'','','ABC',ABC,7);\r\n"), std::string::npos);
  // FIX(A, B) = 2*C;
  src = Generate("PARAM EQUATIONS FIX(A, B) = 2*C;");
  EXPECT_NE(src.find("XPROC B_calc(VAROT OTV:XVR;\r\n           VARIN C:XVR);\r\nbegin\r\n  OTV:=\r\n"
                     "    2*C;\r\nend;\r\n \r\n"),
            std::string::npos);
  EXPECT_NE(src.find("VAR\r\n   A,B,C:XVR;\r\nbegin\r\n B_calc(B\r\n    ,C);\r\n qtlFix(A,B);\r\nend;\r\n"),
            std::string::npos);
  // The system list holds each name once.
  src = Generate("PARAM EQUATIONS tderiv(x) = -x; y = x + z; z = x*y;");
  EXPECT_NE(src.find("\r\n   X,Xdot,Y,Z:XVR;\r\n"), std::string::npos);
}

TEST(SosiGenerator, NameListsWrapBeforeTheFirstCommaPastSixty) {
  // 70 characters, the first comma after position 60 is the 62nd character.
  std::vector<std::string> names = {std::string(30, 'A'), std::string(30, 'B'), "CDEFGH"};
  std::vector<std::string> lines = WrapNameList(names, ":XVR;");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "   " + names[0] + "," + names[1]);
  EXPECT_EQ(lines[0].size(), 3u + 61u);
  EXPECT_EQ(lines[1], "   ,CDEFGH:XVR;");
  // Commas all up to 60 stay on one line, however long the last name.
  names = {std::string(29, 'A'), std::string(29, 'B'), std::string(31, 'C')};
  EXPECT_EQ(WrapNameList(names, ":SINGLE;"),
            std::vector<std::string>{"   " + names[0] + "," + names[1] + "," + names[2] + ":SINGLE;"});
  // Long lists go on in pieces that each begin with their comma.
  names.assign(8, std::string(20, 'N'));
  lines = WrapNameList(names, ";");
  std::string joined;
  for (const auto& l : lines) {
    EXPECT_EQ(l.substr(0, 3), "   ");
    joined += l.substr(3);
  }
  EXPECT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1][3], ',');
  EXPECT_EQ(std::count(joined.begin(), joined.end(), ','), 7);
  EXPECT_EQ(WrapNameList({"P"}, ":SINGLE;"), std::vector<std::string>{"   P:SINGLE;"});
}

TEST(SosiGenerator, EquationsWithoutInputsAndLongNames) {
  // dG/dt = R with R a parameter: no inputs at all.
  std::string src = Generate("PARAM r = 0.125; EQUATIONS tderiv(g) = r; fix(a, b) = 3;");
  EXPECT_NE(src.find("XPROC G_RTcalc(VAROT OTVdot:XVR);\r\nbegin\r\n  OTVdot:=\r\n    R;\r\n"),
            std::string::npos);
  EXPECT_NE(src.find(" G_RTcalc(Gdot\r\n    );\r\n qtlInteg(G,Gdot);\r\n"), std::string::npos);
  EXPECT_NE(src.find("XPROC B_calc(VAROT OTV:XVR);\r\nbegin\r\n"), std::string::npos);
  EXPECT_NE(src.find(" B_calc(B\r\n    );\r\n qtlFix(A,B);\r\n"), std::string::npos);
  EXPECT_EQ(src.find("VARIN"), std::string::npos);

  // A 31-character derivative variable keeps its whole "dot" name.
  const std::string x(31, 'Q');
  src = Generate("PARAM EQUATIONS tderiv(" + x + ") = -" + x + ";");
  EXPECT_NE(src.find("   " + x + "," + x + "dot:XVR;\r\n"), std::string::npos);
  EXPECT_NE(src.find(" qtlInteg(" + x + "," + x + "dot);"), std::string::npos);
}

TEST(SosiGenerator, ManyEquationsHaveNoFixedLimit) {
  std::string sosi = "PARAM\r\n";
  for (int k = 0; k < 150; ++k) sosi += "P" + std::to_string(k) + " = " + std::to_string(k) + ";\r\n";
  sosi += "EQUATIONS\r\n";
  for (int k = 0; k < 150; ++k)
    sosi += "Y" + std::to_string(k) + " = P" + std::to_string(k) + "*X" + std::to_string(k) + ";\r\n";
  Parsed p = Parse(sosi);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.tables.SosiParams.size(), 150u);
  EXPECT_EQ(p.tables.SosiEquations.size(), 150u);
  std::string src = WriteModelSource(p.tables);
  EXPECT_NE(src.find(",Y149,X149:XVR;\r\n"), std::string::npos);
  EXPECT_NE(src.find(",P149:SINGLE;\r\n"), std::string::npos);
}

// ---- Conversion command ----

class ConvertSosiTest : public ::testing::Test {
 protected:
  TempDir work;
  ScopedCwd cwd{work.path()};
  ScriptedPrompts prompts;
};

TEST_F(ConvertSosiTest, WritesTheModelSourceAndSaysFinished) {
  work.Write("P1.SO", CrLf({std::begin(kExample), std::end(kExample)}));
  auto r = ConvertSosi("P1");
  EXPECT_EQ(r.outcome, SosiConversion::kDone);
  EXPECT_EQ(prompts.messages, std::vector<std::string>{"Finished"});
  EXPECT_TRUE(prompts.questions.empty());
  ASSERT_TRUE(work.Has("P1.QTL"));
  EXPECT_EQ(work.Read("P1.QTL").rfind("VAR\r\n   K:SINGLE;\r\n", 0), 0u);
}

TEST_F(ConvertSosiTest, AnExistingSourceIsAskedForAndKeptItsSpelling) {
  work.Write("P1.SO", "PARAM EQUATIONS y = 2;\r\n");
  work.Write("p1.qtl", "old");
  prompts.answers = {Answer::No};
  EXPECT_EQ(ConvertSosi("P1").outcome, SosiConversion::kCancelled);
  EXPECT_EQ(prompts.questions, std::vector<std::string>{"Delete existing QTL source file?"});
  EXPECT_EQ(work.Read("p1.qtl"), "old");
  EXPECT_TRUE(prompts.messages.empty());

  prompts.answers = {Answer::Yes};
  EXPECT_EQ(ConvertSosi("P1").outcome, SosiConversion::kDone);
  EXPECT_NE(work.Read("p1.qtl").find("Y_calc(VAROT OTV:XVR);"), std::string::npos);
  EXPECT_FALSE(work.Has("P1.QTL") && std::filesystem::exists(work.File("P1.QTL")) &&
               !std::filesystem::equivalent(work.File("P1.QTL"), work.File("p1.qtl")));
}

TEST_F(ConvertSosiTest, ErrorsWriteNothing) {
  work.Write("P1.QTL", "old");
  // A parse error, from the rewriter: its report, "Error", nothing written.
  work.Write("P1.SO", "PARAM\r\nEQUATIONS\r\ny = x^-2;\r\n");
  prompts.answers = {Answer::Yes};
  auto r = ConvertSosi("P1");
  EXPECT_EQ(r.outcome, SosiConversion::kParseError);
  EXPECT_EQ(r.text, "PARAM\r\nEQUATIONS\r\ny = x^-2;\r\n");
  EXPECT_EQ(r.errorAt, 27u);
  EXPECT_EQ(prompts.messages, (std::vector<std::string>{"Err: Syntax Err at 4:(X^-2)", "Error"}));
  EXPECT_EQ(work.Read("P1.QTL"), "old");

  // No SOSI file.
  prompts.messages.clear();
  prompts.answers = {Answer::Yes};
  std::filesystem::remove(work.File("P1.SO"));
  EXPECT_EQ(ConvertSosi("P1").outcome, SosiConversion::kNoSource);
  EXPECT_EQ(prompts.messages, std::vector<std::string>{"The SOSI file P1.SO cannot be read."});
  EXPECT_EQ(work.Read("P1.QTL"), "old");
}

TEST_F(ConvertSosiTest, AFailedWriteSaysSoAndNotFinished) {
  // A directory in the source's place cannot be replaced, for root too.
  work.Write("P1.SO", "PARAM EQUATIONS y = 2;\r\n");
  std::filesystem::create_directory(work.File("P1.QTL"));
  work.Write("P1.QTL/keep", "x");
  auto r = ConvertSosi("P1");
  EXPECT_EQ(r.outcome, SosiConversion::kWriteFailed);
  EXPECT_EQ(prompts.messages,
            std::vector<std::string>{"The model source P1.QTL could not be written; the old file is kept."});
  EXPECT_EQ(work.Read("P1.QTL/keep"), "x");
}

}  // namespace
}  // namespace krv::guide
