// The solver's own problem-file reader (Pascal), the problem-file library
// under the solver's rules and Casewright's load of its problem read the
// same good and damaged files: the same verdict and the same values.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "problem_editor/LDSAVE.h"
#include "runtime/tests/prb_writer.h"
#include "runtime/tests/reader_probe.h"
#include "runtime/tests/solver_verdicts.h"
#include "runtime/tests/test_models.h"
#include "sequencer/prb_format.h"
#include "sequencer/tests/prb_cases.h"

namespace krv::rt {
namespace {

namespace fs = std::filesystem;
using seq::PrbProblem;

// The solver's reader, built with range, overflow and input/output checks,
// as a program of its own: one for the whole test program.
ReaderProbe& Solver() {
  static ReaderProbe probe;
  return probe;
}

struct SolverRead {
  bool ok = false;
  std::string text;  // the detail of a refusal, or the values read
};

SolverRead SolverReads(const std::string& bytes) {
  SolverAnswer a = Solver().Problem(bytes);
  EXPECT_FALSE(ReaderProbe::IsFault(a)) << a.text;
  return {a.code == 0, a.text};
}

// Compares one file; returns what differs, empty when the readers agree.
// Casewright loads as its problem exactly the files the solver runs, and
// the problem without variables, which the solver has nothing to solve in.
std::string Compare(const std::string& bytes) {
  SolverAnswer a = Solver().Problem(bytes);
  if (ReaderProbe::IsFault(a)) return "the solver's reader failed: " + a.text;
  pe::EditorBuffer editor;
  std::string editorError;
  bool damaged = false;
  const bool edits = pe::ParseMainProblem(bytes, editor, editorError, damaged);
  if (edits != (a.code == 0) && !(edits && editor.records.empty()))
    return edits ? "only Casewright loads: " + a.text : "Casewright refuses what the solver runs: " + editorError;
  return PrbDifference(bytes, a);
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
  int compared = 0, refused = 0;
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
      refused += !SolverReads(prb).ok;
    }
  }
  EXPECT_GT(compared, 1000);
  // Most damage is refused, by all three readers alike.
  EXPECT_GT(refused, compared / 2);
}

}  // namespace
}  // namespace krv::rt
