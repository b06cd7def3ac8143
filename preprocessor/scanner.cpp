// The QTL token scanner.
#include "preprocessor/scanner.h"

#include "platform/text.h"
#include "preprocessor/char_class.h"

namespace krv::pp {

void Scanner::Open(std::string bytes, bool segmentMarks) {
  text_.LoadSource(std::move(bytes));
  std::string_view all = text_.View(kSourceBase, uint32_t(text_.SourceSize()));
  src_ = all.data();
  size_ = all.size();
  p_ = 0;
  line_ = 1;
  open_ = true;
  eof_ = false;
  segmentEnd_ = false;
  segmentMarks_ = segmentMarks;
  pending_ = false;
}

void Scanner::AdvanceChar() {
  if (p_ >= size_) return;
  char c = src_[p_];
  if (c == '\r' || (c == '\n' && (p_ == 0 || src_[p_ - 1] != '\r'))) ++line_;
  ++p_;
}

void Scanner::ScanComment(char open) {
  AdvanceChar();
  if (open == '(') AdvanceChar();
  bool directive = Peek() == '%';
  size_t textStart = p_ + 1;
  size_t textEnd = 0;
  for (;;) {
    char c = Peek();
    if (c == kEofChar) {
      errors_.SyntaxError("COMMENT NOT CLOSED AT END OF FILE");
      return;
    }
    if (open == '{' && c == '}') {
      textEnd = p_;
      AdvanceChar();
      break;
    }
    if (open == '(' && c == '*' && Peek(1) == ')') {
      textEnd = p_;
      AdvanceChar();
      AdvanceChar();
      break;
    }
    AdvanceChar();
  }
  if (!directive) return;
  // The closing delimiter goes before the cut, so no real character is lost.
  std::string_view text(src_ + textStart, textEnd - textStart);
  text = text.substr(0, 80);
  int slot = 0;
  if (directives_.HandleDirective(text, firstPass_, errors_, slot)) {
    pending_ = true;
    pendingSlot_ = slot;
  }
}

void Scanner::Substitute(TokenNode& node, int slot) {
  TokenNode lead;
  lead.leadStart = node.leadStart;
  lead.tokenStart = Here();
  std::string prefix = StatementTextCompact(text_, lead);
  if (prefix.empty()) prefix = " ";
  const PPConstant& c = directives_.Slot(slot);
  SetGeneratedText(text_, node, prefix, c.value);
  node.kind = c.kind;
}

void Scanner::ScanString(TokenNode& node) {
  node.kind = kLiteral;
  AdvanceChar();
  for (;;) {
    char c = Peek();
    if (c == '\'') {
      AdvanceChar();
      if (Peek() != '\'') return;
      AdvanceChar();
    } else if (IsLineBreak(c) || c == kEofChar) {
      errors_.SyntaxError("BAD STRING CONST");
      return;
    } else {
      AdvanceChar();
    }
  }
}

void Scanner::ScanNumber() {
  while (IsDigit(Peek())) AdvanceChar();
  if (Peek() == '.' && Peek(1) != '.') {
    AdvanceChar();
    while (IsDigit(Peek())) AdvanceChar();
    if (Peek() == 'E' || Peek() == 'e') {
      AdvanceChar();
      if (Peek() == '+' || Peek() == '-') AdvanceChar();
      while (IsDigit(Peek())) AdvanceChar();
    }
  }
}

void Scanner::NoteUnexpected(char c, char n) {
  using platform::IntToString;
  LogWriter& log = errors_.Log();
  log.LogLine(" NOTE SYNTAX LN=" + IntToString(line_));
  log.LogLine(std::string("OLDCHR=") + c + " " + IntToString(uint8_t(c)));
  log.LogLine(std::string("NXTCHR=") + n + IntToString(uint8_t(n)));
  errors_.CountNote();
}

void Scanner::ScanToken(TokenList& list, bool newNode) {
  segmentEnd_ = false;
  TokenNode& node = (newNode || !list.current) ? *list.AppendAfterCurrent() : *list.current;
  node.kind = kOther;
  node.separator = ' ';
  node.leadStart = Here();
  if (eof_) {
    node.tokenStart = Here();
    node.length = 1;
    node.keyword = text_.At(node.tokenStart) == kEofChar ? kSubprogramKeyword : kNoKeyword;
    return;
  }
  for (;;) {
    char c = Peek();
    if (c == ' ' || IsLineBreak(c)) {
      AdvanceChar();
    } else if (c == ',') {
      node.separator = ',';
      AdvanceChar();
    } else if (c == '{' || (c == '(' && Peek(1) == '*')) {
      ScanComment(c);
      if (pending_) {
        pending_ = false;
        Substitute(node, pendingSlot_);
        return;
      }
    } else {
      break;
    }
  }
  node.tokenStart = Here();
  size_t start = p_;
  char c = Peek();
  char n = Peek(1);
  switch (c) {
    case '.':
      if (n == '.') {
        AdvanceChar();
        AdvanceChar();
      } else if (IsIdentChar(n)) {
        node.separator = '.';
        AdvanceChar();
        node.tokenStart = Here();
        start = p_;
        node.kind = kIdent;
        while (IsIdentChar(Peek()) || IsDigit(Peek())) AdvanceChar();
      } else if (IsDigit(n)) {
        AdvanceChar();
        node.kind = kLiteral;
        while (IsDigit(Peek())) AdvanceChar();
      } else {
        NoteUnexpected(c, n);
        AdvanceChar();
      }
      break;
    case ':':
    case '<':
    case '>':
      AdvanceChar();
      if (n == '=') AdvanceChar();
      break;
    case kEofChar:
      // The mark is never passed: every later scan finds it again.
      eof_ = true;
      node.length = 1;
      node.keyword = text_.At(node.tokenStart) == kEofChar ? kSubprogramKeyword : kNoKeyword;
      return;
    case ')': case '[': case ']': case '=': case ';':
    case '+': case '-': case '*': case '/': case '^': case '(':
      AdvanceChar();
      break;
    case '$':
      node.kind = kLiteral;
      AdvanceChar();
      while (IsHexDigit(Peek())) AdvanceChar();
      break;
    case '\'':
      if (n == '\'') {
        AdvanceChar();
        AdvanceChar();
      } else {
        ScanString(node);
      }
      break;
    default:
      if (IsIdentChar(c)) {
        node.kind = kIdent;
        while (IsIdentChar(Peek()) || IsDigit(Peek())) AdvanceChar();
      } else if (IsDigit(c)) {
        node.kind = kLiteral;
        ScanNumber();
      } else if (c == kSegmentMark && segmentMarks_) {
        segmentEnd_ = true;
        AdvanceChar();
      } else {
        NoteUnexpected(c, n);
        AdvanceChar();
      }
  }
  node.length = uint32_t(p_ - start);
  node.keyword = ClassifyKeyword(text_.View(node.Token()));
}

}  // namespace krv::pp
