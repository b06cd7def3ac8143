// The package's libraries' reading of a file in the words of the solver's
// probe texts, and where the two may differ.
#include "runtime/tests/solver_verdicts.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <vector>

#include "platform/user_prompts.h"
#include "sequencer/prb_format.h"
#include "sequencer/prb_names.h"
#include "series/series_store.h"
#include "viewer/ttr_format.h"

namespace krv::rt {
namespace {

std::string Hex16(uint64_t u) {
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(u));
  return buf;
}

std::string Bits(double x) {
  uint64_t u;
  std::memcpy(&u, &x, 8);
  return Hex16(u);
}


// ---- Problem files ----

// A name or label as the solver's probe shows it: control bytes, "|", "\"
// and bytes from 127 on as \xNN.
std::string Shown(std::string_view s) {
  std::string out;
  for (unsigned char c : s) {
    if (c < 32 || c >= 127 || c == '|' || c == '\\') {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += char(c);
    }
  }
  return out;
}

using seq::PrbProblem;

// The values the solver's reader reports, as the library read them. The
// format's readers expand the first 87 characters of a name line, the
// solver the whole line; no writer writes longer lines, so from the first
// longer one on (it also fills the ditto table differently) the names are
// taken from the solver: a listed difference, not a fault.
std::string LibraryText(const PrbProblem& p, const std::string& solverText) {
  std::ostringstream s;
  s << "L " << Shown(seq::LabelOfHeader(p.header)) << "\n";
  std::istringstream solverLines(solverText);
  std::string solverLine;
  std::getline(solverLines, solverLine);  // its label line
  bool longSeen = false;
  for (const auto& v : p.variables) {
    std::getline(solverLines, solverLine);
    std::string name = Shown(v.name);
    longSeen = longSeen || v.storedLine.size() > seq::kNameLineLimit;
    if (longSeen) {
      size_t a = solverLine.find('|'), b = solverLine.find('|', a + 1);
      if (a != std::string::npos && b != std::string::npos) name = solverLine.substr(a + 1, b - a - 1);
    }
    s << "V " << v.kind << "|" << name << "|" << (v.block.IsPositive() ? "P" : "U") << "|"
      << Bits(v.block.XIn()) << "|" << Bits(double(v.block.Range())) << "\n";
  }
  for (const auto& a : p.ordering.pairs) s << "A " << a.integrated << " " << a.derivative << "\n";
  s << "R";
  for (auto r : p.ordering.rowNames) s << " " << r;
  s << "\nC";
  for (auto c : p.ordering.columnNames) s << " " << c;
  s << "\n";
  for (const auto& z : p.ordering.nonzeros) s << "Z " << z.row << " " << z.column << "\n";
  return s.str();
}

}  // namespace

std::string PrbDifference(std::string_view bytes, const SolverAnswer& solver) {
  PrbProblem p;
  seq::PrbReadOptions options;
  options.rules = seq::PrbRules::Solver;
  seq::PrbReadResult lib = seq::ReadPrb(bytes, p, options);
  const bool solverOk = solver.code == 0;
  // The format's own rules take every file the solver runs.
  PrbProblem format;
  if (solverOk && !seq::ReadPrb(bytes, format).ok) return "the format refuses what the solver runs";
  // A problem without variables is well formed; the solver refuses it only
  // because it has nothing to solve.
  const bool runs = lib.ok && !p.variables.empty();
  if (runs && solverOk) {
    std::string mine = LibraryText(p, solver.text);
    return mine == solver.text ? "" : "values differ:\nlibrary\n" + mine + "solver\n" + solver.text;
  }
  if (runs == solverOk) return "";
  return runs ? "only the solver refuses: " + solver.text
              : "only the library refuses: " + (lib.ok ? std::string("no variables") : lib.error);
}

std::string CellBits(float v) {
  uint32_t b;
  std::memcpy(&b, &v, 4);
  char s[16];
  std::snprintf(s, sizeof s, "%08X", b);
  return s;
}

SolverAnswer LibrarySeries(const std::string& fileNoExt, const std::string& path, bool* storeDamaged) {
  using series::ColumnSlot;
  platform::ScriptedPrompts prompts;
  series::SeriesStore store;
  SolverAnswer p;
  store.AttachDSFReadOnly(fileNoExt);
  if (store.FailureFlag) return SolverAnswer{2, ""};
  // Attached all the same, after saying that the store is damaged.
  if (storeDamaged) *storeDamaged = !prompts.messages.empty();
  prompts.messages.clear();
  bool failure;
  series::DSDirEntry e;
  store.FindDSFEntry(path, failure, e);
  if (failure) return SolverAnswer{prompts.messages.empty() ? 1 : 2, ""};
  if (!e.Used() || e.IsDSDir()) return SolverAnswer{1, ""};
  ColumnSlot& slot = store.ColumnSlots[0];
  store.OpenSeries(slot, path);
  if (store.FailureFlag) return SolverAnswer{2, ""};
  p.code = 0;
  if (slot.Header().Empty()) {
    p.text = "empty";
    return p;
  }
  int16_t lo, hi;
  store.SeriesIndexRange(slot, lo, hi);
  p.text = std::to_string(lo) + " " + std::to_string(hi);
  for (int k = lo; k <= hi; ++k) {
    float v = store.GetVal(slot, int16_t(k));
    // Bits that are not a number count as no value for the solver.
    p.text += " " + (series::IsMissing(v) || !std::isfinite(v) ? std::string("-") : CellBits(v));
  }
  return p;
}

std::string SeriesDifference(const std::string& fileNoExt, const std::string& path,
                             const SolverAnswer& solver) {
  bool storeDamaged = false;
  const SolverAnswer lib = LibrarySeries(fileNoExt, path, &storeDamaged);
  if (lib.code == solver.code && (lib.code != 0 || lib.text == solver.text)) return "";
  // The solver checks every entry of each DSDir block it passes, the
  // library the entries it uses; a store the library calls damaged may be
  // refused by the solver wherever it is read.
  if (solver.code == 2 && storeDamaged) return "";
  return path + ": the library answers " + std::to_string(lib.code) + " " + lib.text +
         (storeDamaged ? " (it calls the store damaged)" : "") + ", the solver " +
         std::to_string(solver.code) + " " + solver.text;
}

SolverAnswer StartRecord(std::string_view ttr, int maxValues) {
  using namespace view;
  const int64_t blocks = int64_t(ttr.size() / kBlockSize);
  if (blocks < 1) return {1, "-1 it has no header"};
  TTRHeader h;
  std::memcpy(h.bytes.data(), ttr.data(), kBlockSize);
  h.Normalize();
  const int d = h.D();
  if (!IsKnownMark(h.Mark()) || d < 0) return {1, "-1 it is not a trajectory file"};
  const std::string D = std::to_string(d) + " ";
  if (h.JTmax() < 0) return {1, D + "it holds no record"};
  if (d + 1 > maxValues) return {1, D + "it holds " + std::to_string(d + 1) + " variables"};
  const TTRLayout layout = TTRLayout::ForHeader(h);
  if ((int64_t(h.JTmax()) + 1) * layout.r + 1 > blocks) return {1, D + "it is shorter than its header says"};
  TTRRecord rec;
  DecodeRecord(reinterpret_cast<const uint8_t*>(ttr.data()) + layout.FirstBlock(h.JTmax()) * kBlockSize,
               layout, rec);
  SolverAnswer a{0, std::to_string(d)};
  for (float v : rec.values) a.text += " " + Bits(double(v));
  return a;
}

std::string StartRecordDifference(const SolverAnswer& codec, const SolverAnswer& solver) {
  if (codec.code != solver.code) {
    return "the codec " + std::string(codec.code == 0 ? "reads" : "refuses") + " (" + codec.text +
           "), the solver " + (solver.code == 0 ? "reads" : "refuses") + " (" + solver.text + ")";
  }
  return codec == solver ? "" : "they read differently:\ncodec  " + codec.text + "\nsolver " + solver.text;
}

}  // namespace krv::rt
