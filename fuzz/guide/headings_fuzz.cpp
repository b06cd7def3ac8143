// Fuzzes the headings index (tokenizer, list, jump, search) and the memo
// text of a file on arbitrary bytes.
#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <string>

#include "guide/headings.h"
#include "guide/memo_text.h"

using namespace krv::guide;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = MemoTextFromFile(bytes);
  assert(MemoTextFromFile(FileBytesFromMemo(text)) == text);

  SourceScanner scanner(text);
  SourceToken token;
  size_t calls = 0;
  while (NextSourceToken(scanner, {'(', ',', ':', ')', ';'}, token)) {
    assert(token.text.size() <= kMaxSourceToken);
    assert(token.stopAt <= scanner.Text().size());
    assert(++calls <= scanner.Text().size() + 1);  // every call moves on
  }

  const std::string list = BuildHeadingsList(text);
  const long long lines = 1 + static_cast<long long>(std::count(text.begin(), text.end(), '\n'));
  for (size_t k = 0; k <= 16; ++k) {
    const size_t caret = list.size() * k / 16;
    if (auto line = HeadingJumpLine(list, caret)) assert(LineStart(text, *line) <= text.size());
  }
  // The first entry's number is a line of the source.
  if (!list.empty()) {
    auto line = HeadingJumpLine(list, 0);
    assert(list.rfind("line = ", 0) == 0 && line && *line >= 1 && *line <= lines);
  }
  size_t lastHit = 1 + size % 7;
  if (auto hit = SearchHeadings(list, text.substr(0, 4), lastHit)) assert(*hit + 1 == lastHit);
  return 0;
}
