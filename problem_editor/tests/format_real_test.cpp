// FormatReal: widths, rounding into the exponent, four-digit exponents.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "problem_editor/FormatReal.h"

namespace krv::pe {
namespace {

struct Case {
  int width;
  double x;
  const char* text;
};

TEST(FormatReal, Table) {
  const Case cases[] = {
      {14, 0.0, " 0.0000000E+00"},
      {14, -0.0, " 0.0000000E+00"},
      {14, -0.37003730, "-3.7003730E-01"},
      {14, 1234.5678, " 1.2345678E+03"},
      {10, 10000.0, " 1.000E+04"},
      {10, -0.5, "-5.000E-01"},
      {9, 2.36e-16, " 2.36E-16"},
      {11, 1.0, " 1.0000E+00"},
      {12, -123456.0, "-1.23456E+05"},
      {13, 0.1, " 1.000000E-01"},
      // Rounding that carries into the exponent.
      {14, 9.99999996e99, " 1.0000000E+0100"},
      {10, 9.9996, " 1.000E+01"},
      // Exponents of 100 and more keep four digits and two extra characters.
      {14, 1.5e-300, " 1.5000000E-0300"},
      {10, -1e100, "-1.000E+0100"},
      {14, std::numeric_limits<double>::max(), " 1.7976931E+0308"},
      {14, 4.9406564584124654e-324, " 4.9406565E-0324"},
      // Narrow widths keep two significant digits.
      {6, 1.0, " 1.0E+0000"},
      {8, 3.0, " 3.0E+00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(FormatReal(c.width, c.x), c.text);
  }
}

TEST(FormatReal, WideFieldsPadAndCapDigits) {
  std::string s = FormatReal(30, 1.0);
  ASSERT_EQ(s.size(), 30u);
  EXPECT_EQ(s, std::string(7, ' ') + "1.00000000000000000E+00");
  EXPECT_EQ(FormatReal(24, 2.0), " 2.00000000000000000E+00");
}

TEST(FormatReal, NonFiniteKeepTheWidth) {
  EXPECT_EQ(FormatReal(14, std::nan("")), "           Nan");
  EXPECT_EQ(FormatReal(10, std::numeric_limits<double>::infinity()), "      +Inf");
  EXPECT_EQ(FormatReal(9, -std::numeric_limits<double>::infinity()), "     -Inf");
}

TEST(FormatReal, OddWidthsNeverCrash) {
  for (int w : {-5, 0, 1, 2, 3, 100}) {
    std::string s = FormatReal(w, -1.25e-7);
    EXPECT_NE(s.find("1.2"), std::string::npos) << w;
  }
}

}  // namespace
}  // namespace krv::pe
