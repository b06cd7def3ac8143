// Rewrites a SOSI right-hand side for the model language: every a^b becomes
// AXB(a,b), fully parenthesised, and the tokenizer's "@" function marks go.
#include "guide/expression_rewriter.h"

#include <algorithm>

#include "platform/text.h"
#include "platform/user_prompts.h"

namespace krv::guide {

namespace {

const char kDigitCode[] = "0123456789JKLMNO";

int DigitValue(char c) {
  for (int v = 0; v < 16; ++v)
    if (kDigitCode[v] == c) return v;
  return -1;
}

bool IsLetter(char c) { return c >= 'A' && c <= 'Z'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

struct FunctionName {
  const char* name;
  int kind;
};
const FunctionName kFunctions[] = {{"LN", 2}, {"EXP", 3}, {"SIN", 4}, {"COS", 5}};

}  // namespace

std::string TemporaryName(int number) {
  return std::string{'%', kDigitCode[number & 15], kDigitCode[(number >> 4) & 15]};
}

void ExpressionRewriter::ReportExprError(const std::string& message, size_t pos) {
  platform::Prompts().ShowMessage("Err: " + message + " at " + platform::IntToString(long(pos)) +
                                  ":" + work_);
  error_ = true;
}

void ExpressionRewriter::Replace(size_t from, size_t behind, const std::string& with) {
  work_.replace(from - 1, behind - from, with);
}

std::string ExpressionRewriter::Record(int kind, const ExprOperand& a, const ExprOperand& b,
                                       size_t pos) {
  if (static_cast<int>(ops_.size()) >= kMaxExprOperations) {
    ReportExprError("Too many operations", pos);
    return {};
  }
  ExprOperation op;
  op.number = static_cast<int>(ops_.size());
  op.kind = kind;
  op.a = a;
  op.b = b;
  ops_.push_back(std::move(op));
  return TemporaryName(ops_.back().number);
}

ExprOperand ExpressionRewriter::ParseOperand(size_t pos, size_t& behind) {
  behind = pos;
  ExprOperand operand;
  const char c = At(pos);
  if (c == '(' || c == '@') return ParseGroup(pos, behind);
  size_t end = pos;
  if (c == '%') {
    operand.type = ExprOperand::kTemporary;
    end = std::min(pos + 3, work_.size() + 1);
  } else if (IsLetter(c)) {
    operand.type = ExprOperand::kIdentifier;
    while (IsLetter(At(end)) || IsDigit(At(end))) ++end;
  } else {
    operand.type = ExprOperand::kNumber;
    while (IsDigit(At(end)) || At(end) == '.') ++end;
    if (end > pos && At(end) == 'E') {
      ++end;
      if (At(end) == '+' || At(end) == '-' || IsDigit(At(end))) ++end;
      while (IsDigit(At(end))) ++end;
    }
  }
  if (end == pos) {
    // An operator with nothing behind it, or a character no operand starts with.
    ReportExprError("Syntax Err", pos);
    return operand;
  }
  operand.text = work_.substr(pos - 1, end - pos);
  behind = end;
  return operand;
}

void ExpressionRewriter::ParseBinaryLevel(size_t pos, int level) {
  if (error_) return;
  size_t leftPos = pos, leftEnd = pos;
  ExprOperand left = ParseOperand(pos, leftEnd);
  while (!error_ && At(leftEnd) != ')') {
    const size_t opPos = leftEnd;
    const char op = At(opPos);
    int kind = 0;
    switch (op) {
      case '^': kind = 6; break;
      case '*': kind = 7; break;
      case '/': kind = 8; break;
      case '+': kind = 9; break;
      case '-': kind = 10; break;
      default:
        ReportExprError("Syntax Err", opPos);
        return;
    }
    size_t rightEnd = opPos + 1;
    ExprOperand right = ParseOperand(opPos + 1, rightEnd);
    if (error_) return;
    const bool mine = (level == 1 && kind == 6) || (level == 2 && (kind == 7 || kind == 8)) ||
                      (level == 3 && (kind == 9 || kind == 10));
    if (mine) {
      std::string temp = Record(kind, left, right, leftPos);
      if (error_) return;
      Replace(leftPos, rightEnd, temp);
      left = {ExprOperand::kTemporary, temp};
      leftEnd = leftPos + temp.size();
    } else {
      left = right;
      leftPos = opPos + 1;
      leftEnd = rightEnd;
    }
  }
}

ExprOperand ExpressionRewriter::ParseGroup(size_t pos, size_t& behind) {
  behind = pos;
  ExprOperand result;
  if (error_) return result;
  // Each nested group takes room on the stack while it is reduced.
  struct Depth {
    int& d;
    explicit Depth(int& depth) : d(++depth) {}
    ~Depth() { --d; }
  } depth(depth_);
  if (depth_ > kMaxExprNesting) {
    ReportExprError("Too deeply nested", pos);
    return result;
  }
  size_t open = pos;
  if (At(pos) == '@') {
    size_t paren = work_.find('(', pos);  // 0-based search from the character after pos
    if (paren == std::string::npos) {
      ReportExprError("Syntax Err", pos);
      return result;
    }
    open = paren + 1;
  }
  // A leading minus negates the next operand only: -A^2 is (-A)^2.
  if (At(open + 1) == '-') {
    size_t end = open + 2;
    ExprOperand negated = ParseOperand(open + 2, end);
    if (error_) return result;
    std::string temp = Record(1, negated, {}, open + 1);
    if (error_) return result;
    Replace(open + 1, end, temp);
  }
  for (int level = 1; level <= 3; ++level) ParseBinaryLevel(open + 1, level);
  if (error_) return result;
  size_t close = open + 1;
  result = ParseOperand(open + 1, close);
  if (error_) return result;
  if (At(close) != ')') {
    ReportExprError("Syntax Err", close);
    return result;
  }
  if (At(pos) == '@') {
    const std::string name = work_.substr(pos, open - pos - 1);
    int kind = 0;
    for (const auto& f : kFunctions)
      if (name == f.name) kind = f.kind;
    if (kind == 0) {
      ReportExprError("Function syntax err", pos);
      return result;
    }
    std::string temp = Record(kind, result, {}, pos);
    if (error_) return result;
    Replace(pos, close + 1, temp);
    behind = pos + temp.size();
    return {ExprOperand::kTemporary, temp};
  }
  work_.erase(close - 1, 1);
  work_.erase(open - 1, 1);
  behind = close - 1;
  return result;
}

void ExpressionRewriter::ParseExpression(const std::string& expr) {
  error_ = false;
  depth_ = 0;
  ops_.clear();
  work_ = "(" + expr.substr(0, expr.find(';')) + ")";
  if (std::count(work_.begin(), work_.end(), '(') != std::count(work_.begin(), work_.end(), ')')) {
    ReportExprError("Unbalanced parens", 1);
    return;
  }
  // Temporaries are this rewriter's own names: one in the text could name
  // an operation that expands into itself.
  if (size_t mark = work_.find('%'); mark != std::string::npos) {
    ReportExprError("Syntax Err", mark + 1);
    return;
  }
  size_t behind = 1;
  ParseGroup(1, behind);
  if (!error_ && behind != work_.size() + 1) ReportExprError("Syntax Err", behind);
}

std::string ExpressionRewriter::ExpandTemporary(int number) const {
  if (number < 0 || number >= static_cast<int>(ops_.size())) return {};
  const ExprOperation& op = ops_[static_cast<size_t>(number)];
  const std::string& a = op.a.text;
  const std::string& b = op.b.text;
  switch (op.kind) {
    case 1: return "-" + a;
    case 2: return "@LN(" + a + ")";
    case 3: return "@EXP(" + a + ")";
    case 4: return "@SIN(" + a + ")";
    case 5: return "@COS(" + a + ")";
    case 6: return "@AXB(" + a + "," + b + ")";
    case 7: return a + "*" + b;
    case 8: return a + "/" + b;
    case 9: return a + "+" + b;
    case 10: return a + "-" + b;
    default: return {};
  }
}

std::string ExpressionRewriter::RebuildExpression() const {
  if (ops_.empty()) return work_;
  std::string result = TemporaryName(static_cast<int>(ops_.size()) - 1);
  // Expansions only name earlier operations, so every pass ends.
  for (size_t at = result.find('%'); at != std::string::npos; at = result.find('%', at)) {
    int low = at + 1 < result.size() ? DigitValue(result[at + 1]) : -1;
    int high = at + 2 < result.size() ? DigitValue(result[at + 2]) : -1;
    std::string expansion =
        low >= 0 && high >= 0 ? ExpandTemporary(low + 16 * high) : std::string();
    result.replace(at, std::min<size_t>(3, result.size() - at), "(" + expansion + ")");
  }
  return result;
}

bool ExpressionRewriter::RewriteEquation(std::string& expr) {
  std::string text = expr;
  if (text.find('^') != std::string::npos) {
    ParseExpression(text);
    if (error_) return false;
    text = RebuildExpression() + ";";
  }
  text.erase(std::remove(text.begin(), text.end(), '@'), text.end());
  expr = std::move(text);
  return true;
}

bool RewriteEquation(std::string& expr) {
  ExpressionRewriter rewriter;
  return rewriter.RewriteEquation(expr);
}

}  // namespace krv::guide
