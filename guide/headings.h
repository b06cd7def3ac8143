// The index of procedure and function headings in a model source: a
// comment-aware tokenizer, the list it builds, the jump from the list back
// into the source and the search in the list.
//
// Texts are memo texts (see memo_text.h); positions count from 0.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace krv::guide {

// The longest token the tokenizer keeps; an unquoted token keeps its first
// 87 characters, a quoted part that goes beyond is reported.
inline constexpr size_t kMaxSourceToken = 87;

// The five characters that end a token besides white space.
using StopChars = std::array<char, 5>;

// One token and how it ended.
struct SourceToken {
  std::string text;        // upper-cased as read
  char stop = '\0';        // the character that ended it ('\0' at the text's end)
  bool firstStop = false;  // `stop` is the first of the five
  size_t start = 0;        // where the token began
  int line = 0;            // line feeds before `start`
  size_t stopAt = 0;       // where `stop` lies (the text's length at its end)
};

// The tokenizer's state over one source text. White space is a blank, CR,
// LF, a "{ }" comment or a "(* *)" comment; a tab is not white space.
class SourceScanner {
 public:
  explicit SourceScanner(std::string_view memoText = {}) { Reset(memoText); }
  // Starts over on `memoText`.
  void Reset(std::string_view memoText);
  bool Ended() const { return pos_ >= text_.size(); }
  // The scanned text: the memo text and the line break that ends its last line.
  const std::string& Text() const { return text_; }

 private:
  friend bool NextSourceToken(SourceScanner&, const StopChars&, SourceToken&);
  char Current() const;
  char Next() const;
  void Advance();
  bool AtWhiteSpace() const;
  void SkipWhiteSpace();

  std::string text_;
  size_t pos_ = 0;  // the current character
  int lines_ = 0;   // line feeds before it
};

// Reads the next token, stopping at white space or one of `stops`; a stop
// character among the five is consumed. "^" makes the next character a
// control character. A quoted part that makes the token longer than 87
// characters shows "String too long" and ends the call without a token
// (the scan goes on from there). False when the text had already ended.
bool NextSourceToken(SourceScanner& scanner, const StopChars& stops, SourceToken& token);

// Reads tokens until one is not empty or the text ends.
void NextNonEmptySourceToken(SourceScanner& scanner, const StopChars& stops, SourceToken& token);

// The headings list of a model source: for every XPROC, MPROC, PROCEDURE
// and FUNCTION heading outside comments, except the standard procedures,
// the line "line = N" and then the heading as written, through the
// character after its parameter list (or after its name). A heading whose
// parameter list is not closed before the end is not listed.
std::string BuildHeadingsList(std::string_view qtlText);

// The source line a double click in the list jumps to: the number on the
// "line = " line of the entry holding `caret`; nothing when there is none.
std::optional<long long> HeadingJumpLine(std::string_view list, size_t caret);

// Where line `line` (from 1) of `text` starts; the text's end when it has
// fewer lines.
size_t LineStart(std::string_view text, long long line);

// Searches `search` in the list, case-blind for a..z, starting at the last
// hit `lastHit` (1 at first; counted from 1) and wrapping around once.
// Returns the hit's start (from 0) and makes it the last hit, or shows
// "No find". An empty search text, or one longer than the list, does
// nothing.
std::optional<size_t> SearchHeadings(std::string_view list, std::string_view search,
                                     size_t& lastHit);

}  // namespace krv::guide
