// Least-squares set-up on the Helmsman side: the markers of a model's
// source scanned into the set-up record, the record checked against the
// problem's series in the data-series store, and the data-control dialog's
// commands (new problem, the worksheet, copying, the way to the run
// options). The dialog (series/forms/TLSQfrm) only shows this state.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "series/series_store.h"

namespace krv::series {

class Worksheet;

constexpr int kMaxBetas = 15;
constexpr int kMaxDeps = 8;
constexpr int kMaxIndeps = 25;
constexpr int kMaxRuns = 40;
constexpr size_t kLsqNameMax = 25;
constexpr size_t kLsqDsfNameMax = 67;

// One scan's result. Counts are the highest index in use (-1: none).
struct LsqSetupRecord {
  int8_t BetaCount = -1;
  int8_t DepCount = -1;
  int8_t IndepCount = -1;
  int8_t RunCount = -1;
  bool RunEnabled = false;  // "D" stood right before "LSQSETUP"
  std::string DsfName;      // the store, without ".DSF"
  std::string ProblemName;  // the problem's DSDir below the store's root
  std::array<std::string, kMaxBetas> BetaNames;
  std::array<std::string, kMaxRuns> RunNames;
  std::array<std::string, kMaxIndeps> IndepNames;
  std::array<std::string, kMaxDeps> DepNames;
};

// A text searched for markers: brace and "(*" comments are skipped.
// Positions are 0-based here.
class SourceScanner {
 public:
  explicit SourceScanner(std::string text) : text_(std::move(text)) {}
  // Searches from Position (case-blind, ASCII); on a match Position is its
  // first character.
  bool FindSourceKeyword(const std::string& keyword);
  // The text between the next two quotes, verbatim (at most 127
  // characters); Position goes past the closing quote. Once a quote is
  // missing, ArgumentOk stays off and every later argument is empty.
  std::string ReadQuotedArgument();

  size_t Position = 0;
  bool ArgumentOk = true;
  const std::string& Text() const { return text_; }

 private:
  bool FindChar(char c);
  std::string text_;
};

// The texts a scan may read: the PSY window's, the model source window's
// and the any-file editor's.
struct LsqSourceTexts {
  std::string psy, qtl, anyFile;
};

enum class ScanResult {
  Read,        // the record is filled (perhaps cut at a list's limit)
  NoCode,      // no "LSQSETUP" anywhere
  SetupError,  // a quote missing after "LSQSETUP"
  BadName,     // a name that cannot be a DSDir of the problem: nothing follows
};

// Fills `record` from the texts; every report is a message box.
ScanResult ScanLsqSetup(const LsqSourceTexts& texts, LsqSetupRecord& record);

// 0 store missing, 1 problem and every name present, 2 a name missing,
// 3 problem missing, 4 the store cannot be used (damaged, unreadable, an
// old layout): said in one message naming the file and what is wrong. Looks
// at the store through a store of its own, so a file the worksheet holds
// stays attached.
int CheckLSQProblemSeries(const LsqSetupRecord& record);
constexpr int kStoreUnusable = 4;

// Enabled states of the data-control dialog's buttons.
struct LsqButtons {
  bool SetupBt = false, OpenBt = false, ShowWkBt = false, CopyBt = false, CloseWksBt = false,
       RunBt = false, CloseWinBt = true;
  bool operator==(const LsqButtons&) const = default;
};
LsqButtons EnableLSQButtons(int r, bool worksheetOpen);

inline constexpr const char* kStoreNotAccessible =
    "File not accessible -possibly attached to Solver or Quillet.";

// What the dialog's commands ask of the windows around them. The
// defaults do nothing, so the commands work, and are tested, without them.
class LsqWindows {
 public:
  virtual ~LsqWindows() = default;
  virtual void ButtonsChanged() {}
  // Shows the data-control dialog modally with `caption`.
  virtual void ShowDialog(const std::string& /*caption*/) {}
  virtual void CloseDialog() {}
  // Redraws the worksheet and shows it, not modally.
  virtual void ShowWorksheet() {}
  virtual void BringUpWorksheet() {}
  // Commits the cell being edited in the worksheet; false when refused.
  virtual bool CommitWorksheetCell() { return true; }
  // Closes the worksheet window through its own close handling; false
  // when it stayed open.
  virtual bool CloseWorksheet() { return true; }
  // The Log shown modally with "SELECT"; the chosen line, none on cancel.
  virtual std::optional<std::string> SelectLogLine(const std::string& /*caption*/) {
    return std::nullopt;
  }
  // The run-options dialog, modally; true on OK.
  virtual bool RunOptions() { return false; }
};

// The unit's state and the data-control dialog's commands.
class LsqControl {
 public:
  LsqControl(SeriesStore& store, Worksheet& sheet);
  ~LsqControl();
  LsqControl(const LsqControl&) = delete;
  LsqControl& operator=(const LsqControl&) = delete;

  void SetWindows(LsqWindows* windows) { windows_ = windows ? windows : &none_; }
  SeriesStore& Store() { return store_; }

  // Start values: no current record, the worksheet closed.
  void LsqDefsInit();

  LsqSetupRecord Scan;     // filled by every scan
  LsqSetupRecord Current;  // what the dialogs work on
  uint8_t ProblemState = 0;
  bool WorksheetOpen = false;
  LsqButtons Buttons;

  // The problem's store is the one attached now.
  bool Attached() const;
  void SetButtons(int r, bool worksheetOpen);

  // The source editor's "LSQ setup".
  void Button5Click(const LsqSourceTexts& texts);

  void FormActivate();
  void SetupBtClick();     // "New LSQ problem"
  void OpenBtClick();      // "Open Worksheet"
  void ShowWkBtClick();    // "Show Wks"
  void CloseWksBtClick();  // "Close Worksheet, saving current problem"
  void CopyBtClick();      // "Copy data from similar problem in file"
  void RunBtClick();       // "Set up for run"
  void CloseWinBtClick();  // "Close"
  void FormClose();
  // The worksheet window closed itself (its own close, or ours).
  void WorksheetClosed();

 private:
  bool AttachStore();
  // An empty series saved under `name` in the current DSDir; false on failure.
  bool CreateEmptySeries(const std::string& name);
  bool MakeDirAndSeries(const std::string& dir, std::initializer_list<const char*> series);
  void CopySeriesIfPresent(const std::string& from, const std::string& to);
  void CopySeriesByName(const std::string& from, const std::string& to);

  SeriesStore& store_;
  Worksheet& sheet_;
  ColumnSlot slot_;  // the dialog's own series, never one of the worksheet's
  LsqWindows none_;
  LsqWindows* windows_ = &none_;
};

}  // namespace krv::series
