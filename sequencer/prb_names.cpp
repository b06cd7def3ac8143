// Variable names in the problem file: the subscript move and the ditto table.
#include "sequencer/prb_names.h"

#include <cassert>

namespace krv::seq {

// The name of a map line starts after "  _X" in column 12.
static constexpr size_t kNameStart = 12;

std::string MoveSubscript(std::string_view line) {
  std::string s(line.substr(0, kNameLineLimit));
  // Positions below are 1-based, as s[pos - 1].
  size_t p = s.size();
  for (;;) {
    while (p >= kNameStart && s[p - 1] != ']') --p;
    if (p < kNameStart) break;
    size_t q = p - 1;
    while (q >= kNameStart && s[q - 1] != '[') --q;
    if (q < kNameStart) break;
    size_t d = q - 1;
    size_t n = 0;  // leftmost '_' between the dot and the '['
    while (d >= kNameStart && s[d - 1] != '.') {
      if (s[d - 1] == '_') n = d;
      --d;
    }
    // No dot left of the subscript: nothing further left can move either.
    if (d < kNameStart) break;
    if (n == 0) {
      --p;
      continue;
    }
    std::string moved = s.substr(0, n - 1);
    moved += s.substr(q - 1, p - q + 1);
    moved += s.substr(n - 1, q - n);
    moved += s.substr(p);
    assert(moved.size() == s.size());
    s = std::move(moved);
    p = d - 1;
  }
  return s;
}

void DittoTable::ClearNameComponents() {
  for (auto& e : entries_) e.clear();
}

// Calls `visit(index, component)` for each component of `text` split at
// '.' and '_', and `sep(c)` after each but the last; returns the count.
template <typename Visit, typename Sep>
static size_t ForEachComponent(std::string_view text, Visit visit, Sep sep) {
  size_t j = 0;
  size_t start = 0;
  for (;;) {
    size_t end = text.find_first_of("._", start);
    visit(j, text.substr(start, end == std::string_view::npos ? end : end - start));
    ++j;
    if (end == std::string_view::npos) return j;
    sep(text[end]);
    start = end + 1;
  }
}

std::string DittoTable::DittoCompressName(std::string_view name) {
  return Translate(name, true);
}

std::string DittoTable::Expand(std::string_view text) { return Translate(text, false); }

// Writer and reader walk the components the same way and differ only in
// what stands for a repeated component.
std::string DittoTable::Translate(std::string_view text, bool compress) {
  std::string out;
  size_t count = ForEachComponent(
      text,
      [&](size_t j, std::string_view comp) {
        if (j >= kDittoEntries) {
          out += comp;
        } else if (compress ? comp == entries_[j] : comp == "\"") {
          out += compress ? std::string("\"") : entries_[j];
        } else {
          out += comp;
          entries_[j] = std::string(comp.substr(0, kDittoComponentLimit));
        }
      },
      [&](char c) { out += c; });
  if (count < kDittoEntries) entries_[count].clear();
  return out;
}

}  // namespace krv::seq
