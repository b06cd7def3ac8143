// The block writer of the translated text: 512-byte blocks and the
// 80-column line-break rule.
#pragma once

#include <cstdint>
#include <string>

#include "platform/atomic_file.h"
#include "platform/scratch_file.h"
#include "preprocessor/text_buffer.h"
#include "preprocessor/token_list.h"

namespace krv::pp {

class OutputWriter {
 public:
  explicit OutputWriter(const TextBuffer& text) : text_(text) {}
  ~OutputWriter();
  OutputWriter(const OutputWriter&) = delete;
  OutputWriter& operator=(const OutputWriter&) = delete;

  // Starts a new version of the file, written beside it and put in its
  // place by CloseOutput or CommitOutput; Fill and Column start at 0.
  // Throws EFileError, naming the file and the reason, on any failure.
  void Create(const std::string& path);
  // Starts the scratch file `path` instead: written in place and never
  // flushed to the disk, since the run reads it back itself and the next
  // run rewrites it. Fill and Column start at 0; throws like Create.
  void CreateScratch(const std::string& path);
  bool IsOpen() const { return file_.IsOpen() || scratch_.IsOpen(); }
  // Writes the partial block and puts the file in place.
  void CloseOutput();
  // Writes the partial block and flushes the file to the disk, leaving
  // the old version in place until CommitOutput; a scratch file is
  // closed.
  void FinishOutput();
  void CommitOutput();
  // Drops the new version; the old file stays as it was. A scratch file
  // not yet closed is removed.
  void AbortOutput() {
    file_.Abort();
    scratch_.Abort();
  }

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
  void StartFile();
  // Copies the bytes into the blocks, writing each block as it fills.
  void Put(const char* bytes, size_t n);

  static constexpr int kBlockSize = 512;
  const TextBuffer& text_;
  platform::AtomicFile file_;
  platform::ScratchFile scratch_;
  char block_[kBlockSize];
  int fill_ = 0;
  int column_ = 0;
  char last_ = 0;  // the last byte written, 0 before the first
};

// True when the two characters, written side by side, read as one lexeme
// that a line break between them would split ("<>", "1E5", "''''", ":=").
bool CharsJoin(char a, char b);

}  // namespace krv::pp
