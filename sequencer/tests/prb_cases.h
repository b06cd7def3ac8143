// Good and damaged problem files with the verdict each reader of the
// format must give: the sequencer's full check, Casewright's load and save,
// and the solver's reader. Every user's tests run the same table.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace krv::prbcases {

enum class Verdict { Accept, Refuse };

struct PrbCase {
  std::string name;     // short and readable, for test names
  std::string bytes;
  Verdict sequist;      // the format read and checked whole
  Verdict casewright;   // loaded as the main problem
  bool casewrightSaves; // ... and saved again (the ordering copied unread)
  Verdict solver;       // the solver's reader
  // Why the verdicts differ, where they do.
  std::string why;
};

// Tests print a case by its name.
inline void PrintTo(const PrbCase& c, std::ostream* os) { *os << c.name; }

// A small problem every reader accepts: three variables (IO, I*, IO), one
// integration pair, two equations and three nonzeros.
std::string GoodPrb();

// GoodPrb first, then damaged files and files only some readers accept.
std::vector<PrbCase> PrbCases();

}  // namespace krv::prbcases
