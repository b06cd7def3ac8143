// A scanner over a byte string with its own log, for the tests.
#pragma once

#include <string>
#include <vector>

#include "preprocessor/directives.h"
#include "preprocessor/log_writer.h"
#include "preprocessor/scanner.h"
#include "preprocessor/syntax_error.h"
#include "preprocessor/text_buffer.h"
#include "preprocessor/token_list.h"

namespace krv::pp::test {

struct Tok {
  std::string text;
  int kind;
  char sep;
  bool operator==(const Tok&) const = default;
};

struct ScannerFixture {
  explicit ScannerFixture(const std::string& src, bool segmentMarks = false) {
    errors.AttachLineNumber(&scanner.LineNumber());
    directives.ResetDirectives();
    scanner.Open(src, segmentMarks);
  }
  // Every token up to (not including) the end-of-file mark.
  std::vector<Tok> All(int limit = 10000) {
    std::vector<Tok> out;
    for (int i = 0; i < limit; ++i) {
      scanner.ScanToken(list, true);
      if (scanner.EndOfFile()) break;
      const TokenNode& n = *list.current;
      out.push_back({std::string(text.View(n.Token())), n.kind, n.separator});
    }
    return out;
  }
  std::string LeadOf(const TokenNode& n) { return std::string(text.View(n.leadStart, n.LeadLength())); }
  std::vector<std::string> LogAfterStart() {
    auto l = log.Lines();
    return std::vector<std::string>(l.begin() + 1, l.end());
  }

  LogWriter log;
  TextBuffer text;
  ErrorReport errors{log};
  Directives directives;
  Scanner scanner{text, errors, directives};
  TokenList list;
};

}  // namespace krv::pp::test
