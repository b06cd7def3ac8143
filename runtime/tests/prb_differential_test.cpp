// The solver's own problem-file reader (Pascal) and the problem-file
// library read the same good and damaged files: the same verdict and the
// same values, or a difference listed below with its reason.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/tests/prb_writer.h"
#include "runtime/tests/test_models.h"
#include "sequencer/prb_format.h"
#include "sequencer/prb_names.h"
#include "sequencer/tests/prb_cases.h"

extern "C" int KrvProbeProblem(const uint8_t* data, int size, char* text, int room, int* used);

namespace krv::rt {
namespace {

namespace fs = std::filesystem;
using seq::PrbProblem;

struct SolverRead {
  bool ok = false;
  std::string text;  // the detail of a refusal, or the values read
};

SolverRead SolverReads(const std::string& bytes) {
  std::string text(4096, '\0');
  int used = 0;
  auto call = [&] {
    return KrvProbeProblem(reinterpret_cast<const uint8_t*>(bytes.data()), int(bytes.size()),
                           text.data(), int(text.size()), &used);
  };
  int outcome = call();
  if (used > int(text.size())) {
    text.resize(size_t(used));
    outcome = call();
  }
  text.resize(size_t(used));
  return {outcome == 0, text};
}

std::string Bits(double x) {
  uint64_t u;
  std::memcpy(&u, &x, 8);
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(u));
  return buf;
}

// The values the solver's reader reports, as the library read them. The
// format's readers expand the first 87 characters of a name line, the
// solver the whole line; no writer writes longer lines, so from the first
// longer one on (it also fills the ditto table differently) the names are
// taken from the solver: a listed difference, not a fault.
std::string LibraryText(const PrbProblem& p, const std::string& solverText) {
  std::ostringstream s;
  s << "L " << seq::LabelOfHeader(p.header) << "\n";
  std::istringstream solverLines(solverText);
  std::string solverLine;
  std::getline(solverLines, solverLine);  // its label line
  bool longSeen = false;
  for (const auto& v : p.variables) {
    std::getline(solverLines, solverLine);
    std::string name = v.name;
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

// Files the library accepts and the solver refuses, on purpose: the solver
// needs a problem it can run, the library reads the format.
struct Intended {
  const char* why;
  const char* solverSays;  // part of the solver's detail
  bool (*applies)(const PrbProblem&);
};

bool RowsOrColumnsUnfit(const PrbProblem& p) {
  std::set<uint16_t> rows, cols;
  for (uint16_t r : p.ordering.rowNames) {
    const std::string& k = p.variables[r].kind;
    if (!(k[1] == 'O' || k[0] == 'C') || !rows.insert(r).second) return true;
  }
  for (uint16_t c : p.ordering.columnNames) {
    const std::string& k = p.variables[c].kind;
    if (!(k[0] == 'I' || k[1] == 'C') || !cols.insert(c).second) return true;
  }
  return false;
}

const Intended kIntended[] = {
    {"a file without variables is well formed, but the solver has nothing to solve",
     "names no variables", [](const PrbProblem& p) { return p.variables.empty(); }},
    {"the solver cannot start from an X in that is not a number", "is not a number",
     [](const PrbProblem& p) {
       for (const auto& v : p.variables)
         if (!std::isfinite(v.block.XIn())) return true;
       return false;
     }},
    {"the solver needs each row to be a computed or fixed variable and each column an input or "
     "moved one, each once; the format only bounds them",
     "of its ordering is not", RowsOrColumnsUnfit},
    {"the solver takes its label from between \"*\" and \"#0000\"", "does not end with \"#0000\"",
     [](const PrbProblem& p) { return !p.header.ends_with("#0000") || p.header.size() < 6; }},
    {"the solver looks for a line end within 200 bytes of a header and 255 of a name; no writer "
     "writes longer lines",
     "has no", [](const PrbProblem& p) {
       if (p.header.size() > 200) return true;
       for (const auto& v : p.variables)
         if (v.storedLine.size() > 2 + 255) return true;
       return false;
     }},
};

// Compares one file; returns what differs, empty when the readers agree.
std::string Compare(const std::string& bytes) {
  PrbProblem p;
  seq::PrbReadResult lib = seq::ReadPrb(bytes, p);
  SolverRead solver = SolverReads(bytes);
  if (lib.ok && solver.ok) {
    std::string mine = LibraryText(p, solver.text);
    return mine == solver.text ? "" : "values differ:\nlibrary\n" + mine + "solver\n" + solver.text;
  }
  if (!lib.ok && !solver.ok) return "";
  if (lib.ok) {
    for (const Intended& i : kIntended)
      if (i.applies(p) && solver.text.find(i.solverSays) != std::string::npos) return "";
    return "only the solver refuses: " + solver.text;
  }
  return "only the library refuses: " + lib.error;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// Good files: Sequist's golden problems, the fuzz seeds and the test models.
std::vector<std::pair<std::string, std::string>> GoodFiles() {
  std::vector<std::pair<std::string, std::string>> files;
  const fs::path src = KRV_SOURCE_DIR;
  for (const char* dir : {"sequencer/tests/golden", "fuzz/seeds/prb_reader"})
    for (const auto& e : fs::directory_iterator(src / dir))
      files.emplace_back(e.path().filename().string(), ReadFile(e.path()));
  files.emplace_back("TanksModel", WritePrb(TanksModel().Spec()));
  files.emplace_back("FixLoopModel", WritePrb(FixLoopModel().Spec()));
  files.emplace_back("DerivModel", WritePrb(DerivModel().Spec()));
  files.emplace_back("TableGood", prbcases::GoodPrb());
  return files;
}

TEST(PrbDifferential, GoodFilesReadTheSame) {
  for (const auto& [name, bytes] : GoodFiles()) {
    SCOPED_TRACE(name);
    PrbProblem p;
    ASSERT_TRUE(seq::ReadPrb(bytes, p).ok);
    EXPECT_EQ(Compare(bytes), "");
  }
}

// The shared table: the solver's column is what its reader says.
class PrbCaseTest : public ::testing::TestWithParam<prbcases::PrbCase> {};

TEST_P(PrbCaseTest, SolverVerdict) {
  const auto& c = GetParam();
  SolverRead solver = SolverReads(c.bytes);
  EXPECT_EQ(solver.ok, c.solver == prbcases::Verdict::Accept) << solver.text;
  EXPECT_EQ(Compare(c.bytes), "");
}

INSTANTIATE_TEST_SUITE_P(Table, PrbCaseTest, ::testing::ValuesIn(prbcases::PrbCases()),
                         [](const auto& info) { return info.param.name; });

// Damage of every kind to the good files: changed, cut, inserted bytes and
// line ends spoiled. A fixed seed keeps the corpus the same on every run.
TEST(PrbDifferential, DamagedFilesGetTheSameVerdict) {
  std::mt19937 rng(20261210);
  int compared = 0;
  for (const auto& [name, good] : GoodFiles()) {
    for (int round = 0; round < 400; ++round) {
      std::string prb = good;
      const int edits = 1 + int(rng() % 3);
      for (int e = 0; e < edits && !prb.empty(); ++e) {
        size_t at = rng() % prb.size();
        switch (rng() % 5) {
          case 0: prb[at] = char(rng()); break;
          case 1: prb.resize(at); break;
          case 2: prb.insert(at, 1, char(rng())); break;
          case 3: {  // a line end spoiled: a bare LF or a CR before another byte
            size_t crlf = prb.find("\r\n", at);
            if (crlf == std::string::npos) break;
            if (rng() % 2)
              prb.erase(crlf + 1, 1);  // a CR left before the next byte
            else
              prb.erase(crlf, 1);      // a bare LF
            break;
          }
          default: prb.insert(at, "\r\n"); break;
        }
      }
      std::string diff = Compare(prb);
      EXPECT_EQ(diff, "") << name << " round " << round;
      ++compared;
    }
  }
  EXPECT_GT(compared, 1000);
}

}  // namespace
}  // namespace krv::rt
