// Token nodes and the doubly linked token lists the translator works on.
#pragma once

#include <cstdint>
#include <string_view>

#include "preprocessor/text_buffer.h"

namespace krv::pp {

enum TokenKind : uint8_t { kOther = 0, kIdent = 1, kLiteral = 2 };

// What a token's text is as a keyword, found once when the token is made:
// the words that start a subprogram (XPROC, XDXPROC, MPROC, PROCEDURE,
// FUNCTION, in any case) and the end-of-file mark end the text before them.
enum TokenKeyword : uint8_t { kNoKeyword = 0, kSubprogramKeyword = 1 };
TokenKeyword ClassifyKeyword(std::string_view token);

struct TokenNode {
  Pos leadStart = 0;   // first character of the leading text
  Pos tokenStart = 0;  // first character of the token
  uint32_t length = 0;
  char separator = ' ';  // ',' after a comma, '.' for a field after a dot
  uint8_t kind = kOther;
  uint8_t keyword = kNoKeyword;
  TokenNode* next = nullptr;
  TokenNode* prev = nullptr;

  NameRef Token() const { return {tokenStart, length}; }
  uint32_t LeadLength() const { return tokenStart - leadStart; }
};

// A list owns its nodes and frees them when it is cleared or destroyed.
class TokenList {
 public:
  TokenList() = default;
  ~TokenList() { Clear(); }
  TokenList(const TokenList&) = delete;
  TokenList& operator=(const TokenList&) = delete;

  void Clear();
  bool Empty() const { return head == nullptr; }

  // Links a fresh node after Current (or as the only node) and makes it Current.
  TokenNode* AppendAfterCurrent();
  // Tail := Current; everything after it is freed.
  void CutListAtCurrent();
  // Unlinks and frees Current; Current moves to the next node, or to the
  // previous one when Current was the tail.
  void DeleteToken();
  // A copy of `node` (same text references) after Current; it becomes Current.
  void InsertTokenCopy(const TokenNode& node);

  TokenNode* head = nullptr;
  TokenNode* current = nullptr;
  TokenNode* tail = nullptr;
};

// Generated tokens: text written into the buffer's generated region.
class TextBuffer;
void SetGeneratedText(TextBuffer& text, TokenNode& node, std::string_view prefix,
                      std::string_view tokenText);
void InsertTokenAfter(TextBuffer& text, TokenList& list, std::string_view prefix,
                      std::string_view tokenText);
void InsertTokenAtHead(TextBuffer& text, TokenList& list, std::string_view prefix,
                       std::string_view tokenText);
// The node's leading text without comments and blanks (at most 80 characters).
std::string StatementTextCompact(const TextBuffer& text, const TokenNode& node);
// Replaces Current by a generated token keeping its line breaks and commas.
void ReplaceToken(TextBuffer& text, TokenList& list, std::string_view tokenText);
// Appends copies of every node of `from`; Current := the first copy.
void CopyTokenList(TokenList& to, const TokenList& from);

}  // namespace krv::pp
