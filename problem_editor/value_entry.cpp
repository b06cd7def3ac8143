// Typed numbers: blank trimming and strict, locale-free conversion.
#include "problem_editor/value_entry.h"

#include <cfloat>
#include <charconv>
#include <cmath>

#include "platform/text.h"

namespace krv::pe {

std::string TrimBlanks(std::string_view text) {
  text = text.substr(0, kEntryTextMax);
  size_t b = text.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  size_t e = text.find_last_not_of(' ');
  return std::string(text.substr(b, e - b + 1));
}

static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::optional<double> ParseRealValue(std::string_view text) {
  size_t i = 0, n = text.size();
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  size_t bodyStart = i;
  size_t intDigits = 0, fracDigits = 0;
  while (i < n && IsDigit(text[i])) ++i, ++intDigits;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && IsDigit(text[i])) ++i, ++fracDigits;
  }
  if (intDigits + fracDigits == 0) return std::nullopt;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    size_t expDigits = 0;
    while (i < n && IsDigit(text[i])) ++i, ++expDigits;
    if (expDigits == 0) return std::nullopt;
  }
  if (i != n) return std::nullopt;

  double v = 0;
  auto r = std::from_chars(text.data() + bodyStart, text.data() + n, v,
                           std::chars_format::general);
  if (r.ptr != text.data() + n) return std::nullopt;
  if (r.ec == std::errc::result_out_of_range) {
    // Tell underflow from overflow by the value's decimal magnitude.
    std::string_view body = text.substr(bodyStart);
    size_t ePos = body.find_first_of("eE");
    std::string_view mant = body.substr(0, ePos);
    long long magnitude = 0;
    size_t point = mant.find('.');
    if (point == std::string_view::npos) point = mant.size();
    size_t firstNonZero = mant.find_first_not_of("0.");
    if (firstNonZero == std::string_view::npos) {
      v = 0;  // all zeros cannot overflow
    } else {
      magnitude = firstNonZero < point ? (long long)(point - firstNonZero)
                                       : -(long long)(firstNonZero - point) + 1;
      if (ePos != std::string_view::npos) {
        std::string_view ex = body.substr(ePos + 1);
        bool eneg = !ex.empty() && ex[0] == '-';
        if (!ex.empty() && (ex[0] == '-' || ex[0] == '+')) ex.remove_prefix(1);
        // Beyond nine digits the exponent decides alone.
        if (ex.size() > 9) return eneg ? std::optional<double>(negative ? -0.0 : 0.0) : std::nullopt;
        long long e = 0;
        std::from_chars(ex.data(), ex.data() + ex.size(), e);
        magnitude += eneg ? -e : e;
      }
      if (magnitude > 0) return std::nullopt;
      v = 0;
    }
  } else if (r.ec != std::errc()) {
    return std::nullopt;
  }
  if (!std::isfinite(v)) return std::nullopt;
  return negative ? -v : v;
}

std::optional<double> ParseSingleValue(std::string_view text) {
  auto v = ParseRealValue(text);
  if (!v || std::fabs(*v) > double(FLT_MAX)) return std::nullopt;
  return v;
}

std::optional<int> ParseIndexValue(std::string_view text, int lo, int hi) {
  auto v = platform::ParseInt(text);
  if (!v || *v < lo || *v > hi) return std::nullopt;
  return int(*v);
}

}  // namespace krv::pe
