// Rewrites a SOSI right-hand side for the model language: every a^b becomes
// AXB(a,b), fully parenthesised, and the tokenizer's "@" function marks go.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace krv::guide {

// Most operations one expression may hold.
inline constexpr int kMaxExprOperations = 200;
// Deepest nesting of groups, the outermost pair included.
inline constexpr int kMaxExprNesting = 256;

// The three-character name of operation `number`: "%", then its low and its
// high base-16 digit, with 10..15 written J..O (0 is %00, 16 is %01).
std::string TemporaryName(int number);

struct ExprOperand {
  enum Type { kIdentifier, kNumber, kTemporary };
  Type type = kNumber;
  std::string text;
};

struct ExprOperation {
  int number = 0;
  int kind = 0;  // 1 negation, 2 LN, 3 EXP, 4 SIN, 5 COS, 6 ^, 7 *, 8 /, 9 +, 10 -
  ExprOperand a, b;
};

// Reduces the working text in place, one operation at a time, into a table
// of operations named by temporaries, then expands them from the outermost.
// Positions are counted from 1, as the messages show them.
class ExpressionRewriter {
 public:
  // Rewrites `expr` (the tokenizer's text, ending with ";") in place.
  // False after an "Err: " report; `expr` is then left as it was.
  bool RewriteEquation(std::string& expr);

  // Sets up the working text from `expr` and reduces it to one operand.
  void ParseExpression(const std::string& expr);
  // Reduces the group at `pos` ("(" or "@"); returns its operand and sets
  // `behind` to the position just behind it.
  ExprOperand ParseGroup(size_t pos, size_t& behind);
  // Applies the operators of `level` (1 "^", 2 "* /", 3 "+ -") left to right
  // over the group content starting at `pos`.
  void ParseBinaryLevel(size_t pos, int level);
  // Reads the operand at `pos` (reducing a group first).
  ExprOperand ParseOperand(size_t pos, size_t& behind);
  std::string RebuildExpression() const;
  // The expansion of one operation; empty when it is not in the table.
  std::string ExpandTemporary(int number) const;
  void ReportExprError(const std::string& message, size_t pos);

  const std::string& Working() const { return work_; }
  const std::vector<ExprOperation>& Operations() const { return ops_; }
  bool Failed() const { return error_; }

 private:
  char At(size_t pos) const { return pos >= 1 && pos <= work_.size() ? work_[pos - 1] : '\0'; }
  // Records an operation and returns its temporary; empty after an error.
  std::string Record(int kind, const ExprOperand& a, const ExprOperand& b, size_t pos);
  void Replace(size_t from, size_t behind, const std::string& with);

  std::string work_;
  std::vector<ExprOperation> ops_;
  bool error_ = false;
  int depth_ = 0;
};

// One-call form for the parser.
bool RewriteEquation(std::string& expr);

}  // namespace krv::guide
