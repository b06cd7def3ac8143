// What the solver's own readers make of a file, beside what the package's
// libraries read in it: the problem-file codec, the series store and the
// trajectory codec. The solver's readers (Pascal) answer in texts; these
// put the libraries' reading into the same words and compare.
#pragma once

#include <string>
#include <string_view>

namespace krv::rt {

// A reader's verdict and what it read, in the words of the solver's probe
// texts (runtime/tests/krvprobetexts.pas).
struct SolverAnswer {
  int code = -1;
  std::string text;
  bool operator==(const SolverAnswer&) const = default;
};

// ---- Problem files ----

// Compares the problem-file codec's reading of `bytes` under the solver's
// rules (seq::PrbRules::Solver) with the solver's answer (code 0 accepted,
// text its values or the refusal's detail): empty when both read the same
// or both refuse; else what differs. The solver also refuses a problem
// without variables, which the codec reads as well formed.
std::string PrbDifference(std::string_view bytes, const SolverAnswer& solver);

// ---- Data-series stores ----

// The bits of a series cell as the solver's probe shows them ("3FC00000").
std::string CellBits(float v);

// What the series library reads at `path` of the store `fileNoExt`.DSF,
// attached read-only: 0 with "lo hi" and each value's bits ("-" for none;
// "empty"), 1 no series there, 2 refused. `storeDamaged`, when given, is
// set when the attach said the store is damaged and went on.
SolverAnswer LibrarySeries(const std::string& fileNoExt, const std::string& path,
                           bool* storeDamaged = nullptr);

// Compares the library's reading of `path` with the solver's answer:
// empty when they agree, or where they differ on purpose (listed with the
// reason); else what differs.
std::string SeriesDifference(const std::string& fileNoExt, const std::string& path,
                             const SolverAnswer& solver);

// ---- Start trajectories ----

// What the trajectory codec reads as the last record of a start file for a
// problem of at most `maxValues` variables: 0 with D and each value as the
// bits of the double it becomes, or 1 with D (-1 when the header is not
// read) and why it is refused. A start file is refused when it has no
// header, a mark other than the three, a negative D or JTmax, more than
// `maxValues` variables, or fewer blocks than its header counts.
SolverAnswer StartRecord(std::string_view ttr, int maxValues);

// Where the solver's answer for a start file differs from StartRecord's:
// empty when they agree (the refusals' texts are the solver's own).
std::string StartRecordDifference(const SolverAnswer& codec, const SolverAnswer& solver);

}  // namespace krv::rt
