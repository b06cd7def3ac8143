// Statements and the copy loops that pass source through unchanged.
#include <initializer_list>

#include "platform/text.h"
#include "preprocessor/pass_context.h"

namespace krv::pp {

std::string PassContext::TokenTextUpper(const NameRef& r) const {
  return platform::UpperAscii(text.View(r));
}

bool PassContext::NodeTokenIs(const TokenNode* n, std::string_view word) const {
  return n && platform::EqualsCaseBlind(text.View(n->Token()), word);
}

void NewStatement(PassContext& c) {
  c.stmt.Clear();
  c.scanner.ScanToken(c.stmt, true);
}

static bool IsAnyOf(PassContext& c, std::initializer_list<std::string_view> words) {
  for (auto w : words)
    if (c.CurrentTokenIs(w)) return true;
  return false;
}

// Head := Current; the stop token stays alone in the list.
static void KeepOnlyCurrent(PassContext& c) {
  TokenNode* cur = c.stmt.current;
  for (TokenNode* n = c.stmt.head; n && n != cur;) {
    TokenNode* next = n->next;
    delete n;
    n = next;
  }
  cur->prev = nullptr;
  c.stmt.head = cur;
  c.stmt.CutListAtCurrent();
}

static void CopyUntil(PassContext& c, std::initializer_list<std::string_view> words) {
  if (c.stmt.current && IsAnyOf(c, words)) return;
  NewStatement(c);
  while (!IsAnyOf(c, words) && !c.scanner.EndOfFile()) {
    c.out.EmitToken(*c.stmt.current);
    c.scanner.ScanToken(c.stmt, false);
  }
  KeepOnlyCurrent(c);
}

void CopyUntilWord(PassContext& c, std::string_view word) { CopyUntil(c, {word}); }

void CopyUntilXvtypeOrXproc(PassContext& c) { CopyUntil(c, {"XVTYPE", "XPROC", "XDXPROC"}); }

void CopyUntilSegmentEnd(PassContext& c) {
  if (!c.stmt.current || !c.scanner.SegmentEnd()) {
    NewStatement(c);
    while (!c.scanner.SegmentEnd() && !c.scanner.EndOfFile()) {
      c.out.EmitToken(*c.stmt.current);
      c.scanner.ScanToken(c.stmt, false);
    }
    KeepOnlyCurrent(c);
  }
  c.scanner.ClearSegmentEnd();
}

}  // namespace krv::pp
