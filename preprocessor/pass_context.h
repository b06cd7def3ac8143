// What every translating routine of a pass works with: the text, the
// scanner, the statement list, the writer and the error report.
#pragma once

#include <string>
#include <string_view>

#include "preprocessor/output_writer.h"
#include "preprocessor/scanner.h"
#include "preprocessor/syntax_error.h"
#include "preprocessor/text_buffer.h"
#include "preprocessor/token_list.h"

namespace krv::pp {

struct PassContext {
  TextBuffer& text;
  ErrorReport& errors;
  Scanner& scanner;
  OutputWriter& out;
  TokenList& stmt;  // the statement list the scanner appends to

  LogWriter& Log() { return errors.Log(); }

  // Token text of a node or reference, as written or upper-cased.
  std::string TokenText(const NameRef& r) const { return std::string(text.View(r)); }
  std::string TokenTextUpper(const NameRef& r) const;
  // TokenText cut to 80 characters.
  std::string RefText(const NameRef& r) const { return TokenText(r).substr(0, 80); }
  std::string NodeTokenText(const TokenNode* n) const { return TokenText(n->Token()); }
  std::string NodeTokenUpper(const TokenNode* n) const { return TokenTextUpper(n->Token()); }
  std::string CurrentTokenText() const {
    return stmt.current ? NodeTokenText(stmt.current) : std::string();
  }
  bool NodeTokenIs(const TokenNode* n, std::string_view word) const;
  bool CurrentTokenIs(std::string_view word) const { return NodeTokenIs(stmt.current, word); }
  std::string CurrentTokenUpper() const {
    return stmt.current ? NodeTokenUpper(stmt.current) : std::string();
  }
  void Scan() { scanner.ScanToken(stmt, true); }
};

// Frees the statement list and scans the first token of the next statement.
void NewStatement(PassContext& c);
// Copies tokens unchanged until the word (ignoring case) or end of file;
// the stop token stays as the statement list's only node, not written.
void CopyUntilWord(PassContext& c, std::string_view word);
void CopyUntilXvtypeOrXproc(PassContext& c);
void CopyUntilSegmentEnd(PassContext& c);

}  // namespace krv::pp
