// The block writer of the translated text.
#include "preprocessor/output_writer.h"

#include <cstring>

#include "preprocessor/char_class.h"
#include "preprocessor/syntax_error.h"

namespace krv::pp {

OutputWriter::~OutputWriter() = default;

void OutputWriter::StartFile() {
  fill_ = 0;
  column_ = 0;
  last_ = 0;
}

void OutputWriter::Create(const std::string& path) {
  StartFile();
  if (!file_.Open(path)) throw EFileError(file_.Error());
}

void OutputWriter::CreateScratch(const std::string& path) {
  StartFile();
  if (!scratch_.Open(path)) throw EFileError(scratch_.Error());
}

void OutputWriter::FlushBlock() {
  int n = fill_;
  fill_ = 0;
  if (n == 0) return;
  const std::string_view block(block_, size_t(n));
  if (scratch_.IsOpen()) {
    if (!scratch_.Write(block)) throw EFileError(scratch_.Error());
  } else if (file_.IsOpen() && !file_.Write(block)) {
    throw EFileError(file_.Error());
  }
}

void OutputWriter::FinishOutput() {
  if (scratch_.IsOpen()) {
    FlushBlock();
    if (!scratch_.Close()) throw EFileError(scratch_.Error());
    return;
  }
  if (!file_.IsOpen()) return;
  FlushBlock();
  if (!file_.Finish()) throw EFileError(file_.Error());
}

void OutputWriter::CommitOutput() {
  if (file_.IsOpen() && !file_.Commit()) throw EFileError(file_.Error());
}

void OutputWriter::CloseOutput() {
  FinishOutput();
  CommitOutput();
}

static bool IsWordChar(char c) { return IsIdentChar(c) || IsDigit(c) || c == '$'; }

bool CharsJoin(char a, char b) {
  if (IsWordChar(a) && (IsWordChar(b) || b == '.')) return true;
  switch (a) {
    case '<': return b == '>' || b == '=';
    case '>': case ':': return b == '=';
    case '\'': return b == '\'';
    case '.': return b == '.' || b == ')' || IsDigit(b);
    case '(': return b == '*' || b == '.';
    case '*': return b == ')';
    case '/': return b == '/';
    default: return false;
  }
}

void OutputWriter::Put(const char* bytes, size_t n) {
  while (n > 0) {
    const size_t room = size_t(kBlockSize - fill_);
    const size_t k = n < room ? n : room;
    std::memcpy(block_ + fill_, bytes, k);
    fill_ += int(k);
    bytes += k;
    n -= k;
    if (fill_ == kBlockSize) FlushBlock();
  }
}

void OutputWriter::Emit(const TokenNode& node, bool commasAsBlanks) {
  // Leading text and token are contiguous in one region of the buffer.
  uint32_t lead = node.LeadLength();
  std::string_view all = text_.View(node.leadStart, lead + node.length);
  int total = int(all.size());
  column_ += total;
  if (column_ > 80 && node.separator != '.' && !all.empty() && !IsLineBreak(all[0]) &&
      !(lead == 0 && last_ != 0 && CharsJoin(last_, all[0]))) {
    WriteByte('\r');
    WriteByte('\n');
    column_ = total;
  }
  if (total == 0) return;
  // The column counts from the last line break: a CR, or an LF on its own.
  for (int i = total - 1; i >= 0; --i) {
    const char c = all[size_t(i)];
    if (c == '\r' || (c == '\n' && (i > 0 ? all[size_t(i) - 1] : last_) != '\r')) {
      column_ = total - i;
      break;
    }
  }
  // Whole runs of bytes; the leading text's commas, when they go, as blanks.
  const char* p = all.data();
  size_t from = 0;
  if (commasAsBlanks) {
    for (size_t i = 0; i < lead; ++i) {
      if (p[i] != ',') continue;
      Put(p + from, i - from);
      Put(" ", 1);
      from = i + 1;
    }
  }
  Put(p + from, size_t(total) - from);
  last_ = from == size_t(total) ? ' ' : p[total - 1];
}

void OutputWriter::EmitList(const TokenList& list) {
  for (const TokenNode* n = list.head; n; n = n->next) EmitToken(*n);
}

void OutputWriter::EmitListNoCommas(const TokenList& list) {
  for (const TokenNode* n = list.head; n; n = n->next) EmitTokenCommasAsBlanks(*n);
}

}  // namespace krv::pp
