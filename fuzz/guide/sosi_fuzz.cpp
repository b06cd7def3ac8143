// Fuzzes the SOSI tokenizer, parser, expression rewriter and error mark on arbitrary bytes.
#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <string>

#include "guide/expression_rewriter.h"
#include "guide/sosi_generator.h"
#include "guide/sosi_parser.h"
#include "guide/memo_text.h"
#include "guide/sosi_text.h"

using namespace krv::guide;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  // The tokenizer always moves on and ends at the end of the text.
  SosiScanner scan;
  scan.text = text;
  std::string token;
  char delimiter = 0;
  int kind = 0;
  for (;;) {
    const size_t before = scan.SosiScanPos;
    const bool found = NextSosiToken(scan, token, delimiter, kind);
    assert(scan.SosiScanPos <= text.size());
    assert(token.size() <= kSosiNameLength || kind == kSosiNumber);
    if (!found) break;
    assert(scan.SosiScanPos > before);
  }

  SosiTables tables;
  if (ParseSosiFile(text, tables)) {
    assert(tables.SosiEquations.size() == tables.SosiExprText.size());
    const std::string source = WriteModelSource(tables);
    assert(source.size() >= 2 && source.compare(source.size() - 2, 2, "\r\n") == 0);
  } else {
    assert(tables.errorAt <= text.size());
  }

  // Any text as a right-hand side: a success is balanced and unmarked.
  std::string expr = text;
  if (RewriteEquation(expr) && text.find('^') != std::string::npos) {
    assert(std::count(expr.begin(), expr.end(), '(') == std::count(expr.begin(), expr.end(), ')'));
    assert(expr.find('@') == std::string::npos && expr.find('%') == std::string::npos);
  }

  assert(MemoPosition(text, text.size()) <= MemoTextFromFile(text).size());
  return 0;
}
