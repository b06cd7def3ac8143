// FormatAutoDecimals: the worksheet's and the text tables' field of 13.
#include <gtest/gtest.h>

#include "series/series_types.h"
#include "series/value_text.h"

namespace krv::series {
namespace {

TEST(FormatAutoDecimals, FieldsOfThirteen) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {
      {1.5, " 1.500000E+00"},
      {-0.125, "-1.250000E-01"},
      {0.0, " 0.000000E+00"},
      {7.0, " 7.000000E+00"},
      // A gap widened to double is written as a number that reads back as a gap.
      {double(MissingValue), " 3.400000E+38"},
      // Three-digit exponents keep four digits: two characters more.
      {1e-300, " 1.000000E-0300"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(FormatAutoDecimals(13, c.value), c.text);
  }
}

}  // namespace
}  // namespace krv::series
