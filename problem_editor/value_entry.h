// Typed numbers: blank trimming and strict, locale-free conversion.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace krv::pe {

// Longest text an entry field keeps.
constexpr size_t kEntryTextMax = 31;

// Cuts to 31 characters, then removes leading and trailing blanks.
std::string TrimBlanks(std::string_view text);

// A decimal real: optional sign, digits with an optional point, an optional
// exponent. No comma, hex, "inf" or "nan"; a value beyond the double range
// is refused, one too small for it becomes zero.
std::optional<double> ParseRealValue(std::string_view text);

// As ParseRealValue, and refused when beyond the single range.
std::optional<double> ParseSingleValue(std::string_view text);

// A decimal integer within lo..hi (nothing wraps).
std::optional<int> ParseIndexValue(std::string_view text, int lo, int hi);

}  // namespace krv::pe
