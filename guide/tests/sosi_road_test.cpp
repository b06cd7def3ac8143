// From a SOSI text to a solved model: convert, preprocess, sequence, compile, solve.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>

#include "guide/sosi_generator.h"
#include "platform/user_prompts.h"
#include "preprocessor/log_writer.h"
#include "runtime/tests/prb_writer.h"
#include "runtime/tests/solver_harness.h"
#include "sequencer/SEQCU1.h"

namespace krv::rt {
namespace {

// Variable index by name ("X" for "_X.X"), from the variable map's lines.
std::map<std::string, int> VariableIndex(const std::string& vnm) {
  std::map<std::string, int> index;
  std::istringstream in(vnm);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find('#') != std::string::npos) break;
    std::istringstream fields(line);
    int k;
    std::string kind, name;
    fields >> k >> kind >> name;
    if (name.rfind("_X.", 0) == 0) index[name.substr(3)] = k;
  }
  return index;
}

TEST(SosiRoad, FromSosiTextToSolvedModel) {
  const std::string sosi = CrLf({
      "PARAMETERS",
      "  k = 0.5;  c = 2;  p = 3;  h0 = .25;  r = 0.125;",
      "EQUATIONS",
      "tderiv(x) = -k*x;",
      "y = c*x^2 + ln(x);",
      "fix(z, w) = z^p - x;",
      "v = -(x^2) + exp(-x) + sin(x)*cos(x)/2;",
      "u = 2*x + h0;",
      "tderiv(g) = r;",
      "END",
  });
  ProblemDir dir("SOROAD");
  dir.Write("SOROAD.SO", sosi);
  {
    testing::ScopedCwd cwd(dir.dir().path());
    platform::ScriptedPrompts prompts;
    ASSERT_EQ(guide::ConvertSosi("SOROAD").outcome, guide::SosiConversion::kDone);
    ASSERT_EQ(prompts.messages, std::vector<std::string>{"Finished"});
  }
  std::string log;
  dir.Preprocess(&log);
  ASSERT_NE(log.find("  ---FINISHED"), std::string::npos) << log << dir.Read("SOROAD.QTL");

  const std::string vnm = dir.Read("SOROAD.VNM");
  std::string prb;
  pp::LogWriter seqlog;
  ASSERT_TRUE(seq::SequenceMap(vnm, prb, seqlog)) << seqlog.Text();
  std::map<std::string, int> at = VariableIndex(vnm);
  for (const char* name : {"X", "Y", "Z", "W", "V", "U", "G"})
    ASSERT_TRUE(at.count(name)) << name << "\n" << vnm;
  for (auto [name, value] : std::vector<std::pair<std::string, double>>{
           {"X", 1.0}, {"Z", 1.0}, {"W", 8.0}, {"G", 0.5}})
    SetValueBlock(prb, at[name], {"", "", value});
  dir.WriteProgram();
  std::string compile_log;
  ASSERT_TRUE(dir.Compile(&compile_log)) << compile_log;
  Outcome o = Solve(dir, prb);
  ASSERT_EQ(o.run.status, 0) << o.run.output;
  ASSERT_TRUE(o.has_ttr);
  ASSERT_GE(o.ttr.records.size(), 2u);

  const double h = o.ttr.records[1].t - o.ttr.records[0].t;
  bool sawOne = false;
  for (const TtrRecord& rec : o.ttr.records) {
    SCOPED_TRACE("record " + std::to_string(rec.jt) + " at t " + std::to_string(rec.t));
    const double t = rec.t;
    const double x = std::pow(1 + 0.5 * h, -rec.jt);
    auto value = [&](const char* name) { return double(rec.values[size_t(at[name])]); };
    const double tol = 1e-5;
    EXPECT_NEAR(value("X"), x, tol * (1 + x));
    EXPECT_NEAR(value("Y"), 2 * x * x + std::log(x), tol * 10);
    EXPECT_NEAR(value("W"), 8, tol * 10);
    EXPECT_NEAR(value("Z"), std::cbrt(8 + x), tol * 10);
    EXPECT_NEAR(value("V"), -x * x + std::exp(-x) + std::sin(x) * std::cos(x) / 2, tol * 10);
    EXPECT_NEAR(value("U"), 2 * x + 0.25, tol * 10);
    EXPECT_NEAR(value("G"), 0.5 + 0.125 * t, tol * 10);
    if (std::abs(t - 1) < 1e-9) {
      sawOne = true;
      EXPECT_NEAR(value("X"), 0.666667, 1e-6);
      EXPECT_NEAR(value("Y"), 0.483424, 1e-6);
      EXPECT_NEAR(value("Z"), 2.05408, 1e-5);
      EXPECT_NEAR(value("V"), 0.311957, 1e-6);
    }
  }
  EXPECT_TRUE(sawOne) << "no record at t = 1";
}

}  // namespace
}  // namespace krv::rt
