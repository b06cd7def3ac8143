// The run options of a least-squares problem: the ".P.Controls" series of
// its store read into the options dialog's controls and written back from
// them. The dialog (series/forms/TLSQrunfrm) only shows this state.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "series/LSQU.h"

namespace krv::series {

// Kept between openings of the dialog.
struct LsqRunOptions {
  uint8_t RunKind = 1;  // 0 one trial, 1 nonlinear search, 2 grid search
  uint8_t ObservationMode = 0;  // 0 every observation, 1 one only
  uint8_t LogGrid = 0;
  uint8_t UseStartFile = 0;
  uint8_t ConvergenceDebug = 1;  // its box is checked until a store says otherwise
  int16_t ObservationNumber = 0;
  std::array<int16_t, kMaxBetas> GridCounts = Ones();

  static std::array<int16_t, kMaxBetas> Ones() {
    std::array<int16_t, kMaxBetas> a;
    a.fill(1);
    return a;
  }
  bool operator==(const LsqRunOptions&) const = default;
};

// What the controls show, and what the user left in them.
struct RunOptionEntries {
  int RunKind = 1;          // RG1's item
  int ObservationMode = 0;  // RG2's item
  bool UseStartFile = false, ConvergenceDebug = true, LogGrid = false;
  std::string ObservationNumber = "0";  // Edit1
  std::vector<std::string> Names;       // SG1: a row per parameter
  std::vector<std::string> Counts;
};

struct RunOptionControls {
  bool CB1Visible = true;    // "Use STARTING.TTR"
  bool RG2Visible = false;   // "Observations"
  bool Edit1Visible = false; // and Label1
  bool CB4Enabled = false;   // "Logarithmic grid"
  bool SG1Visible = false;   // the grid counts
  bool operator==(const RunOptionControls&) const = default;
};

RunOptionControls UpdateRunOptionControls(bool runEnabled, int runKind, int observationMode);

class LsqRunDialog {
 public:
  LsqRunOptions Options;

  // The controls' contents from ".P.Controls"; false (after its message)
  // when the store, the problem or the series is missing: then the
  // controls keep what they had and OK must not be offered. `caption` is
  // set once the problem is found.
  bool FormActivate(SeriesStore& store, const LsqSetupRecord& record, RunOptionEntries& shown,
                    std::string& caption);
  // OK: false keeps the dialog open ("Format err", or the store refused
  // the save after its own message).
  bool Button1Click(SeriesStore& store, const LsqSetupRecord& record, const RunOptionEntries& entered);

 private:
  ColumnSlot slot_;
};

}  // namespace krv::series
