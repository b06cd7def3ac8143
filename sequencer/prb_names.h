// Variable names in the problem file: the subscript move and the ditto table.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace krv::seq {

// Name lines are handled on their first 87 characters.
inline constexpr size_t kNameLineLimit = 87;
inline constexpr size_t kDittoEntries = 15;
inline constexpr size_t kDittoComponentLimit = 31;

// Moves each bracketed subscript that closes a '_'-joined name part in
// front of the first '_' after the part's dot, right to left:
// "   5 IO  _X.A.B_C[k]" becomes "   5 IO  _X.A.B[k]_C". Works on a whole
// variable-map line (positions above 11 are the name); uses its first 87
// characters and returns at most 87.
std::string MoveSubscript(std::string_view line);

// The table of the 15 previous name components shared by the writer and
// every reader of one file. Components are split at '.' and '_'; a
// component equal to entry j is written as '"'. Components beyond the
// 15th are neither dittoed nor stored: they always stand written out.
class DittoTable {
 public:
  void ClearNameComponents();
  // The compressed text of `name` (the part after "_X."); updates the table.
  std::string DittoCompressName(std::string_view name);
  // The full name from compressed `text`; updates the table the same way.
  std::string Expand(std::string_view text);

 private:
  std::string Translate(std::string_view text, bool compress);
  std::array<std::string, kDittoEntries> entries_;
};

}  // namespace krv::seq
