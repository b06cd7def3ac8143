// Fixed-width scientific notation with a two-digit exponent where it fits.
#include "problem_editor/FormatReal.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "platform/text.h"

namespace krv::pe {

// Mantissa digits (without the point) and decimal exponent of |x| rounded
// to `digits` significant digits.
static void Decompose(double ax, int digits, std::string& mantissa, int& exponent) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, ax, std::chars_format::scientific, digits - 1);
  assert(r.ec == std::errc());
  std::string_view s(buf, size_t(r.ptr - buf));
  size_t e = s.find('e');
  assert(e != std::string_view::npos);
  mantissa.clear();
  for (char c : s.substr(0, e))
    if (c != '.') mantissa += c;
  std::string_view ex = s.substr(e + 1);
  bool neg = !ex.empty() && ex[0] == '-';
  if (!ex.empty() && (ex[0] == '-' || ex[0] == '+')) ex.remove_prefix(1);
  int v = 0;
  std::from_chars(ex.data(), ex.data() + ex.size(), v);
  exponent = neg ? -v : v;
}

std::string FormatReal(int width, double x) {
  if (std::isnan(x)) return platform::PadLeft("Nan", size_t(std::max(width, 0)));
  if (std::isinf(x)) return platform::PadLeft(x < 0 ? "-Inf" : "+Inf", size_t(std::max(width, 0)));

  int digits = std::clamp(width + 2 - 8, 2, 18);
  std::string mantissa;
  int exponent = 0;
  Decompose(std::fabs(x), digits, mantissa, exponent);

  std::string s;
  s += x < 0 ? '-' : ' ';  // minus zero prints like zero
  s += mantissa[0];
  s += '.';
  s += mantissa.substr(1);
  s += 'E';
  s += exponent < 0 ? '-' : '+';
  std::string ed = platform::IntToString(std::abs(exponent));
  s += std::string(4 - std::min<size_t>(4, ed.size()), '0') + ed;
  s = platform::PadLeft(s, size_t(std::max(width + 2, 0)));

  // Positions W-1 and W (1-based) hold the exponent's leading digits.
  if (width >= 2 && s.size() >= size_t(width) + 2 && s[width - 2] == '0' && s[width - 1] == '0')
    return s.substr(0, size_t(width - 2)) + s.substr(size_t(width), 2);
  return s;
}

}  // namespace krv::pe
