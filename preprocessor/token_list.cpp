// Token lists: linking, cutting, deleting and generated tokens.
#include "preprocessor/token_list.h"

#include <cassert>
#include <string>

#include "platform/text.h"
#include "preprocessor/syntax_error.h"

namespace krv::pp {

void TokenList::Clear() {
  TokenNode* n = head;
  while (n) {
    TokenNode* next = n->next;
    delete n;
    n = next;
  }
  head = current = tail = nullptr;
}

TokenNode* TokenList::AppendAfterCurrent() {
  auto* n = new TokenNode;
  if (!current) {
    // An empty list, or one whose Current was lost: the node goes last.
    n->prev = tail;
    if (tail) tail->next = n; else head = n;
    tail = n;
  } else {
    n->prev = current;
    n->next = current->next;
    if (current->next) current->next->prev = n; else tail = n;
    current->next = n;
  }
  current = n;
  return n;
}

void TokenList::CutListAtCurrent() {
  if (!current) return;
  TokenNode* n = current->next;
  current->next = nullptr;
  tail = current;
  while (n) {
    TokenNode* next = n->next;
    delete n;
    n = next;
  }
}

void TokenList::DeleteToken() {
  TokenNode* c = current;
  if (!c) return;
  TokenNode* x = c->next;
  TokenNode* v = c->prev;
  if (v) v->next = x; else head = x;
  if (x) x->prev = v; else tail = v;
  current = x ? x : v;
  delete c;
}

void TokenList::InsertTokenCopy(const TokenNode& node) {
  TokenNode* n = AppendAfterCurrent();
  n->leadStart = node.leadStart;
  n->tokenStart = node.tokenStart;
  n->length = node.length;
  n->separator = node.separator;
  n->kind = node.kind;
  n->keyword = node.keyword;
}

void SetGeneratedText(TextBuffer& text, TokenNode& node, std::string_view prefix,
                      std::string_view tokenText) {
  prefix = prefix.substr(0, 80);
  tokenText = tokenText.substr(0, 80);
  node.leadStart = text.GenPtr();
  if (!text.AppendGenerated(prefix)) FatalStop();
  node.tokenStart = text.GenPtr();
  if (!text.AppendGenerated(tokenText)) FatalStop();
  node.length = uint32_t(tokenText.size());
  node.keyword = ClassifyKeyword(tokenText);
}

TokenKeyword ClassifyKeyword(std::string_view token) {
  // Only these lengths can match; most tokens fail on the first test.
  switch (token.size()) {
    case 1: return token[0] == kEofChar ? kSubprogramKeyword : kNoKeyword;
    case 5: return platform::EqualsCaseBlind(token, "XPROC") || platform::EqualsCaseBlind(token, "MPROC")
                       ? kSubprogramKeyword : kNoKeyword;
    case 7: return platform::EqualsCaseBlind(token, "XDXPROC") ? kSubprogramKeyword : kNoKeyword;
    case 8: return platform::EqualsCaseBlind(token, "FUNCTION") ? kSubprogramKeyword : kNoKeyword;
    case 9: return platform::EqualsCaseBlind(token, "PROCEDURE") ? kSubprogramKeyword : kNoKeyword;
    default: return kNoKeyword;
  }
}

void InsertTokenAfter(TextBuffer& text, TokenList& list, std::string_view prefix,
                      std::string_view tokenText) {
  TokenNode* n = list.AppendAfterCurrent();
  SetGeneratedText(text, *n, prefix, tokenText);
}

void InsertTokenAtHead(TextBuffer& text, TokenList& list, std::string_view prefix,
                       std::string_view tokenText) {
  auto* n = new TokenNode;
  SetGeneratedText(text, *n, prefix, tokenText);
  n->next = list.head;
  if (list.head) list.head->prev = n; else list.tail = n;
  list.head = list.current = n;
}

std::string StatementTextCompact(const TextBuffer& text, const TokenNode& node) {
  std::string_view lead = text.View(node.leadStart, node.LeadLength());
  std::string out;
  for (size_t i = 0; i < lead.size() && out.size() < 80; ++i) {
    char c = lead[i];
    if (c == '{') {
      while (i < lead.size() && lead[i] != '}') ++i;
    } else if (c == '(' && i + 1 < lead.size() && lead[i + 1] == '*') {
      i += 2;
      while (i < lead.size() && !(lead[i] == '*' && i + 1 < lead.size() && lead[i + 1] == ')')) ++i;
      ++i;
    } else if (c != ' ') {
      out += c;
    }
  }
  return out;
}

void ReplaceToken(TextBuffer& text, TokenList& list, std::string_view tokenText) {
  assert(list.current);
  TokenNode* old = list.current;
  std::string prefix = StatementTextCompact(text, *old);
  InsertTokenAfter(text, list, prefix, tokenText);
  list.current = old;
  list.DeleteToken();
}

void CopyTokenList(TokenList& to, const TokenList& from) {
  to.current = to.tail;
  TokenNode* first = nullptr;
  for (const TokenNode* n = from.head; n; n = n->next) {
    to.InsertTokenCopy(*n);
    if (!first) first = to.current;
  }
  if (first) to.current = first;
}

}  // namespace krv::pp
