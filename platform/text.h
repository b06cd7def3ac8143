// Byte-string helpers: ASCII-only case folding and locale-free numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace krv::platform {

// Upper-cases a..z only; every other byte is left as it is.
char UpperAscii(char c);
std::string UpperAscii(std::string_view s);
bool EqualsCaseBlind(std::string_view a, std::string_view b);

// Decimal text of an integer, without the locale.
std::string IntToString(long long v);
// Strict decimal integer: optional sign, digits only, nothing else.
std::optional<long long> ParseInt(std::string_view s);

// Right-aligns `s` in a field of `width` (like Pascal's s:width).
std::string PadLeft(std::string_view s, size_t width);

}  // namespace krv::platform
