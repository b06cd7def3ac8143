// Fixed-width scientific notation with a two-digit exponent where it fits.
#pragma once

#include <string>

namespace krv::pe {

// x in scientific notation: a sign place, G = width - 6 significant digits
// (2..18), "E", the exponent's sign and its digits. The field is width + 2
// characters with a four-digit exponent; when the exponent's first two
// digits are "00" they are dropped, giving exactly `width` characters.
// Infinities and NaN give "+Inf", "-Inf" or "Nan" right-aligned in `width`.
std::string FormatReal(int width, double x);

}  // namespace krv::pe
