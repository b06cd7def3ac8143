// The block writer of the translated text: 512-byte blocks and the
// 80-column line-break rule.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "preprocessor/text_buffer.h"
#include "preprocessor/token_list.h"

namespace krv::pp {

class OutputWriter {
 public:
  explicit OutputWriter(const TextBuffer& text) : text_(text) {}
  ~OutputWriter();
  OutputWriter(const OutputWriter&) = delete;
  OutputWriter& operator=(const OutputWriter&) = delete;

  // Creates (or truncates) the file; Fill and Column start at 0. Throws
  // EFileError when it cannot be created.
  void Create(const std::string& path);
  bool IsOpen() const { return file_ != nullptr; }
  // Writes the partial block and closes the file.
  void CloseOutput();

  void EmitToken(const TokenNode& node) { Emit(node, false); }
  void EmitTokenCommasAsBlanks(const TokenNode& node) { Emit(node, true); }
  void EmitList(const TokenList& list);
  void EmitListNoCommas(const TokenList& list);

  int Column() const { return column_; }
  int Fill() const { return fill_; }

 private:
  void Emit(const TokenNode& node, bool commasAsBlanks);
  void WriteByte(char c) {
    block_[fill_++] = c;
    last_ = c;
    if (fill_ == kBlockSize) FlushBlock();
  }
  void FlushBlock();

  static constexpr int kBlockSize = 512;
  const TextBuffer& text_;
  std::FILE* file_ = nullptr;
  std::string path_;
  char block_[kBlockSize];
  int fill_ = 0;
  int column_ = 0;
  char last_ = 0;  // the last byte written, 0 before the first
};

// True when the two characters, written side by side, read as one lexeme
// that a line break between them would split ("<>", "1E5", "''''", ":=").
bool CharsJoin(char a, char b);

}  // namespace krv::pp
