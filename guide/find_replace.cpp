// Find and replace in the editors' memos: the search steps, the caret line,
// and which memos a search or a replace works on.
#include "guide/find_replace.h"

#include <algorithm>
#include <cstring>

#include "platform/text.h"
#include "platform/user_prompts.h"

namespace pf = krv::platform;

namespace krv::guide {

FindTargets TargetsFor(FindCommand command) {
  FindTargets t;
  switch (command) {
    case FindCommand::SearchQtl: t.searchQtl = true; break;
    case FindCommand::SearchPsy: t.searchPsy = true; break;
    case FindCommand::SearchBoth: t.searchQtl = t.searchPsy = true; break;
    case FindCommand::SearchAny: t.searchAny = true; break;
    case FindCommand::SearchSosi: t.searchSosi = true; break;
  }
  return t;
}

std::optional<std::string> FindCaptionFor(FindCommand command) {
  switch (command) {
    case FindCommand::SearchQtl: return "Find/Replace in QTL file";
    case FindCommand::SearchPsy: return "Find/Replace in PSY file";
    case FindCommand::SearchBoth: return "Find/Replace in both QTL and PSY";
    case FindCommand::SearchAny: return "Find/Replace in Any file";
    case FindCommand::SearchSosi: return std::nullopt;
  }
  return std::nullopt;
}

int CaretLineNumber(std::string_view text, size_t selStart) {
  selStart = std::min(selStart, text.size());
  return 1 + int(std::count(text.begin(), text.begin() + ptrdiff_t(selStart), '\n'));
}

namespace {

// The find text as compared: cut to its limit, upper-cased unless exact.
std::string Pattern(std::string_view find, bool caseSensitive) {
  find = find.substr(0, kMaxFindText);
  return caseSensitive ? std::string(find) : pf::UpperAscii(find);
}

bool MatchesAt(std::string_view text, size_t at, std::string_view pattern, bool caseSensitive) {
  if (caseSensitive) return std::memcmp(text.data() + at, pattern.data(), pattern.size()) == 0;
  for (size_t i = 0; i < pattern.size(); ++i)
    if (pf::UpperAscii(text[at + i]) != pattern[i]) return false;
  return true;
}

}  // namespace

std::optional<size_t> FindForward(std::string_view text, std::string_view find,
                                  bool caseSensitive, size_t selStart, bool lastSearchHit) {
  const std::string pattern = Pattern(find, caseSensitive);
  const size_t n = pattern.size();
  if (n == 0 || n > text.size()) return std::nullopt;
  const size_t from = selStart + (lastSearchHit ? 1 : 0);
  const size_t last = text.size() - n;  // the last start at which the pattern fits
  if (from > last) return std::nullopt;
  // Candidates are found by their first character with memchr; a folded
  // search looks for both spellings of a letter, each scan resumed only
  // once the candidates have passed its last find.
  const char upper = pattern[0];
  const char lower = (!caseSensitive && upper >= 'A' && upper <= 'Z') ? char(upper + 32) : upper;
  const char* const base = text.data();
  const char* const end = base + last + 1;
  auto scan = [&](const char* start, char c) -> const char* {
    const void* p = std::memchr(start, c, size_t(end - start));
    return p ? static_cast<const char*>(p) : end;
  };
  const char* nextUpper = scan(base + from, upper);
  const char* nextLower = lower == upper ? end : scan(base + from, lower);
  for (;;) {
    const char* p = std::min(nextUpper, nextLower);
    if (p == end) return std::nullopt;
    const size_t at = size_t(p - base);
    if (MatchesAt(text, at, pattern, caseSensitive)) return at;
    if (p == nextUpper) nextUpper = scan(p + 1, upper);
    if (p == nextLower) nextLower = scan(p + 1, lower);
  }
}

std::optional<size_t> FindBackward(std::string_view text, std::string_view find,
                                   bool caseSensitive, size_t selStart, bool lastSearchHit) {
  const std::string pattern = Pattern(find, caseSensitive);
  const size_t n = pattern.size();
  if (n == 0 || n > text.size()) return std::nullopt;
  if (lastSearchHit && selStart == 0) return std::nullopt;
  size_t at = std::min(lastSearchHit ? selStart - 1 : selStart, text.size() - n);
  for (;; --at) {
    if (MatchesAt(text, at, pattern, caseSensitive)) return at;
    if (at == 0) return std::nullopt;
  }
}

void FindState::Select(FindCommand command) {
  targets_ = TargetsFor(command);
  memoHit_.fill(false);
}

std::vector<FindMemo> FindState::SearchOrder() const {
  if (targets_.searchSosi) return {FindMemo::Sosi};
  if (targets_.searchAny) return {FindMemo::Any};
  std::vector<FindMemo> order;
  if (targets_.searchQtl) order.push_back(FindMemo::Qtl);
  if (targets_.searchPsy) order.push_back(FindMemo::Psy);
  return order;
}

std::optional<size_t> FindState::Search(FindMemo memo, std::string_view text, size_t selStart,
                                        std::string_view find, bool caseSensitive,
                                        bool forward) {
  auto hit = forward ? FindForward(text, find, caseSensitive, selStart, lastSearchHit_)
                     : FindBackward(text, find, caseSensitive, selStart, lastSearchHit_);
  memoHit_[size_t(memo)] = hit.has_value();
  if (hit)
    lastSearchHit_ = true;
  else
    pf::Prompts().ShowMessage("No find");
  return hit;
}

std::vector<FindMemo> FindState::ReplaceTargets() const {
  std::vector<FindMemo> order = SearchOrder();
  if (order.size() < 2) return order;
  std::vector<FindMemo> hit;
  for (FindMemo m : order)
    if (memoHit_[size_t(m)]) hit.push_back(m);
  return hit;
}

}  // namespace krv::guide
