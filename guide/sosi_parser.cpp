// The SOSI language: a short list of parameters and equations that the
// guide turns into model source. The tokenizer and the parser into tables.
#include "guide/sosi_parser.h"

#include "guide/expression_rewriter.h"
#include "platform/text.h"
#include "platform/user_prompts.h"

namespace krv::guide {

namespace {

bool IsLetter(char c) { return c >= 'A' && c <= 'Z'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

}  // namespace

bool NextSosiToken(SosiScanner& s, std::string& token, char& delimiter, int& kind) {
  const std::string& text = s.text;
  auto peek = [&]() { return platform::UpperAscii(text[s.SosiScanPos]); };
  delimiter = ' ';
  token.clear();
  kind = kSosiNone;
  s.badNumber = false;
  while (s.SosiScanPos < text.size() && IsBlank(text[s.SosiScanPos])) ++s.SosiScanPos;
  if (s.SosiScanPos >= text.size()) {
    delimiter = '\0';
    kind = kSosiEnd;
    return false;
  }
  char c = peek();
  if (IsLetter(c)) {
    while (s.SosiScanPos < text.size() && (IsLetter(peek()) || IsDigit(peek()))) {
      if (token.size() < kSosiNameLength) token += peek();
      ++s.SosiScanPos;
    }
    kind = token == "END" ? kSosiEnd : kSosiIdentifier;
  } else if (IsDigit(c) || c == '.') {
    // The compiler refuses a number that begins with its point, so such a
    // number starts with a 0 of its own.
    const bool leadingPoint = c == '.';
    if (leadingPoint) token += '0';
    int points = 0;
    while (s.SosiScanPos < text.size() && (IsDigit(peek()) || peek() == '.')) {
      if (peek() == '.') ++points;
      token += peek();
      ++s.SosiScanPos;
    }
    if (points > 1 || (leadingPoint && token == "0.")) s.badNumber = true;
    if (s.SosiScanPos < text.size() && peek() == 'E') {
      token += 'E';
      ++s.SosiScanPos;
      // The exponent needs its sign and at least one digit: 1E5 and 1E; are malformed.
      if (s.SosiScanPos < text.size() && (peek() == '+' || peek() == '-')) {
        token += peek();
        ++s.SosiScanPos;
        size_t digits = 0;
        while (s.SosiScanPos < text.size() && IsDigit(peek())) {
          token += peek();
          ++s.SosiScanPos;
          ++digits;
        }
        if (digits == 0) s.badNumber = true;
      } else {
        s.badNumber = true;
      }
    }
    kind = kSosiNumber;
  }
  while (s.SosiScanPos < text.size() && IsBlank(text[s.SosiScanPos])) ++s.SosiScanPos;
  if (s.SosiScanPos >= text.size()) {
    delimiter = '\0';
  } else if (IsLetter(peek()) || IsDigit(peek())) {
    // Left for the next token; the blank stands between the two.
  } else {
    delimiter = peek();
    ++s.SosiScanPos;
  }
  if (kind == kSosiEnd) return delimiter != '\0';  // the end word is no part of an expression
  if (delimiter == '\0')
    s.expression += token;  // a token that ends the text stays
  else if (!token.empty() && delimiter == '(')
    s.expression += "@" + token + "(";
  else
    s.expression += token + delimiter;
  return delimiter != '\0';
}

void AddInputName(SosiEquation& equation, const std::string& name) {
  if (equation.inputSet.insert(name).second) equation.inputs.push_back(name);
}

namespace {

class SosiParser {
 public:
  SosiParser(const std::string& text, SosiTables& tables) : tables_(tables) {
    scan_.text = text;
  }

  bool Run() {
    tables_ = SosiTables();
    bool ok = Parse();
    if (!ok) {
      tables_.errorAt = scan_.SosiScanPos;
      platform::Prompts().ShowMessage("Error");
    }
    tables_.SosiParsedOk = ok;
    return ok;
  }

 private:
  // Reads a token; false when it is a malformed number.
  bool Read() {
    found_ = NextSosiToken(scan_, token_, delim_, kind_);
    return !scan_.badNumber;
  }

  bool Parse() {
    if (!Read()) return false;
    if (found_ && (token_.compare(0, 5, "PARAM") != 0 || delim_ != ' ')) return false;
    if (!found_) return false;
    // Parameters, up to the word EQUATIONS.
    std::unordered_set<std::string> params;
    for (;;) {
      if (!Read() || kind_ != kSosiIdentifier) return false;
      if (token_ == "EQUATIONS" && delim_ != '=') break;
      if (!found_) return false;
      if (delim_ == '=') {
        SosiParam p;
        p.name = token_;
        if (!Read() || kind_ != kSosiNumber || delim_ != ';') return false;
        p.value = token_;
        params.insert(p.name);
        tables_.SosiParams.push_back(std::move(p));
      }
    }
    // Equations, up to END or the end of the text.
    for (;;) {
      if (!Read()) return false;
      // A model without equations would have no variables to declare.
      if (kind_ == kSosiEnd) return !tables_.SosiEquations.empty();
      if (kind_ != kSosiIdentifier) return false;
      SosiEquation eq;
      if (token_ == "TDERIV") {
        eq.kind = SosiEquationKind::kDerivative;
        if (delim_ != '(') return false;
        if (!ReadName(')', eq.variable)) return false;
        if (!ReadEquals()) return false;
      } else if (token_ == "FIX") {
        eq.kind = SosiEquationKind::kFix;
        if (delim_ != '(') return false;
        std::string y;
        if (!ReadName(',', eq.variable) || !ReadName(')', y)) return false;
        AddInputName(eq, y);
        if (!ReadEquals()) return false;
      } else {
        if (delim_ != '=') return false;
        eq.variable = token_;
      }
      scan_.expression.clear();
      bool ended = false;
      for (;;) {
        if (!Read()) return false;
        if (kind_ == kSosiEnd) {
          ended = true;
          break;
        }
        if (kind_ == kSosiIdentifier && delim_ != '(' && !params.count(token_))
          AddInputName(eq, token_);
        if (delim_ == ';') break;
      }
      std::string expr = scan_.expression;
      if (ended)
        while (!expr.empty() && expr.back() == ' ') expr.pop_back();
      if (!RewriteEquation(expr)) return false;
      tables_.SosiEquations.push_back(std::move(eq));
      tables_.SosiExprText.push_back(std::move(expr));
      if (ended) return true;
    }
  }

  // The name inside TDERIV( ) or FIX( , ): an identifier closed by `close`.
  bool ReadName(char close, std::string& name) {
    if (!Read() || kind_ != kSosiIdentifier || delim_ != close) return false;
    name = token_;
    return true;
  }

  // The "=" after TDERIV(x) or FIX(x, y), with nothing before it.
  bool ReadEquals() { return Read() && kind_ == kSosiNone && delim_ == '='; }

  SosiTables& tables_;
  SosiScanner scan_;
  std::string token_;
  char delim_ = ' ';
  int kind_ = kSosiNone;
  bool found_ = false;
};

}  // namespace

bool ParseSosiFile(const std::string& text, SosiTables& tables) {
  SosiParser parser(text, tables);
  return parser.Run();
}

}  // namespace krv::guide
