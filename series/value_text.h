// How the worksheet and its text tables write a value.
#pragma once

#include <string>

namespace krv::series {

// The value in scientific notation in a field of `width` (+2 when the
// exponent needs four digits): the same rule as Casewright's FormatReal,
// so FormatAutoDecimals(13, 1.5) is " 1.500000E+00".
std::string FormatAutoDecimals(int width, double value);

}  // namespace krv::series
