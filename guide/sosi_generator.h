// Turns parsed SOSI tables into model source, and the "Cvt SOSI" command.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "guide/sosi_parser.h"

namespace krv::guide {

// The model's variable list, each name once, in order of first mention.
struct SosiSystemNames {
  std::vector<std::string> names;
  std::unordered_set<std::string> seen;
};

// Appends `name` unless it is there already.
void AddSystemVarName(SosiSystemNames& list, const std::string& name);

// The name list joined with "," and broken before each comma past the 60th
// character: lines of three blanks and a piece, the last with `closing`.
std::vector<std::string> WrapNameList(const std::vector<std::string>& names,
                                      const std::string& closing);

// The model source for parsed tables: CR LF after every line.
std::string WriteModelSource(const SosiTables& tables);

enum class SosiConversion { kDone, kCancelled, kNoSource, kParseError, kWriteFailed };

struct SosiConversionResult {
  SosiConversion outcome = SosiConversion::kCancelled;
  std::string text;    // the SOSI text that was parsed
  size_t errorAt = 0;  // where parsing stopped, after a parse error
};

// "Cvt SOSI" for problem `problemName` in the current directory: asks
// before replacing an existing model source, parses the .SO file, writes
// the .QTL (under its spelling on disk) and says "Finished". An existing
// .QTL is left untouched unless the new one is written whole.
SosiConversionResult ConvertSosi(const std::string& problemName);

}  // namespace krv::guide
