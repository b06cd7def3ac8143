// The run options: ".P.Controls" read into the controls and written back.
#include "series/LSQrunU.h"

#include <cmath>

#include "platform/text.h"
#include "platform/user_prompts.h"

namespace krv::series {

RunOptionControls UpdateRunOptionControls(bool runEnabled, int runKind, int observationMode) {
  RunOptionControls c;
  c.CB1Visible = !runEnabled;
  c.RG2Visible = !runEnabled && runKind == 0;
  c.Edit1Visible = c.RG2Visible && observationMode == 1;
  c.CB4Enabled = runKind == 2;
  c.SG1Visible = runKind == 2;
  return c;
}

namespace {

// The stored value rounded, halves to even, when it fits lo..hi; else
// `fallback`: a missing entry is never turned into a byte or 16 bits.
int Rounded(float v, int lo, int hi, int fallback) {
  if (IsMissing(v) || !std::isfinite(v)) return fallback;
  double r = std::nearbyint(double(v));
  return r >= lo && r <= hi ? int(r) : fallback;
}

std::optional<int16_t> ParseCount(const std::string& text) {
  size_t a = text.find_first_not_of(' ');
  if (a == std::string::npos) return std::nullopt;
  size_t b = text.find_last_not_of(' ');
  auto v = platform::ParseInt(std::string_view(text).substr(a, b - a + 1));
  if (!v || *v < INT16_MIN || *v > INT16_MAX) return std::nullopt;
  return int16_t(*v);
}

}  // namespace

bool LsqRunDialog::FormActivate(SeriesStore& store, const LsqSetupRecord& record,
                                RunOptionEntries& shown, std::string& caption) {
  store.AttachDSF(record.DsfName);
  if (store.FailureFlag) {
    store.ShowMessageStr(kStoreNotAccessible);
    return false;
  }
  std::string problem = "." + record.ProblemName;
  store.SetCurrentDSDir(problem);
  if (store.FailureFlag) {
    store.ShowMessageStr("Cannot find problem");
    return false;
  }
  caption = "Options for " + record.ProblemName;
  store.OpenSeries(slot_, problem + ".Controls");
  if (store.FailureFlag) {
    store.ShowMessageStr("No Controls series");
    return false;
  }
  const LsqRunOptions start;
  auto at = [&](int i) { return store.GetVal(slot_, int16_t(i)); };
  LsqRunOptions o = Options;
  // The radio groups hold their items only; anything else is a start value.
  o.RunKind = uint8_t(Rounded(at(0), 0, 2, start.RunKind));
  o.ObservationMode = uint8_t(Rounded(at(1), 0, 1, start.ObservationMode));
  o.ObservationNumber = int16_t(Rounded(at(2), INT16_MIN, INT16_MAX, start.ObservationNumber));
  o.LogGrid = uint8_t(Rounded(at(3), 0, 255, start.LogGrid));
  o.UseStartFile = uint8_t(Rounded(at(4), 0, 255, start.UseStartFile));
  o.ConvergenceDebug = uint8_t(Rounded(at(5), 0, 255, start.ConvergenceDebug));
  for (int k = 0; k <= record.BetaCount; ++k) {
    float v = at(6 + k);
    o.GridCounts[size_t(k)] =
        !(v < 32000) || IsMissing(v) ? 1 : int16_t(Rounded(v, INT16_MIN, INT16_MAX, 1));
  }
  store.FailureFlag = false;
  store.FreeSeries(slot_);

  shown.RunKind = o.RunKind;
  shown.ObservationMode = o.ObservationMode;
  shown.ObservationNumber = platform::IntToString(o.ObservationNumber);
  shown.LogGrid = o.LogGrid != 0;
  shown.UseStartFile = o.UseStartFile != 0;
  shown.ConvergenceDebug = o.ConvergenceDebug != 0;
  shown.Names.assign(record.BetaNames.begin(), record.BetaNames.begin() + (record.BetaCount + 1));
  shown.Counts.clear();
  for (int k = 0; k <= record.BetaCount; ++k)
    shown.Counts.push_back(platform::IntToString(o.GridCounts[size_t(k)]));
  return true;
}

bool LsqRunDialog::Button1Click(SeriesStore& store, const LsqSetupRecord& record,
                                const RunOptionEntries& entered) {
  auto number = ParseCount(entered.ObservationNumber);
  if (!number) {
    platform::Prompts().ShowMessage("Format err");
    return false;
  }
  std::array<int16_t, kMaxBetas> counts = LsqRunOptions::Ones();
  for (int k = 0; k <= record.BetaCount; ++k) {
    auto c = k < int(entered.Counts.size()) ? ParseCount(entered.Counts[size_t(k)]) : std::nullopt;
    if (!c) {
      platform::Prompts().ShowMessage("Format err");
      return false;
    }
    counts[size_t(k)] = *c;
  }
  LsqRunOptions& o = Options;
  o.RunKind = uint8_t(entered.RunKind);
  o.ObservationMode = uint8_t(entered.ObservationMode);
  o.UseStartFile = entered.UseStartFile;
  o.ConvergenceDebug = entered.ConvergenceDebug;
  o.LogGrid = entered.LogGrid;
  o.ObservationNumber = *number;
  for (int k = 0; k <= record.BetaCount; ++k) o.GridCounts[size_t(k)] = counts[size_t(k)];

  // Only the problem's own store takes the options.
  if (!store.IsAttached() || store.AttachedDSFPath != record.DsfName) {
    store.ShowMessageStr(kStoreNotAccessible);
    return false;
  }
  store.OpenSeriesInSlot(slot_, "Controls", "");
  store.PutVal(slot_, 0, o.RunKind);
  store.PutVal(slot_, 1, o.ObservationMode);
  store.PutVal(slot_, 2, o.ObservationNumber);
  store.PutVal(slot_, 3, o.LogGrid);
  store.PutVal(slot_, 4, o.UseStartFile);
  store.PutVal(slot_, 5, o.ConvergenceDebug);
  for (int k = 0; k < kMaxBetas; ++k)
    store.PutVal(slot_, int16_t(6 + k), k <= record.BetaCount ? o.GridCounts[size_t(k)] : 1);
  store.SaveSeries(slot_, "." + record.ProblemName + ".Controls");
  bool saved = !store.FailureFlag;
  store.FreeSeries(slot_);
  return saved;
}

}  // namespace krv::series
