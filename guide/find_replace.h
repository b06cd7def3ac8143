// Find and replace in the editors' memos: the search steps, the caret line,
// and which memos a search or a replace works on.
//
// Texts are memo texts (see memo_text.h): one character per byte, lines
// separated by one line feed, positions counted from 0 as the memo counts
// them.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace krv::guide {

// The memos the Find/Replace window serves.
enum class FindMemo { Qtl, Psy, Any, Sosi };
inline constexpr size_t kFindMemoCount = 4;

// The commands that choose what Find/Replace works on.
enum class FindCommand { SearchQtl, SearchPsy, SearchBoth, SearchAny, SearchSosi };

// The four target flags; a command sets exactly one or two of them.
struct FindTargets {
  bool searchQtl = false;
  bool searchPsy = false;
  bool searchAny = false;
  bool searchSosi = false;
};

FindTargets TargetsFor(FindCommand command);

// The Find/Replace window's caption for a command; nothing where the
// caption stays as it is.
std::optional<std::string> FindCaptionFor(FindCommand command);

// The longest find text; a longer one is cut.
inline constexpr size_t kMaxFindText = 255;

// 1 + the number of line feeds among the first `selStart` characters.
int CaretLineNumber(std::string_view text, size_t selStart);

// Where a forward search for `find` hits: from the caret (`selStart`), or
// one past it after a hit so that a repeated search moves on. Without
// `caseSensitive` the letters a..z compare as A..Z; nothing else is folded.
// An empty find text never hits.
std::optional<size_t> FindForward(std::string_view text, std::string_view find,
                                  bool caseSensitive, size_t selStart, bool lastSearchHit);

// The same backwards: from the caret, or one before it after a hit, down to
// the start of the text; only occurrences that lie wholly inside count.
std::optional<size_t> FindBackward(std::string_view text, std::string_view find,
                                   bool caseSensitive, size_t selStart, bool lastSearchHit);

// The program's one find state.
class FindState {
 public:
  // Sets the target flags for `command`; forgets which memos hit.
  void Select(FindCommand command);
  const FindTargets& Targets() const { return targets_; }

  // True after a successful search, false after the find text changed;
  // shared by both directions and all memos.
  bool LastSearchHit() const { return lastSearchHit_; }
  void FindTextChanged() { lastSearchHit_ = false; }

  // The memos a search runs on, in order: the SOSI memo alone, else the
  // any-file memo alone, else the QTL memo and then the PSY memo.
  std::vector<FindMemo> SearchOrder() const;

  // One search in `memo` with the memo's text and caret: the hit's start
  // (the caller selects `find`'s length there), or nothing after showing
  // "No find" (the selection then stays). Records the outcome.
  std::optional<size_t> Search(FindMemo memo, std::string_view text, size_t selStart,
                               std::string_view find, bool caseSensitive, bool forward);

  // The memos "Do Replace" writes into: the one memo of the search order,
  // or with both source memos only those whose latest search hit.
  std::vector<FindMemo> ReplaceTargets() const;

 private:
  FindTargets targets_;
  bool lastSearchHit_ = false;
  std::array<bool, kFindMemoCount> memoHit_{};
};

}  // namespace krv::guide
