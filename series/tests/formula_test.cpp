// Column formulas: what each formula computes over a small worksheet, or
// the exact message that refuses it; the order of a recalculation of all,
// with loops refused before anything is computed.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "platform/user_prompts.h"
#include "series/WkUnit.h"

using namespace krv::series;
using krv::platform::ScriptedPrompts;

namespace {

constexpr double M = -1e300;  // MissingValue stored
constexpr double U = 99;      // the value there before: left unchanged

// Rows 0..4 are the row-use limits. A holds 0..4, B 1..5 (from index 0),
// E only a 0 at index -1, SP 7 everywhere; other columns hold 99 before
// the formula is computed unless the case wants them empty.
struct Fixture {
  ScriptedPrompts prompts;
  SeriesStore store;
  Worksheet ws{store};
  Fixture() {
    store.RowUseLow = 0;
    store.RowUseHigh = 4;
    ws.FormCreate();
    Fill(0, 0, 4, [](int i) { return i; });
    Fill(1, 0, 4, [](int i) { return i + 1; });
    Fill(4, -1, -1, [](int) { return 0; });
    Fill(509, 0, 4, [](int) { return 7; });
  }
  ColumnSlot& Col(int c) { return store.ColumnSlots[size_t(c)]; }
  template <class F>
  void Fill(int c, int from, int to, F value) {
    store.NewSeries(Col(c), false, "");
    for (int i = from; i <= to; ++i) store.PutVal(Col(c), int16_t(i), value(i));
  }
  std::vector<double> Values(int c) {
    std::vector<double> v;
    for (int i = 0; i <= 4; ++i) {
      float x = store.GetVal(Col(c), int16_t(i));
      v.push_back(IsMissing(x) ? M : double(x));
    }
    return v;
  }
};

struct FormulaCase {
  std::string column;
  std::string formula;
  std::vector<double> values;  // empty: the message and no value changed
  std::string message;         // the one message shown, if any
  bool emptyBefore = false;
};

void PrintTo(const FormulaCase& c, std::ostream* os) { *os << c.column << " = " << c.formula; }

class Formulas : public testing::TestWithParam<FormulaCase> {};

TEST_P(Formulas, ComputeTheirValuesOrShowTheirMessage) {
  const FormulaCase& c = GetParam();
  Fixture f;
  int col = ParseColumnLetters(c.column);
  bool data = col == 0 || col == 1 || col == 4 || col == 509;
  if (!data && !c.emptyBefore) f.Fill(col, 0, 4, [](int) { return U; });
  std::vector<double> before = f.Col(col).IsOpen() ? f.Values(col) : std::vector<double>{};
  f.prompts.messages.clear();
  f.ws.Formula[size_t(col)] = c.formula;
  f.ws.Formulas.ComputeColumnFormula(col);
  if (c.message.empty()) {
    EXPECT_TRUE(f.prompts.messages.empty()) << f.prompts.messages.front();
  } else {
    EXPECT_EQ(f.prompts.messages, std::vector<std::string>{c.message});
  }
  if (c.values.empty()) {
    EXPECT_TRUE(f.ws.Formulas.FormulaError);
    if (!before.empty()) { EXPECT_EQ(f.Values(col), before); }
    return;
  }
  std::vector<double> got = f.Values(col);
  ASSERT_EQ(got.size(), c.values.size());
  for (size_t k = 0; k < got.size(); ++k)
    EXPECT_NEAR(got[k], c.values[k], std::fabs(c.values[k]) * 2e-7) << "row " << k;
}

const double e1 = std::exp(1.0), e2 = std::exp(2.0), e3 = std::exp(3.0), e4 = std::exp(4.0);

INSTANTIATE_TEST_SUITE_P(
    Table, Formulas,
    testing::Values(
        // Blanks and "=" removed, upper case.
        FormulaCase{"C", "=a+b", {1, 3, 5, 7, 9}}, FormulaCase{"C", "A + B", {1, 3, 5, 7, 9}},
        // Precedence and left-to-right power.
        FormulaCase{"C", "A*2^3", {0, 8, 16, 24, 32}}, FormulaCase{"C", "2^3^2", {64, 64, 64, 64, 64}},
        FormulaCase{"C", "A+B*2-A/B", {2, 4.5, 8 - 2.0 / 3, 10.25, 13.2}},
        FormulaCase{"C", "(A+B)*2", {2, 6, 10, 14, 18}}, FormulaCase{"C", "-A", {0, -1, -2, -3, -4}},
        FormulaCase{"C", "(-(A+B))", {-1, -3, -5, -7, -9}},
        // A negative base fails; 0 to any power is 0.
        FormulaCase{"C", "(-2)^2", {M, M, M, M, M}}, FormulaCase{"C", "(-2^2)", {M, M, M, M, M}},
        FormulaCase{"C", "0^(-1)", {0, 0, 0, 0, 0}}, FormulaCase{"C", "A^0.5", {0, 1, std::sqrt(2.0), std::sqrt(3.0), 2}},
        FormulaCase{"A", "0^-1", {}, "A : Syntax Err at 4:(0^-1)"},
        FormulaCase{"V", "(P", {}, "V : Unbalanced parens at 1:((P)"},
        FormulaCase{"X", "@LOG(P*1)", {}, "X : Function syntax err at 2:(@LOG(%00))"},
        FormulaCase{"C", "@EXPX(A)", {1, e1, e2, e3, e4}},
        FormulaCase{"C", "@ln(B)", {0, std::log(2.0), std::log(3.0), std::log(4.0), std::log(5.0)}},
        FormulaCase{"C", "@LN(A)", {M, 0, std::log(2.0), std::log(3.0), std::log(4.0)}},
        FormulaCase{"C", "@SIN(A)+@COS(A)",
                    {1, std::sin(1.0) + std::cos(1.0), std::sin(2.0) + std::cos(2.0), std::sin(3.0) + std::cos(3.0),
                     std::sin(4.0) + std::cos(4.0)}},
        FormulaCase{"C", "@EXP(A*230)", {1, M, M, M, M}},  // beyond the single range, then beyond 690
        FormulaCase{"C", "@EXP(A*20)", {1, std::exp(20.0), std::exp(40.0), std::exp(60.0), std::exp(80.0)}},
        FormulaCase{"C", "1/A", {M, 1, 0.5, 1.0 / 3, 0.25}},
        // Single constants, double temporaries.
        FormulaCase{"C", "(0.1*3-0.3)*1E9", {-7.450581, -7.450581, -7.450581, -7.450581, -7.450581}},
        // Rows: relative, absolute, outside the column's range.
        FormulaCase{"C", "B[R-1]", {U, 1, 2, 3, 4}}, FormulaCase{"C", "B[R+1]", {2, 3, 4, 5, U}},
        FormulaCase{"C", "B[2]*A[R]", {0, 3, 6, 9, 12}}, FormulaCase{"C", "B[]", {1, 1, 1, 1, 1}},
        FormulaCase{"E", "E[R-1]+1", {1, 2, 3, 4, 5}}, FormulaCase{"C", "ZZ*2", {14, 14, 14, 14, 14}},
        FormulaCase{"C", "B", {1, 2, 3, 4, 5}}, FormulaCase{"C", "A[X]", {}, "C : Row Index Err at 4:(A[X])"},
        // A column reading itself while empty: one warning for the whole computation.
        FormulaCase{"G", "G+1", {M, M, M, M, M}, "Warning, GETVAL beyond range for ***noname***", true},
        FormulaCase{"H", "H[R-2]+1", {M, M, M, M, M}, "Warning, GETVAL beyond range for ***noname***", true},
        // Refused where the text would have been misread or overrun the tables.
        FormulaCase{"C", "A)+(B", {}, "C : Syntax Err at 2:A+(B)"},
        FormulaCase{"C", "2A3", {}, "C : Syntax Err at 3:(2A3)"},
        FormulaCase{"C", "1E39", {}, "C : Syntax Err at 6:(1E39)"},
        FormulaCase{"C", "A*-B", {}, "C : Syntax Err at 4:(A*-B)"},
        FormulaCase{"C", "@LN A", {}, "C : Syntax Err at 2:(@LNA)"},
        FormulaCase{"C", "%00+1", {}, "C : Syntax Err at 2:(%00+1)"}));

TEST(Formulas, MoreThanAHundredOperationsAreRefused) {
  Fixture f;
  std::string hundred = "1";
  for (int k = 0; k < 100; ++k) hundred += "+1";
  f.ws.Formula[2] = hundred;
  f.ws.Formulas.ComputeColumnFormula(2);
  EXPECT_TRUE(f.prompts.messages.empty());
  EXPECT_EQ(f.Values(2), std::vector<double>(5, 101));

  f.ws.Formula[2] = hundred + "+1";
  f.ws.Formulas.ComputeColumnFormula(2);
  ASSERT_EQ(f.prompts.messages.size(), 1u);
  EXPECT_EQ(f.prompts.messages[0].substr(0, 15), "C : Syntax Err ");
  EXPECT_EQ(f.Values(2), std::vector<double>(5, 101));
}

// ---- The recalculation of all ----

struct Recalc : Fixture {
  std::vector<int> Order() {
    std::array<int16_t, kColumnCount> order;
    int n = 0;
    std::vector<int> out;
    if (ws.Formulas.RecalculationOrder(order, n)) out.assign(order.begin(), order.begin() + n);
    return out;
  }
  void Set(std::initializer_list<std::pair<int, const char*>> formulas) {
    for (auto [c, t] : formulas) {
      ws.Formula[size_t(c)] = t;
      if (!Col(c).IsOpen()) Fill(c, 0, 4, [](int) { return 1; });
    }
  }
};

TEST(RecalcAll, ComputesEachColumnAfterTheColumnsItReads) {
  Recalc r;
  r.Set({{0, "B*2"}, {1, "C+1"}, {2, "5"}});
  EXPECT_EQ(r.Order(), (std::vector<int>{2, 1, 0}));
  r.ws.RecalcAllClick();
  EXPECT_EQ(r.Values(0), std::vector<double>(5, 12));

  // A diamond: C before B, B before D, both before A.
  Recalc d;
  d.Set({{0, "B+D"}, {1, "C*1"}, {2, "5"}, {3, "B*1"}});
  EXPECT_EQ(d.Order(), (std::vector<int>{2, 1, 3, 0}));
  d.ws.RecalcAllClick();
  EXPECT_EQ(d.Values(0), std::vector<double>(5, 10));

  // A formula of one column reads that column's new values.
  Recalc s;
  s.Set({{2, "3"}});
  s.Set({{0, "B"}, {1, "2*C"}});
  s.ws.RecalcAllClick();
  EXPECT_EQ(s.Values(0), std::vector<double>(5, 6));
  EXPECT_TRUE(s.prompts.messages.empty());
}

TEST(RecalcAll, LoopsAndCompileErrorsStopBeforeAnythingIsComputed) {
  struct Case {
    std::vector<std::pair<int, const char*>> formulas;
    std::vector<std::string> messages;
  };
  for (const Case& c : {Case{{{0, "B*1"}, {1, "A*1"}}, {"Possible recurs. loop found for A "}},
                        Case{{{0, "B*1"}, {1, "C*1"}, {2, "B*1"}}, {"Possible recurs. loop found for B "}},
                        Case{{{0, "B"}, {1, "A"}}, {"Possible recurs. loop found for A "}},
                        Case{{{0, "5"}, {2, "B+"}}, {"C : Syntax Err at 4:(B+)", "Error, Column C "}}}) {
    Recalc r;
    for (auto [col, text] : c.formulas) r.Set({{col, text}});
    r.prompts.messages.clear();
    r.ws.RecalcAllClick();
    EXPECT_EQ(r.prompts.messages, c.messages);
    for (auto [col, text] : c.formulas)
      EXPECT_EQ(r.Values(col), col == 0   ? (std::vector<double>{0, 1, 2, 3, 4})
                               : col == 1 ? (std::vector<double>{1, 2, 3, 4, 5})
                                          : std::vector<double>(5, 1))
          << text;
  }
}

TEST(RecalcAll, WithNoFormulasOnlyTheHeadersAreRefreshed) {
  Recalc r;
  r.ws.RecalcAllClick();
  EXPECT_TRUE(r.prompts.messages.empty());
  EXPECT_EQ(r.Values(0), (std::vector<double>{0, 1, 2, 3, 4}));
}

}  // namespace
