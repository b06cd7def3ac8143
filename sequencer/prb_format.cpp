// The problem file (.PRB): reading with checks, byte-exact writing.
#include "sequencer/prb_format.h"

#include <cmath>
#include <cstring>

#include "platform/byte_io.h"
#include "platform/little_endian.h"
#include "platform/text.h"
#include "sequencer/prb_names.h"

namespace krv::seq {

using platform::IntToString;

static constexpr std::string_view kHeaderEnd = "#0000";
static constexpr uint16_t kNoRecords = 0xFFFF;

PRBValueBlock PRBValueBlock::Unconstrained() {
  PRBValueBlock b;
  b.bytes[0] = 'U';
  return b;
}

double PRBValueBlock::XIn() const { return platform::GetF64(bytes, 1); }
void PRBValueBlock::SetXIn(double v) { platform::PutF64(bytes, 1, v); }
float PRBValueBlock::Range() const { return platform::GetF32(bytes, 9); }
void PRBValueBlock::SetRange(float v) { platform::PutF32(bytes, 9, v); }
float PRBValueBlock::Fourth() const { return platform::GetF32(bytes, 13); }
void PRBValueBlock::SetFourth(float v) { platform::PutF32(bytes, 13, v); }
double PRBValueBlock::XOut() const { return platform::GetF64(bytes, 17); }
void PRBValueBlock::SetXOut(double v) { platform::PutF64(bytes, 17, v); }

std::string MakeHeaderLine(std::string_view label) {
  std::string h = "*";
  h += label.substr(0, kMaxTitleLength);
  h += kHeaderEnd;
  return h;
}

std::string LabelOfHeader(std::string_view header) {
  if (!header.empty() && header.front() == '*') header.remove_prefix(1);
  if (header.ends_with(kHeaderEnd)) header.remove_suffix(kHeaderEnd.size());
  return std::string(header);
}

namespace {

// Bounded reading of the file's bytes; every read checks what is left.
class Cursor {
 public:
  explicit Cursor(std::string_view bytes) : b_(bytes) {}
  size_t Offset() const { return pos_; }
  bool AtEnd() const { return pos_ >= b_.size(); }
  size_t Left() const { return b_.size() - pos_; }

  // A line ended by CR LF; false at the end or without the LF.
  bool ReadRawLine(std::string& line, bool& badEnd) {
    badEnd = false;
    size_t cr = b_.find('\r', pos_);
    if (cr == std::string_view::npos) return false;
    if (cr + 1 >= b_.size() || b_[cr + 1] != '\n') {
      badEnd = true;
      return false;
    }
    line.assign(b_.substr(pos_, cr - pos_));
    pos_ = cr + 2;
    return true;
  }
  bool Word(uint16_t& w) {
    if (Left() < 2) return false;
    w = platform::GetU16(b_, pos_);
    pos_ += 2;
    return true;
  }
  bool Long(uint32_t& v) {
    if (Left() < 4) return false;
    v = platform::GetU32(b_, pos_);
    pos_ += 4;
    return true;
  }
  void Skip(size_t n) { pos_ += n; }
  std::string_view Rest() const { return b_.substr(pos_); }
  bool Block(PRBValueBlock& block) {
    if (Left() < kValueBlockSize) return false;
    std::memcpy(block.bytes.data(), b_.data() + pos_, kValueBlockSize);
    pos_ += kValueBlockSize;
    return true;
  }

 private:
  std::string_view b_;
  size_t pos_ = 0;
};

}  // namespace

static PrbReadResult Fail(PrbReadResult r, std::string message) {
  r.ok = false;
  r.error = std::move(message);
  return r;
}

// The role letters of a name line: input role, then output role.
static bool IsKind(std::string_view k) {
  return k.size() == 2 && (k[0] == 'I' || k[0] == 'C' || k[0] == '*') &&
         (k[1] == 'O' || k[1] == 'C' || k[1] == '*');
}

static std::string LineError(const char* what, bool badEnd) {
  return std::string(what) + (badEnd ? " does not end with CR LF" : " is missing");
}

// Reads one name record; `end` is set when the "#" line stands there.
static bool ReadVarRecord(Cursor& c, DittoTable& ditto, PrbVariable& v, bool& end,
                          std::string& error) {
  std::string line;
  bool badEnd = false;
  end = false;
  if (!c.ReadRawLine(line, badEnd)) {
    error = LineError("name line", badEnd);
    return false;
  }
  if (line.starts_with("#")) {
    end = true;
    return false;
  }
  if (line.size() < 2) {
    error = "name line without its two kind letters";
    return false;
  }
  if (!IsKind(std::string_view(line).substr(0, 2))) {
    error = "name line with the kind letters \"" + line.substr(0, 2) + "\"";
    return false;
  }
  v.storedLine = line;
  v.kind = line.substr(0, 2);
  v.name = ditto.Expand(std::string_view(line).substr(0, kNameLineLimit).substr(2));
  if (!c.Block(v.block)) {
    error = "value block cut short";
    return false;
  }
  return true;
}

// The ordering must only name existing variables and positions.
static bool CheckOrdering(const PrbOrdering& o, size_t names, std::string& error) {
  auto bad = [&](uint16_t v, const char* what) {
    if (v < names) return false;
    error = std::string(what) + " names variable " + IntToString(v) + " of " +
            IntToString(static_cast<long long>(names));
    return true;
  };
  for (const auto& pair : o.pairs)
    if (bad(pair.integrated, "an integration pair") || bad(pair.derivative, "an integration pair"))
      return false;
  size_t n = o.rowNames.size();
  if (o.columnNames.size() != n) return error = "row and column name lists differ in length", false;
  if (n > names)
    return error = IntToString(static_cast<long long>(n)) + " equations for " +
                   IntToString(static_cast<long long>(names)) + " variables",
           false;
  for (uint16_t r : o.rowNames)
    if (bad(r, "a row")) return false;
  for (uint16_t c : o.columnNames)
    if (bad(c, "a column")) return false;
  if (o.nonzeros.size() > kMaxNonzeros)
    return error = "nonzero count " + IntToString(static_cast<long long>(o.nonzeros.size())) +
                   " exceeds " + IntToString(kMaxNonzeros),
           false;
  for (const auto& e : o.nonzeros)
    if (e.row < 1 || e.row > n || e.column < 1 || e.column > n)
      return error = "nonzero (" + IntToString(e.row) + ", " + IntToString(e.column) +
                     ") outside the " + IntToString(static_cast<long long>(n)) + " positions",
             false;
  return true;
}

static bool ReadOrdering(Cursor& c, size_t names, PrbOrdering& o, std::string& error) {
  auto cut = [&](const char* what) {
    error = std::string("ordering section cut short in the ") + what;
    return false;
  };
  uint16_t p = 0;
  if (!c.Word(p)) return cut("integration pair count");
  if (c.Left() / 4 < p) return cut("integration pairs");
  o.pairs.resize(p);
  for (auto& pair : o.pairs) {
    c.Word(pair.integrated);
    c.Word(pair.derivative);
  }
  uint16_t n = 0;
  if (!c.Word(n)) return cut("equation count");
  if (c.Left() / 4 < n) return cut("row and column names");
  o.rowNames.resize(n);
  o.columnNames.resize(n);
  for (auto& r : o.rowNames) c.Word(r);
  for (auto& col : o.columnNames) c.Word(col);
  uint32_t z = 0;
  if (!c.Long(z)) return cut("nonzero count");
  if (z > kMaxNonzeros)
    return error = "nonzero count " + IntToString(z) + " exceeds " + IntToString(kMaxNonzeros),
           false;
  if (c.Left() / 4 < z) return cut("nonzeros");
  o.nonzeros.resize(z);
  for (auto& e : o.nonzeros) {
    c.Word(e.row);
    c.Word(e.column);
  }
  if (!c.AtEnd())
    return error = IntToString(static_cast<long long>(c.Left())) + " stray bytes after the nonzeros",
           false;
  return CheckOrdering(o, names, error);
}

// The length of the ordering section at the cursor, measured without
// interpreting it; nullopt when the bytes end inside it.
static std::optional<size_t> MeasureOrdering(Cursor c) {
  size_t from = c.Offset();
  uint16_t p = 0, n = 0;
  uint32_t z = 0;
  if (!c.Word(p) || c.Left() / 4 < p) return std::nullopt;
  c.Skip(size_t(p) * 4);
  if (!c.Word(n) || c.Left() / 4 < n) return std::nullopt;
  c.Skip(size_t(n) * 4);
  if (!c.Long(z)) return std::nullopt;
  if (c.Left() / 4 < z) return std::nullopt;
  c.Skip(size_t(z) * 4);
  return c.Offset() - from;
}

// The solver's line limits: it looks for the end of a header within 200
// bytes and for the end of a name's text within 255.
static constexpr size_t kSolverHeaderMax = 200;
static constexpr size_t kSolverNameTextMax = 255;

// Each row of the ordering is a computed or fixed variable, each column an
// input or moved one; none stands twice in its list.
static bool SolverFitsOrdering(const PrbProblem& p, bool rows, std::string& error) {
  const auto& list = rows ? p.ordering.rowNames : p.ordering.columnNames;
  std::vector<bool> seen(p.variables.size());
  for (size_t k = 0; k < list.size(); ++k) {
    const std::string& kind = p.variables[list[k]].kind;
    bool fits = rows ? kind[1] == 'O' || kind[0] == 'C' : kind[0] == 'I' || kind[1] == 'C';
    if (fits && !seen[list[k]]) {
      seen[list[k]] = true;
      continue;
    }
    error = (rows ? "row " : "column ") + IntToString(static_cast<long long>(k + 1)) +
            " of the ordering " +
            (!fits ? (rows ? "is not a computed or fixed variable" : "is not an input or moved variable")
                   : "names its variable a second time");
    return false;
  }
  return true;
}

// What the solver refuses in a problem the format holds; empty when it
// runs it.
static std::string SolverRefusal(const PrbProblem& p) {
  if (p.header.size() > kSolverHeaderMax) return "the header line is longer than 200 characters";
  if (p.header.size() < 6 || !p.header.ends_with(kHeaderEnd))
    return "the header line does not end with \"#0000\"";
  for (size_t k = 0; k < p.variables.size(); ++k) {
    const PrbVariable& v = p.variables[k];
    if (v.storedLine.size() > 2 + kSolverNameTextMax)
      return "name record " + IntToString(static_cast<long long>(k)) +
             " is longer than 257 characters";
    if (!std::isfinite(v.block.XIn())) return "the X in of " + v.name + " is not a number";
  }
  std::string error;
  if (!SolverFitsOrdering(p, true, error) || !SolverFitsOrdering(p, false, error)) return error;
  return {};
}

PrbReadResult ReadPrb(std::string_view bytes, PrbProblem& out, const PrbReadOptions& options) {
  out = PrbProblem{};
  PrbReadResult r;
  const bool solver = options.rules == PrbRules::Solver;
  Cursor c(bytes);
  bool badEnd = false;
  if (!c.ReadRawLine(out.header, badEnd)) return Fail(r, LineError("header line", badEnd));
  r.layout = out.header.starts_with("*") ? PrbLayout::V4 : PrbLayout::Older;
  if (r.layout == PrbLayout::Older && (solver || !options.acceptOlderLayout))
    return Fail(r, "not a V.4 problem file (the header does not start with \"*\")");

  DittoTable ditto;
  ditto.ClearNameComponents();
  std::string error;
  bool end = false;
  if (r.layout == PrbLayout::V4) {
    uint16_t h = 0;
    if (!c.Word(h)) return Fail(r, "name count cut short");
    size_t count = h == kNoRecords ? 0 : size_t(h) + 1;
    // Each record takes at least 2 + 2 + 25 bytes: refuse a count the
    // file cannot hold before reserving room for it.
    if (c.Left() / (4 + kValueBlockSize) < count)
      return Fail(r, "file too short for its " + IntToString(static_cast<long long>(count)) +
                         " name records");
    out.variables.reserve(count);
    for (size_t k = 0; k < count; ++k) {
      PrbVariable v;
      if (!ReadVarRecord(c, ditto, v, end, error)) {
        if (end) error = "name list ends early";
        return Fail(r, error + " at record " + IntToString(static_cast<long long>(k)) + " of " +
                           IntToString(static_cast<long long>(count)));
      }
      out.variables.push_back(std::move(v));
    }
    std::string line;
    if (!c.ReadRawLine(line, badEnd)) return Fail(r, LineError("\"#\" line after the names", badEnd));
    if (!line.starts_with("#")) return Fail(r, "more name records than the count says");
    if (line != "#") return Fail(r, "stray text after \"#\" at the end of the names");
  } else {
    for (;;) {
      PrbVariable v;
      if (ReadVarRecord(c, ditto, v, end, error)) {
        out.variables.push_back(std::move(v));
        continue;
      }
      if (end) break;
      return Fail(r, error + " at record " + IntToString(static_cast<long long>(out.variables.size())));
    }
  }
  r.orderingOffset = c.Offset();
  if (r.layout == PrbLayout::V4) {
    if (options.ordering == PrbOrderingRule::CopyUnread) {
      std::optional<size_t> size = MeasureOrdering(c);
      r.orderingComplete = size.has_value();
      out.unreadOrdering = std::string(c.Rest().substr(0, size.value_or(c.Left())));
    }
    if (options.ordering == PrbOrderingRule::Check || solver) {
      if (!ReadOrdering(c, out.variables.size(), out.ordering, error)) return Fail(r, error);
      r.orderingComplete = true;
    }
  }
  if (solver) {
    std::string refusal = SolverRefusal(out);
    if (!refusal.empty()) return Fail(r, refusal);
  }
  r.ok = true;
  return r;
}

std::string PrbTooLargeMessage(const std::string& path) {
  return platform::TooLargeMessage(path, "a problem file", kMaxPrbFileBytes);
}

PrbReadResult LoadPrbFile(const std::string& path, PrbProblem& out, const PrbReadOptions& options) {
  std::string bytes;
  platform::ReadOutcome read = platform::ReadFileBytes(path, bytes, kMaxPrbFileBytes);
  if (read != platform::ReadOutcome::kRead) {
    out = PrbProblem{};
    PrbReadResult r;
    r.error = read == platform::ReadOutcome::kTooLarge ? PrbTooLargeMessage(path) : "cannot read " + path;
    return r;
  }
  return ReadPrb(bytes, out, options);
}

// A CR ends a line for every reader; a bare LF is just a byte of the line.
static bool HasLineBreak(std::string_view s) { return s.find('\r') != s.npos; }

bool WritePrb(const PrbProblem& problem, std::string& out, std::string& error,
              const PrbWriteOptions& options) {
  out.clear();
  const auto& vars = problem.variables;
  const auto& o = problem.ordering;
  auto cut = [&](std::string_view line) {
    return options.copiedLineLimit ? line.substr(0, options.copiedLineLimit) : line;
  };
  if (HasLineBreak(problem.header)) return error = "line break in the header", false;
  if (vars.size() > 0xFFFF)
    return error = IntToString(static_cast<long long>(vars.size())) + " variables exceed 65535",
           false;
  if (problem.unreadOrdering) {
    if (MeasureOrdering(Cursor(*problem.unreadOrdering)) != problem.unreadOrdering->size())
      return error = "the ordering section is incomplete", false;
  } else {
    if (o.pairs.size() > 0xFFFF) return error = "more than 65535 integration pairs", false;
    if (!CheckOrdering(o, vars.size(), error)) return false;
  }

  out += cut(problem.header);
  out += "\r\n";
  platform::AppendU16(out, vars.empty() ? kNoRecords : uint16_t(vars.size() - 1));
  DittoTable ditto;
  ditto.ClearNameComponents();
  for (size_t k = 0; k < vars.size(); ++k) {
    const PrbVariable& v = vars[k];
    std::string line;
    if (options.keepStoredLines && !v.storedLine.empty()) {
      line = cut(v.storedLine);
      // Keep the table as a reader of this line will have it.
      ditto.Expand(std::string_view(line).substr(0, kNameLineLimit).substr(std::min<size_t>(2, line.size())));
    } else {
      if (!IsKind(v.kind))
        return error = "variable " + IntToString(static_cast<long long>(k)) +
                       " has no two kind letters of the roles",
               false;
      line = v.kind + ditto.DittoCompressName(v.name);
    }
    if (HasLineBreak(line) || !IsKind(std::string_view(line).substr(0, 2)))
      return error = "variable " + IntToString(static_cast<long long>(k)) +
                     " has a name the file cannot hold",
             false;
    out += line;
    out += "\r\n";
    out.append(reinterpret_cast<const char*>(v.block.bytes.data()), kValueBlockSize);
  }
  out += "#\r\n";
  if (problem.unreadOrdering) {
    out += *problem.unreadOrdering;
    return true;
  }
  platform::AppendU16(out, uint16_t(o.pairs.size()));
  for (const auto& p : o.pairs) {
    platform::AppendU16(out, p.integrated);
    platform::AppendU16(out, p.derivative);
  }
  platform::AppendU16(out, uint16_t(o.rowNames.size()));
  for (uint16_t r : o.rowNames) platform::AppendU16(out, r);
  for (uint16_t c : o.columnNames) platform::AppendU16(out, c);
  platform::AppendU32(out, uint32_t(o.nonzeros.size()));
  for (const auto& e : o.nonzeros) {
    platform::AppendU16(out, e.row);
    platform::AppendU16(out, e.column);
  }
  return true;
}

}  // namespace krv::seq
