// The modeller's guide's worked fits, taken as a modeller takes them: the
// shipped example preprocessed, sequenced and compiled with the runtime
// units; "LSQ setup" in the source editor, "New LSQ problem", the data
// typed into the worksheet, "Close Worksheet, saving current problem",
// "Set up for run"; the solver started; the estimates read in the report
// and the worksheet; and a second run from them.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/byte_io.h"
#include "platform/user_prompts.h"
#include "preprocessor/log_writer.h"
#include "runtime/tests/lsq_models.h"
#include "runtime/tests/lsq_reference.h"
#include "runtime/tests/solver_harness.h"
#include "sequencer/SEQCU1.h"
#include "series/LSQU.h"
#include "series/LSQrunU.h"
#include "series/WkUnit.h"
#include "testing/temp_dir.h"

namespace krv::rt {
namespace {

using platform::Answer;
using testing::ScopedCwd;

// The windows around the data-control dialog, answered as a modeller
// answers them: the worksheet commits and closes, the run options are
// taken as the dialog shows them (a nonlinear search) and confirmed.
struct Modeller : series::LsqWindows {
  series::SeriesStore store;
  series::Worksheet sheet{store};
  series::LsqControl lsq{store, sheet};
  series::LsqRunDialog run;
  std::string caption;

  Modeller() { lsq.SetWindows(this); }
  void ShowDialog(const std::string& c) override { caption = c; }
  bool CommitWorksheetCell() override { return sheet.CommitCurrentCell(); }
  bool CloseWorksheet() override {
    if (!sheet.FormCloseQuery()) return false;
    sheet.FormClose();
    lsq.WorksheetClosed();
    return true;
  }
  bool RunOptions() override {
    series::RunOptionEntries shown;
    std::string title;
    if (!run.FormActivate(store, lsq.Current, shown, title)) return false;
    EXPECT_EQ(shown.RunKind, 1);  // "Nonlinear search from starting parameters"
    return run.Button1Click(store, lsq.Current, shown);
  }
  void CloseDialog() override { lsq.FormClose(); }

  // The worksheet column that "Open Worksheet" gave the series at `path`.
  int Column(const std::string& path) {
    for (int c = 0; c < 30; ++c)
      if (sheet.Slot(c).IsOpen() && sheet.Slot(c).Descriptor().path == path) return c;
    ADD_FAILURE() << path << " is in no column";
    return 0;
  }
  // Types `text` into the cell (column of `path`, index): the cursor moves
  // there first, which commits the cell it leaves.
  void Type(const std::string& path, int index, const std::string& text) {
    const int column = Column(path);
    ASSERT_TRUE(sheet.SG1SelectCell(column + 2, sheet.RowOf(index)));
    sheet.SetCellText(column, index, text);
  }
  std::string Shown(const std::string& path, int index) { return sheet.CellText(Column(path), index); }
};

// An example's work directory after Preprocess, Sequence and Compile.
struct WorkDirectory {
  std::string name;
  ProblemDir dir;

  explicit WorkDirectory(const std::string& model) : name(model), dir(model) {
    std::string qtl;
    EXPECT_TRUE(platform::ReadFileBytes(std::string(KRV_SOURCE_DIR) + "/examples/" + name + ".QTL", qtl));
    dir.Write(name + ".QTL", qtl);
    std::string log;
    dir.Preprocess(&log);
    EXPECT_NE(log.find("  ---FINISHED"), std::string::npos) << log;
    ScopedCwd cwd(dir.dir().path());
    pp::LogWriter seqlog;
    EXPECT_TRUE(seq::RunFromCommandLine(name, seqlog)) << seqlog.Text();
    dir.WriteProgram();
    EXPECT_TRUE(dir.Compile(&log)) << log;
  }

  // "LSQ setup" in "Edit Source", over the PSY and QTL texts the editor shows.
  void LsqSetup(Modeller& m) const {
    m.lsq.Button5Click({dir.Read(name + ".PSY"), dir.Read(name + ".QTL"), ""});
  }
};

struct Row {
  std::string x, y;
};

// "New LSQ problem", the starts and the data typed, "Close Worksheet,
// saving current problem", "Set up for run".
// `columns` are the worksheet columns of the series the guide names.
void EnterData(Modeller& m, const platform::ScriptedPrompts& prompts, const std::string& problem,
               const std::vector<std::pair<std::string, std::string>>& starts, const std::string& input,
               const std::string& observed, const std::vector<Row>& rows,
               const std::vector<std::pair<std::string, int>>& columns,
               const std::vector<std::string>& times = {}) {
  m.lsq.SetupBtClick();
  ASSERT_EQ(prompts.messages.back(), "Finished");
  m.lsq.OpenBtClick();
  const std::string p = "." + problem + ".";
  for (const auto& [path, column] : columns) EXPECT_EQ(m.Column(p + path), column) << path;
  for (const auto& [b, start] : starts) m.Type(p + b + ".Start", 0, start);
  for (size_t i = 0; i < rows.size(); ++i) {
    if (!times.empty()) m.Type(p + "Time.Value", int(i), times[i]);
    m.Type(p + input + ".Value", int(i), rows[i].x);
    m.Type(p + observed + ".Value", int(i), rows[i].y);
  }
  m.lsq.CloseWksBtClick();
  EXPECT_FALSE(m.lsq.WorksheetOpen);
  m.lsq.RunBtClick();
  ASSERT_EQ(prompts.messages.back(), "Ready for LSQ run");
}

double Estimate(const std::string& report, const std::string& name) {
  return ReportNumber(report, "\r\n" + name + " = ");
}

// BoxBOD's data: oxygen demand after 1, 2, 3, 5, 7 and 10 days.
const std::vector<Row> kOxygen = {{"1", "109"}, {"2", "149"}, {"3", "149"},
                                  {"5", "191"}, {"7", "213"}, {"10", "224"}};

TEST(GuideExample, OxygenDemandFromSourceToEstimatesAndOnFromThem) {
  WorkDirectory work("OXYFIT");
  ScopedCwd cwd(work.dir.dir().path());
  platform::ScriptedPrompts prompts;
  {
    Modeller m;
    prompts.answers = {Answer::Yes};  // "LSQ source code in final form for BOD now?"
    work.LsqSetup(m);
    EXPECT_EQ(prompts.questions, std::vector<std::string>{"LSQ source code in final form for BOD now?"});
    ASSERT_EQ(m.caption, "BOD in OXYDATA.DSF");
    EnterData(m, prompts, "BOD", {{"B1", "200"}, {"B2", "1"}}, "X", "Y", kOxygen,
              {{"B1.Start", 1}, {"B1.Value", 2}, {"B2.Start", 6}, {"Y.Value", 11}, {"X.Value", 13}});
  }

  // "Start Solver".
  RunResult run = work.dir.Run();
  ASSERT_EQ(run.status, 0) << run.output;
  const std::string report = work.dir.Read("OXYFIT.LSQ");
  EXPECT_EQ(report.find("\r\nConverged after 7 iterations: the test of relative reduction"), report.find("\r\n"))
      << report;
  // NIST's certified values for BoxBOD: the data are whole numbers, which
  // the store keeps exactly.
  EXPECT_NEAR(Estimate(report, "B1"), 213.80940889, 2e-5 * 213.8) << report;
  EXPECT_NEAR(Estimate(report, "B2"), 0.54723748542, 2e-5 * 0.547) << report;
  EXPECT_NEAR(ReportNumber(report, "Weighted sum of squares = "), 1168.0088766, 1e-6 * 1168) << report;
  EXPECT_NEAR(ReportNumber(report, "\r\n  B1: "), 12.354515176, 1e-4 * 12.35) << report;
  EXPECT_NEAR(ReportNumber(report, "\r\n  B2: "), 0.10455993237, 1e-4 * 0.1046) << report;

  // "Open Worksheet" shows the estimates in the Value columns; typed into
  // the Starts, they start a second run, which has nothing left to do.
  {
    Modeller m;
    work.LsqSetup(m);
    ASSERT_EQ(m.caption, "BOD in OXYDATA.DSF");
    m.lsq.OpenBtClick();
    const std::string b1 = m.Shown(".BOD.B1.Value", 0), b2 = m.Shown(".BOD.B2.Value", 0);
    EXPECT_NEAR(std::stod(b1), Estimate(report, "B1"), 1e-3) << b1;
    EXPECT_NEAR(std::stod(b2), Estimate(report, "B2"), 1e-5) << b2;
    m.Type(".BOD.B1.Start", 0, b1);
    m.Type(".BOD.B2.Start", 0, b2);
    m.lsq.CloseWksBtClick();
    m.lsq.CloseWinBtClick();
  }
  run = work.dir.Run();
  ASSERT_EQ(run.status, 0) << run.output;
  const std::string again = work.dir.Read("OXYFIT.LSQ");
  EXPECT_EQ(ReportNumber(again, "\r\nConverged after "), 0) << again;
  EXPECT_NEAR(Estimate(again, "B1"), Estimate(report, "B1"), 1e-4) << again;
}

// The tank's level over time, with the inflow it had.
const std::vector<std::string> kTimes = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10"};
const std::vector<Row> kTank = {{"1", "0.495"}, {"1", "1.159"},   {"1", "1.583"},   {"1.5", "2.113"},
                                {"1.5", "2.63"}, {"1.5", "3.002"}, {"0.5", "2.797"}, {"0.5", "2.289"},
                                {"0.5", "1.967"}, {"1", "1.961"},  {"1", "2.141"}};

// LEVEL as the solver integrates it (implicit Euler, step 0.1, the inflow
// interpolated between the times given), at each whole time.
Cx TankLevel(double t, const std::vector<Cx>& b) {
  const Cx& k = b[0];
  Cx level = b[1];
  auto inflow = [](double at) {
    const size_t i = std::min(size_t(at), kTank.size() - 1);
    const double u0 = std::stod(kTank[i].x), u1 = std::stod(kTank[std::min(i + 1, kTank.size() - 1)].x);
    return u0 + (u1 - u0) * (at - double(i));
  };
  for (int j = 1; j <= int(std::lround(t * 10)); ++j) level = (level + 0.1 * inflow(0.1 * j)) / (1.0 + 0.1 * k);
  return level;
}

TEST(GuideExample, TankOverTimeFromSourceToEstimates) {
  WorkDirectory work("TANKFIT");
  ScopedCwd cwd(work.dir.dir().path());
  platform::ScriptedPrompts prompts;
  {
    Modeller m;
    prompts.answers = {Answer::Yes};
    work.LsqSetup(m);
    ASSERT_EQ(m.caption, "DRAIN in TANKDATA.DSF");
    EnterData(m, prompts, "DRAIN", {{"K", "1"}, {"L0", "1"}}, "U", "LEVEL", kTank,
              {{"K.Start", 1}, {"L0.Start", 6}, {"LEVEL.Value", 11}, {"Time.Value", 13}, {"U.Value", 14}},
              kTimes);
  }
  RunResult run = work.dir.Run();
  ASSERT_EQ(run.status, 0) << run.output;
  const std::string report = work.dir.Read("TANKFIT.LSQ");
  EXPECT_EQ(report.find("\r\nConverged after "), report.find("\r\n")) << report;
  EXPECT_NE(report.find("Run names: R1"), std::string::npos) << report;

  // The same fit of the same integration, computed here.
  FitData data;
  for (size_t i = 0; i < kTank.size(); ++i) {
    data.x.push_back(std::stod(kTimes[i]));
    data.y.push_back(float(std::stod(kTank[i].y)));
    data.w.push_back(1);
  }
  const ReferenceFit ref = FitReference(TankLevel, data, {0.4, 0.5});
  ASSERT_TRUE(ref.converged);
  EXPECT_NEAR(Estimate(report, "K"), ref.b[0], 1e-4 * ref.b[0]) << report;
  EXPECT_NEAR(Estimate(report, "L0"), ref.b[1], 1e-4 * ref.b[1]) << report;
  const std::vector<double> cov = CovarianceDiagonal(TankLevel, data, {Estimate(report, "K"), Estimate(report, "L0")});
  const double s = ReportNumber(report, "Weighted sum of squares = ");
  EXPECT_NEAR(s, ref.s, 1e-6 * ref.s);
  EXPECT_NEAR(ReportNumber(report, "\r\n  K: "), std::sqrt(cov[0] * s / 9), 1e-3 * std::sqrt(cov[0] * s / 9));
  EXPECT_NEAR(ReportNumber(report, "\r\n  L0: "), std::sqrt(cov[1] * s / 9), 1e-3 * std::sqrt(cov[1] * s / 9));
  // As the guide quotes them.
  EXPECT_NEAR(Estimate(report, "K"), 0.3986, 5e-5);
  EXPECT_NEAR(Estimate(report, "L0"), 0.4948, 5e-5);
  EXPECT_NEAR(ReportNumber(report, "\r\n  K: "), 0.00086, 5e-6);
  EXPECT_NEAR(ReportNumber(report, "\r\n  L0: "), 0.0090, 5e-5);
}

}  // namespace
}  // namespace krv::rt
