// The QTL token scanner: cuts the source into tokens with their leading
// text, recognises directive comments and the segment mark.
#pragma once

#include <string>
#include <string_view>

#include "preprocessor/directives.h"
#include "preprocessor/syntax_error.h"
#include "preprocessor/text_buffer.h"
#include "preprocessor/token_list.h"

namespace krv::pp {

class Scanner {
 public:
  Scanner(TextBuffer& text, ErrorReport& errors, Directives& directives)
      : text_(text), errors_(errors), directives_(directives) {}

  // Starts reading `bytes` from its first character with line 1. With
  // `segmentMarks` the character 2 is a segment mark (the intermediate
  // file); otherwise it is an unexpected character like any other.
  void Open(std::string bytes, bool segmentMarks);
  bool IsOpen() const { return open_; }
  void Close() { open_ = false; }

  // Scans one token into a new node after the list's Current (newNode) or
  // into Current itself. After the end-of-file mark every scan yields it again.
  void ScanToken(TokenList& list, bool newNode);

  // Whether directive comments act as in pass 1 (D defines constants).
  void SetFirstPass(bool firstPass) { firstPass_ = firstPass; }

  bool EndOfFile() const { return eof_; }
  bool SegmentEnd() const { return segmentEnd_; }
  void ClearSegmentEnd() { segmentEnd_ = false; }
  const int& LineNumber() const { return line_; }

  TextBuffer& Text() { return text_; }

 private:
  char Peek(size_t ahead = 0) const {
    size_t i = p_ + ahead;
    return i < size_ ? src_[i] : kEofChar;
  }
  // Moves past the next character, counting line breaks (CR, or a bare LF).
  void AdvanceChar();
  Pos Here() const { return Pos(kSourceBase + p_); }
  void ScanComment(char open);
  void ScanString(TokenNode& node);
  void ScanNumber();
  void NoteUnexpected(char c, char n);
  void Substitute(TokenNode& node, int slot);

  TextBuffer& text_;
  ErrorReport& errors_;
  Directives& directives_;
  const char* src_ = nullptr;
  size_t size_ = 0;
  size_t p_ = 0;  // the next unread character
  int line_ = 0;
  bool open_ = false;
  bool eof_ = false;
  bool segmentEnd_ = false;
  bool segmentMarks_ = false;
  bool firstPass_ = true;
  bool pending_ = false;
  int pendingSlot_ = 0;
};

}  // namespace krv::pp
