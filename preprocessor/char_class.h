// Character classes of the QTL scanner.
#pragma once

namespace krv::pp {

// '_', '@' and the letters of either case.
inline bool IsIdentChar(char c) {
  if (c == '_') return true;
  if (c >= 'a' && c <= 'z') return true;
  return c >= '@' && c <= 'Z';
}
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
inline bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

}  // namespace krv::pp
