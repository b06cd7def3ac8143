// The worksheet without its window: 510 columns over the store's column
// slots, the cell texts the grid shows, cell commits, the header list, the
// X-value column, the column-selection prompt and the steps it runs. The
// window (series/forms/TWkFrm) shows this state and is told of changes
// through WorksheetWindow; nothing here stores a text per grid cell: a cell
// is formatted when it is asked for.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "series/column_formula.h"
#include "series/series_store.h"
#include "series/worksheet_format.h"

namespace krv::series {

constexpr int kFirstGridIndex = -400;   // index of grid row 1
constexpr int kLastGridIndex = 12000;   // index of the last grid row
constexpr int kGridColumnCount = 512;   // index labels, X values, 510 columns
constexpr int kGridRowCount = 12402;    // headers and -400..12000
constexpr int kHeaderLines = 8;         // lines of the header list

// Operation codes of the column-selection prompt that this worksheet runs.
enum ColumnOp : uint8_t {
  kOpName = 0,
  kOpLoadSeries = 1,
  kOpSaveRange = 2,
  kOpReadText = 3,
  kOpWriteTextHeaders = 4,
  kOpWriteTextPlain = 5,
  kOpUnarySource = 8,
  kOpUnaryDest = 9,
  kOpConstSource = 10,
  kOpConstDest = 11,
  kOpBinarySource1 = 12,
  kOpBinarySource2 = 13,
  kOpBinaryDest = 14,
  kOpIndexSeries = 15,
  kOpDiffStep = 16,
  kOpFill = 17,
  kOpSumRange = 18,
  kOpSumDest = 19,
  kOpRangeOp = 20,
  kOpRangeOpColumn = 21,
  kOpUnaryRange = 22,
  kOpCopy = 33,
  kOpCopyDest = 34,
  kOpMove = 35,
  kOpMoveDest = 36,
  kOpEraseColumns = 37,
  kOpXSet = 38,
  kOpYofXSet = 39,
  kOpDecimals = 40,
  kOpFormulaEdit = 41,
  kOpRecalcColumn = 42,
  kOpDiffEnd = 43,
};

// What the worksheet asks of its window. Every default does nothing, so
// the state works, and is tested, without one.
class WorksheetWindow {
 public:
  virtual ~WorksheetWindow() = default;
  // A worksheet column's cells changed; -1 is the X-value column.
  virtual void ColumnChanged(int /*column*/) {}
  virtual void CellChanged(int /*column*/, int /*index*/) {}
  virtual void HeadersChanged() {}
  virtual void LabelsChanged() {}    // row-use, X name, file and DSDir labels
  virtual void PromptChanged() {}    // the selection prompt opened, closed or changed
  virtual void ViewMoved() {}        // cursor, top row or left column set by a command
  // The series name dialog for FirstSelCol, modal; true on OK.
  virtual bool EditSeriesName() { return false; }
  // The number display choice, modal, starting at `digits`; true on OK.
  virtual bool EditNumberDisplay(int& /*digits*/) { return false; }
  // The value dialog on `value` under `prompt`, modal; true and the new
  // value on OK.
  virtual bool EditValue(double& /*value*/, const std::string& /*prompt*/) { return false; }
  // The formula dialog, modal: `label` above `text`, which it edits, and
  // the "Compute Now" box; true on OK.
  virtual bool EditFormula(const std::string& /*label*/, std::string& /*text*/, bool& /*computeNow*/) {
    return false;
  }
};

class Worksheet : public ColumnDisplay {
 public:
  explicit Worksheet(SeriesStore& store);
  ~Worksheet() override;
  Worksheet(const Worksheet&) = delete;
  Worksheet& operator=(const Worksheet&) = delete;

  SeriesStore& Store() { return store_; }
  ColumnSlot& Slot(int column) { return store_.ColumnSlots[size_t(column)]; }
  void SetWindow(WorksheetWindow* window) { window_ = window ? window : &none_; }

  // ---- Per-column state ----
  std::array<int8_t, kColumnCount> DecimalSpec{};
  std::array<std::string, kColumnCount> Formula;
  ColumnFormulas Formulas;  // compiles and computes the texts of Formula

  // ---- The X column ----
  int XColumn = -1;
  ColumnSlot* XSlot = nullptr;
  bool YofXOff = true;
  bool XAuto = false;
  int XLow = 0, XHigh = -1;

  // ---- Remembered values of the column operations ----
  double ConstValue = 0, DiffStart = 0, DiffStep = 0.01, DiffEnd = 1.0, FillValue = 0;

  // ---- The window's private state ----
  int FirstSelCol = 0, LastSelCol = 0;
  int FirstGridIndex = kFirstGridIndex, LastGridIndex = kLastGridIndex;
  int OperandCol1 = 0, OperandCol2 = 0;
  uint8_t PendingOp = 0;
  bool SingleSelectActive = false, RangeSelectActive = false;
  std::string SeriesPath;       // picked for a load, replace or erase
  std::string CellTextBefore;   // the cursor cell as last shown or committed
  int LeftColumnSeen = 2;
  std::string TxtFileName;      // chosen for a text-table read or write
  bool SelectionPending = true;
  char OpChar = '+';

  // ---- The grid's view: grid columns and rows ----
  int CursorGridColumn = 2, CursorRow = 1;
  int TopRow = 1, LeftGridColumn = 2;
  int SelectionLeft = 2, SelectionRight = 2;  // the grid selection's columns
  bool ViewFormulas = false;                  // NameSelRG: "View Formulas"

  // ---- Label and prompt texts ----
  std::array<std::string, kHeaderLines> HeaderLines;
  int HeaderSelected = -1;
  std::string XnameLbl, RowUseLbl, Label4, DSDirLbl;
  bool PromptVisible = false;
  std::string PromptCaption, Edit1, Edit2, Label2 = "to";
  bool Edit2Shown = true;

  // ---- Grid geometry ----
  int RowOf(int index) const { return index - FirstGridIndex + 1; }
  int IndexOfRow(int row) const { return row + FirstGridIndex - 1; }
  int CurrentColumn() const { return CursorGridColumn - 2; }
  int CurrentIndex() const { return IndexOfRow(CursorRow); }
  int LeftColumn() const { return LeftGridColumn - 2; }
  void SetCurrentColumn(int column);
  void SetCurrentIndex(int index);
  void ScrollToColumn(int column);
  void ScrollToIndex(int index);

  // ---- Cell texts, formatted when asked for ----
  // The text of grid cell (gridColumn, row), headers and labels included.
  std::string GridText(int gridColumn, int row) const;
  // The text of worksheet column `column` at `index`.
  std::string CellText(int column, int index) const;
  // The text the grid's editor left in a cell, not yet committed.
  void SetCellText(int column, int index, const std::string& text);

  // ---- Redrawing ----
  void ShowCell(int column, int index);
  void ClearCell(int column, int index);
  void ShowColumn(int column) override;
  void ClearColumnDisplay(int column) override;
  void RefreshColumnHeaders() override;
  void ShowRowUseLimits() override;
  int XColumnOf(int column);
  void ShowXColumnInfo(int column);
  void ResetWorksheetState();

  // ---- Commits ----
  bool StoreCellText(int column, int index);
  // Commits the cursor cell; "Error at c,i" when refused.
  bool CommitCurrentCell();

  // ---- Window life ----
  void FormCreate();
  // True when the window may close (asks when something is unsaved).
  bool FormCloseQuery();
  void FormClose();
  // Told after every close (the least-squares dialog follows it).
  std::function<void()> OnClose;
  void SetFileLabels();

  // ---- Grid events ----
  // A cursor move to (gridColumn, row); false: refused, the cursor stays.
  bool SG1SelectCell(int gridColumn, int row);
  // The grid left: the cursor cell's text is stored.
  void SG1Exit();
  // Escape in the grid: the cursor cell's edit is dropped and the stored
  // value shown again.
  void SG1KeyPress();
  void SG1TopLeftChanged(int leftGridColumn, int topRow);
  void SG1DrawCell();
  void HeaderClick(int line);
  void HeaderDoubleClick(int line);

  // ---- The column-selection prompt ----
  void BeginColumnSelect(const std::string& prompt, uint8_t code);
  void BeginColumnRangeSelect(const std::string& prompt, uint8_t code);
  void UpdateSelectionEdits();
  void CSelOKClick();
  void CSelCanClick();
  void RunPendingColumnOp();
  void SaveColumnRange();
  // Frees the series of FirstSelCol..LastSelCol; formulas and decimal settings stay.
  void EraseColumnRange();
  // Adds the columns OperandCol1..OperandCol2 into FirstSelCol over the
  // row-use limits.
  void SumColumnRange();
  // The block OperandCol1..LastSelCol copied or moved to start at FirstSelCol.
  void CopyColumnBlock();
  void MoveColumnBlock();

  // ---- The "Columns" commands: each opens its first prompt ----
  // Codes 15, 16, 17, 18, 33, 35, 37, 41, 42, 43.
  void StartColumnCommand(uint8_t code);
  // Codes 8 (unary), 12 (series-series), 20 (range op column) and 22
  // (unary range) with their operation letter.
  void StartArithmetic(uint8_t code, char op);
  // The constant dialog, then the source prompt of code 10.
  void StartConstantOp(char op);
  // "RecalcAll(F9)".
  void RecalcAllClick();

  // ---- Menu commands and check boxes without a dialog of their own ----
  void ZeroClick();
  void TopClick();
  void BottomClick();
  void ClearXClick();
  void ChangeAllDecimalSpecsClick();
  void XautClick(bool checked);
  void YofXClick(bool checked);
  void NameSelClick(bool formulas);

  // The "Error at" text of a refused commit.
  static std::string CommitErrorText(int column, int index);

 private:
  bool InGrid(int index) const { return index >= FirstGridIndex && index <= LastGridIndex; }
  void SetCellOverride(int column, int index, const std::string& text);
  void ClosePrompt();
  void BlankXColumn();
  void DifferenceSeries(bool fromEnd);
  void EditFormulaStep();
  // The test every block copy and move passes first.
  bool BlockFits();

  SeriesStore& store_;
  WorksheetWindow none_;
  WorksheetWindow* window_ = &none_;
  // Cells whose text is not the column's width-13 text: drawn since by
  // ShowCell (width 12), cleared, or typed and not yet committed.
  std::vector<std::unordered_map<int, std::string>> overrides_;
  int xMirror_ = -1;            // worksheet column copied into grid column 1
  std::string xHeader_ = "  Xvals";
};

}  // namespace krv::series
