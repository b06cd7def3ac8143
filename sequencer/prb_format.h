// The problem file (.PRB): the in-memory problem, its reader and its writer.
//
// Layout: header line "*" + compile label + "#0000" CR LF; u16 highest
// name index H (0xFFFF for none); H+1 name records (2 kind letters, the
// ditto-compressed name, CR LF, a 25-byte value block); "#" CR LF; u16 P
// and P integration pairs; u16 N, N row names, N column names; u32 Z as two
// u16 (low word first) and Z nonzeros (row position, column position).
// Every binary word is little-endian.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace krv::seq {

inline constexpr size_t kValueBlockSize = 25;
inline constexpr size_t kMaxNonzeros = 150000;
inline constexpr size_t kMaxTitleLength = 127;
// The largest problem file a reader takes: the solver's own limit. 65,535
// records of a name line and a value block, and the ordering's 150,000
// nonzeros, stay well below it; a larger file is refused before it is read.
inline constexpr uint64_t kMaxPrbFileBytes = 64ull << 20;

// The reason a problem file larger than kMaxPrbFileBytes is refused,
// naming the file.
std::string PrbTooLargeMessage(const std::string& path);

// The 25-byte value block of one variable: constraint letter (offset 0),
// "X in" double (1), "Range" single (9), a fourth single (13), "X out"
// double (17). Held as bytes so that a block round-trips unchanged.
struct PRBValueBlock {
  std::array<uint8_t, kValueBlockSize> bytes{};

  // Sequist's empty block: 'U' and 24 zero bytes.
  static PRBValueBlock Unconstrained();

  char Constraint() const { return char(bytes[0]); }
  void SetConstraint(char c) { bytes[0] = uint8_t(c); }
  // 'P' compared case-blind.
  bool IsPositive() const { return bytes[0] == 'P' || bytes[0] == 'p'; }
  double XIn() const;
  void SetXIn(double v);
  float Range() const;
  void SetRange(float v);
  float Fourth() const;
  void SetFourth(float v);
  double XOut() const;
  void SetXOut(double v);

  bool operator==(const PRBValueBlock&) const = default;
};

struct PrbVariable {
  std::string kind;  // two role letters, e.g. "IO", "IC", "**"
  std::string name;  // expanded name without the leading "_X."
  PRBValueBlock block = PRBValueBlock::Unconstrained();
  // The name line as stored (kind letters + compressed name, no CR LF);
  // filled by the reader, used by the writer with keepStoredLines.
  std::string storedLine;

  bool operator==(const PrbVariable&) const = default;
};

// (integrated variable, its derivative) as variable indexes.
struct PrbIntegrationPair {
  uint16_t integrated = 0;
  uint16_t derivative = 0;
  bool operator==(const PrbIntegrationPair&) const = default;
};

// 1-based (row position, column position) of the ordered matrix.
struct PrbNonzero {
  uint16_t row = 0;
  uint16_t column = 0;
  bool operator==(const PrbNonzero&) const = default;
};

struct PrbOrdering {
  std::vector<PrbIntegrationPair> pairs;
  std::vector<uint16_t> rowNames;     // variable index per row position 1..N
  std::vector<uint16_t> columnNames;  // variable index per column position 1..N
  std::vector<PrbNonzero> nonzeros;   // by column position, then row position

  bool operator==(const PrbOrdering&) const = default;
};

struct PrbProblem {
  // The header line without CR LF, "*" + label + "#0000" as written.
  std::string header;
  std::vector<PrbVariable> variables;  // record k = variable-map index k
  PrbOrdering ordering;
  // Read with PrbOrderingRule::CopyUnread: the ordering section's bytes as
  // stored, which WritePrb then copies in place of `ordering`.
  std::optional<std::string> unreadOrdering;

  bool operator==(const PrbProblem&) const = default;
};

// "*" + the first 127 characters of `label` + "#0000".
std::string MakeHeaderLine(std::string_view label);
// The compile label of a header line: without the leading "*" and the
// trailing "#0000" (each only where present).
std::string LabelOfHeader(std::string_view header);

enum class PrbLayout { V4, Older };

// What a reader does with the ordering section after the "#" line.
enum class PrbOrderingRule {
  // Read it and check it against the names: the sequencer's and the
  // solver's rule. A section cut short, stray bytes after it or an entry
  // outside the names make the file damaged.
  Check,
  // The problem editor's rule: the section is not interpreted, only
  // measured and kept as stored (PrbProblem::unreadOrdering) so that a
  // save copies it unread. A section cut short still loads
  // (PrbReadResult::orderingComplete is false) but cannot be written.
  CopyUnread,
};

// Whose verdict a reader gives.
enum class PrbRules {
  // The format's: what it can hold, as the sequencer writes it.
  Format,
  // The solver's: the format's, and what the solver needs of a problem it
  // runs, so that a program can tell before a run that the solver will
  // refuse the file as damaged. Beyond the format the solver refuses a
  // header longer than 200 characters or one that does not end with
  // "#0000", a name line longer than 257 characters, an X in
  // that is not a finite number, and an ordering whose rows are not each a
  // computed or fixed variable (output role O, or input role C) or whose
  // columns are not each an input or moved variable (input role I, or
  // output role C), or that names a variable twice among its rows or among
  // its columns. Only the V.4 layout is read; the ordering is always
  // checked (with CopyUnread it is also kept as stored). A problem without
  // variables is well formed under these rules too; the solver refuses it
  // only because it has nothing to solve (`variables` is empty).
  Solver,
};

struct PrbReadOptions {
  // Also accept the older layout: no "*" header, no count word, records up
  // to the "#" line and nothing read after it (the problem editor's rule
  // for a transfer source).
  bool acceptOlderLayout = false;
  PrbOrderingRule ordering = PrbOrderingRule::Check;
  PrbRules rules = PrbRules::Format;
};

struct PrbReadResult {
  bool ok = false;
  std::string error;         // what is wrong, when !ok
  PrbLayout layout = PrbLayout::V4;
  size_t orderingOffset = 0; // byte offset just after the "#" line
  // The ordering section is all there (always so when it was checked).
  bool orderingComplete = false;
};

// Reads a whole problem file from its bytes. Damaged or truncated bytes
// give ok = false and a message; `out.variables` then holds the records
// read completely before the damage. Never reads outside `bytes`.
// Every line ends with CR LF exactly: a bare LF, or a CR followed by any
// other byte, is damage (the value blocks are binary, so nothing else can
// tell where a line ends). Kind letters are an input role (I, C, *) then
// an output role (O, C, *).
PrbReadResult ReadPrb(std::string_view bytes, PrbProblem& out, const PrbReadOptions& options = {});

// Reads the file `path` resolves to; an unreadable file, or one larger than
// kMaxPrbFileBytes, is an error too.
PrbReadResult LoadPrbFile(const std::string& path, PrbProblem& out,
                          const PrbReadOptions& options = {});

struct PrbWriteOptions {
  // Write each variable's storedLine where it has one instead of
  // compressing its name again (dittos stay as the source file had them).
  bool keepStoredLines = false;
  // Cut the header and every copied name line to this many characters
  // (0: no cut). The problem editor copies lines cut to 127.
  size_t copiedLineLimit = 0;
};

// The bytes of the problem file. False, with a message, for a problem the
// format cannot hold (more than 65535 records, a kind that is not two
// letters, a line break inside a name or the header, counts beyond 16 bits,
// an unread ordering section that is not one whole section).
bool WritePrb(const PrbProblem& problem, std::string& out, std::string& error,
              const PrbWriteOptions& options = {});

}  // namespace krv::seq
