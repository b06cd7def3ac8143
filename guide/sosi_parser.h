// The SOSI language: a short list of parameters and equations that the
// guide turns into model source. The tokenizer and the parser into tables.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

namespace krv::guide {

enum SosiTokenKind { kSosiNone = 0, kSosiNumber = 1, kSosiIdentifier = 2, kSosiEnd = 3 };

// Identifiers count with their first 31 characters.
inline constexpr size_t kSosiNameLength = 31;

// The text being read and what the tokenizer collects from it.
struct SosiScanner {
  std::string text;         // the SOSI text as bytes
  size_t SosiScanPos = 0;   // characters consumed so far: the next is at SosiScanPos + 1, counted from 1
  std::string expression;   // the right-hand side being collected
  bool badNumber = false;   // the last token was a malformed number
};

// Reads the next token, upper-cased, and the delimiter behind it; returns
// whether a delimiter was found (NUL stands for none: the end of the text).
// A number is digits with at most one point and an optional exponent "E",
// sign, digits; anything else that starts like a number sets `badNumber`.
// A number written with a leading point gets a 0 in front.
bool NextSosiToken(SosiScanner& scanner, std::string& token, char& delimiter, int& kind);

enum class SosiEquationKind { kPlain, kDerivative, kFix };

struct SosiParam {
  std::string name;
  std::string value;  // the number as written
};

struct SosiEquation {
  std::string variable;  // x of TDERIV(x), FIX(x, y) or x = ...
  SosiEquationKind kind = SosiEquationKind::kPlain;
  std::vector<std::string> inputs;  // in order of first appearance; y first for FIX
  std::unordered_set<std::string> inputSet;
};

struct SosiTables {
  std::vector<SosiParam> SosiParams;
  std::vector<SosiEquation> SosiEquations;
  std::vector<std::string> SosiExprText;  // one rewritten right-hand side per equation
  bool SosiParsedOk = false;
  size_t errorAt = 0;  // characters consumed when a parse failed
};

// Appends `name` to the equation's inputs unless it is there already.
void AddInputName(SosiEquation& equation, const std::string& name);

// Parses a SOSI text into `tables`. On a syntax error shows "Error" (after
// the expression rewriter's own report where it failed) and leaves
// SosiParsedOk false with errorAt the place where scanning stopped.
bool ParseSosiFile(const std::string& text, SosiTables& tables);

}  // namespace krv::guide
