// The worksheet without its window.
#include "series/WkUnit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/hourglass.h"
#include "platform/text.h"
#include "platform/user_prompts.h"
#include "problem_editor/value_entry.h"
#include "series/series_arithmetic.h"
#include "series/worksheet_dialogs.h"
#include "series/worksheet_io.h"

namespace krv::series {

namespace {

// The range of an open, non-empty series; false otherwise.
bool RangeOf(const ColumnSlot& slot, int& lo, int& hi) {
  if (!slot.IsOpen() || slot.Header().Empty()) return false;
  lo = slot.Header().base + slot.Header().firstOffset;
  hi = slot.Header().highest;
  return true;
}

bool Inside(const ColumnSlot& slot, int index) {
  int lo, hi;
  return RangeOf(slot, lo, hi) && index >= lo && index <= hi;
}

// The stored value at an index inside the range, read without the store's
// bookkeeping (painting must not touch FailureFlag).
float StoredValue(const ColumnSlot& slot, int index) {
  return slot.Cells()[size_t(index - slot.Header().base)];
}

std::string Cut(std::string s, size_t n) {
  if (s.size() > n) s.resize(n);
  return s;
}

}  // namespace

Worksheet::Worksheet(SeriesStore& store) : Formulas(store, Formula), store_(store), overrides_(kColumnCount) {
  DecimalSpec.fill(kSpecFlexible);
}

Worksheet::~Worksheet() {
  if (store_.Display == this) store_.Display = nullptr;
}

// ---- Grid geometry ----

void Worksheet::SetCurrentColumn(int column) {
  SG1SelectCell(std::clamp(column, 0, kColumnCount - 1) + 2, CursorRow);
}

void Worksheet::SetCurrentIndex(int index) {
  SG1SelectCell(CursorGridColumn, RowOf(std::clamp(index, FirstGridIndex, LastGridIndex)));
}

void Worksheet::ScrollToColumn(int column) {
  SG1TopLeftChanged(std::clamp(column, 0, kColumnCount - 1) + 2, TopRow);
  window_->ViewMoved();
}

void Worksheet::ScrollToIndex(int index) {
  TopRow = RowOf(std::clamp(index, FirstGridIndex, LastGridIndex));
  window_->ViewMoved();
}

// ---- Cell texts ----

std::string Worksheet::GridText(int gridColumn, int row) const {
  if (row == 0) {
    if (gridColumn == 0) return " Row";
    if (gridColumn == 1) return xMirror_ >= 0 ? GridText(xMirror_ + 2, 0) : xHeader_;
    return "  " + ColumnLetters(gridColumn - 2);
  }
  int index = IndexOfRow(row);
  if (gridColumn == 0) return platform::PadLeft(platform::IntToString(index), 6);
  if (gridColumn == 1) return xMirror_ >= 0 ? CellText(xMirror_, index) : std::string();
  return CellText(gridColumn - 2, index);
}

std::string Worksheet::CellText(int column, int index) const {
  const auto& over = overrides_[size_t(column)];
  if (!over.empty()) {
    auto it = over.find(index);
    if (it != over.end()) return it->second;
  }
  const ColumnSlot& slot = store_.ColumnSlots[size_t(column)];
  if (!Inside(slot, index)) return {};
  float v = StoredValue(slot, index);
  if (IsMissing(v)) return "----";
  return FormatCellValue(13, DecimalSpec[size_t(column)], v);
}

void Worksheet::SetCellOverride(int column, int index, const std::string& text) {
  overrides_[size_t(column)][index] = text;
  window_->CellChanged(column, index);
  if (column == xMirror_) window_->ColumnChanged(-1);
}

void Worksheet::SetCellText(int column, int index, const std::string& text) {
  SetCellOverride(column, index, Cut(text, 255));
}

// ---- Redrawing ----

void Worksheet::ShowCell(int column, int index) {
  ColumnSlot& slot = Slot(column);
  float v = store_.GetVal(slot, int16_t(index));
  std::string text = IsMissing(v) ? "----" : Cut(FormatCellValue(12, DecimalSpec[size_t(column)], v), 31);
  SetCellOverride(column, index, text);
  if (column == CurrentColumn() && index == CurrentIndex()) CellTextBefore = text;
}

void Worksheet::ClearCell(int column, int index) {
  SetCellOverride(column, index, "");
  if (column == CurrentColumn() && index == CurrentIndex()) CellTextBefore.clear();
}

void Worksheet::ShowColumn(int column) {
  ColumnSlot& slot = Slot(column);
  if (!slot.IsOpen()) return;
  overrides_[size_t(column)].clear();
  int lo, hi;
  if (RangeOf(slot, lo, hi) && (lo < FirstGridIndex || hi > LastGridIndex)) {
    // One message for the first index without a grid row, not one per value.
    int first = lo < FirstGridIndex ? lo : LastGridIndex + 1;
    while (first <= hi && InGrid(first)) ++first;
    float v = StoredValue(slot, first);
    std::string text = IsMissing(v) ? "----" : Cut(FormatCellValue(13, DecimalSpec[size_t(column)], v), 31);
    store_.ShowMessageStr("JC=" + platform::IntToString(column) + " I=" +
                          platform::IntToString(first) + " S=" + text);
  }
  if (column == CurrentColumn()) CellTextBefore = CellText(column, CurrentIndex());
  window_->ColumnChanged(column);
  if (column == XColumn) ShowXColumnInfo(CurrentColumn());
  else if (column == xMirror_) window_->ColumnChanged(-1);
}

void Worksheet::ClearColumnDisplay(int column) {
  if (!Slot(column).IsOpen()) return;
  // The cells follow the series; what is blanked here is what was drawn or typed.
  overrides_[size_t(column)].clear();
  if (column == CurrentColumn()) CellTextBefore = CellText(column, CurrentIndex());
  window_->ColumnChanged(column);
  if (column == XColumn) ShowXColumnInfo(CurrentColumn());
}

void Worksheet::RefreshColumnHeaders() {
  int left = LeftColumn();
  for (int k = 0; k < kHeaderLines; ++k) {
    int col = left + k;
    std::string& line = HeaderLines[size_t(k)];
    line.clear();
    if (col > store_.HighestColumn || col >= kColumnCount) continue;
    line = GridText(col + 2, 0).substr(1, 3);
    ColumnSlot& slot = Slot(col);
    if (slot.IsOpen()) {
      line += slot.xSlot ? "(" + ColumnLetters(XColumnOf(col)) + ")" : std::string(4, ' ');
      line += slot.modified ? "<c>" : "   ";
      if (ViewFormulas)
        line += " " + Formula[size_t(col)];
      else
        line += slot.Descriptor().path;
    } else if (ViewFormulas) {
      line += " " + Formula[size_t(col)];
    }
    line = Cut(line, 87);
  }
  int sel = CurrentColumn() - left;
  HeaderSelected = sel >= 0 && sel < kHeaderLines ? sel : -1;
  window_->HeadersChanged();
}

void Worksheet::ShowRowUseLimits() {
  RowUseLbl = "Low=" + platform::PadLeft(platform::IntToString(store_.RowUseLow), 7) +
              "      High=" + platform::PadLeft(platform::IntToString(store_.RowUseHigh), 7);
  window_->LabelsChanged();
}

int Worksheet::XColumnOf(int column) {
  ColumnSlot& slot = Slot(column);
  if (!slot.IsOpen() || !slot.xSlot) return -1;
  const ColumnSlot* first = store_.ColumnSlots.data();
  if (slot.xSlot < first || slot.xSlot >= first + kColumnCount) return -1;
  return int(slot.xSlot - first);
}

void Worksheet::ShowXColumnInfo(int column) {
  if (XAuto) {
    XColumn = XColumnOf(column);
    XSlot = XColumn < 0 ? nullptr : Slot(column).xSlot;
  }
  if (!YofXOff && XSlot && XColumn >= 0) {
    ColumnSlot& x = Slot(XColumn);
    int lo, hi;
    if (x.IsOpen()) {
      if (!RangeOf(x, lo, hi)) lo = 0, hi = -1;
      XLow = lo, XHigh = hi;
      XnameLbl = Cut(ColumnLetters(XColumn) + " = x val: " + x.Descriptor().path, 100);
    } else {
      XnameLbl.clear();
      XLow = 0, XHigh = -1;
    }
    xMirror_ = XColumn;
  } else {
    BlankXColumn();
  }
  window_->ColumnChanged(-1);
  window_->LabelsChanged();
}

void Worksheet::BlankXColumn() {
  XnameLbl.clear();
  if (xMirror_ >= 0) xHeader_ = GridText(xMirror_ + 2, 0);  // the copied header stays
  xMirror_ = -1;
  XLow = 0, XHigh = -1;
}

void Worksheet::ResetWorksheetState() {
  LeftColumnSeen = 2;
  XSlot = nullptr;
  XColumn = -1;
  store_.HighestColumn = kColumnCount - 1;
  // The slots own their series; the table is empty when this runs at start.
  DecimalSpec.fill(kSpecFlexible);
  store_.SetCurrentDSDir(".");
  YofXOff = true;
  XAuto = false;
  ConstValue = 0, DiffStart = 0, DiffStep = 0.01, FillValue = 0, DiffEnd = 1.0;
}

// ---- Commits ----

bool Worksheet::StoreCellText(int column, int index) {
  if (column < 0 || column >= kColumnCount || !InGrid(index)) return true;
  ColumnSlot& slot = Slot(column);
  bool wasModified = slot.IsOpen() && slot.modified;
  auto& over = overrides_[size_t(column)];
  auto typed = over.find(index);
  std::string t = Cut(CellText(column, index), 67);
  if (t == CellTextBefore || typed == over.end()) {
    // Unchanged, or drawn from the series itself: the two agree already.
  } else if (t.empty()) {
    int lo, hi;
    if (RangeOf(slot, lo, hi) && index >= lo && index <= hi) {
      bool deleted = (index == lo || index == hi) && store_.DeleteEndValue(slot, int16_t(index));
      if (deleted)
        RefreshColumnHeaders();
      else
        ShowCell(column, index);  // the stored value comes back
    }
  } else {
    std::optional<double> value;
    if (t == "----") {
      if (Inside(slot, index)) value = double(MissingValue);
    } else {
      size_t b = t.find_first_not_of(' ');
      value = pe::ParseSingleValue(std::string_view(t).substr(b == std::string::npos ? t.size() : b));
    }
    if (!value) {
      platform::Prompts().Beep();
      return false;  // the cell keeps the typed text
    }
    if (!slot.IsOpen()) {
      store_.NewSeries(slot, false, "");
      RefreshColumnHeaders();
    }
    int lo, hi;
    bool gap = RangeOf(slot, lo, hi) && (index > hi + 1 || index < lo - 1);
    double v = *value;
    if (std::fabs(v) < 1.2e-38) v = 0;
    store_.PutVal(slot, int16_t(index), v);
    if (gap)
      ShowColumn(column);
    else
      ShowCell(column, index);
    if (!wasModified) RefreshColumnHeaders();
  }
  CellTextBefore = Cut(CellText(column, index), 31);
  return true;
}

std::string Worksheet::CommitErrorText(int column, int index) {
  return "Error at " + platform::IntToString(column) + "," + platform::IntToString(index);
}

bool Worksheet::CommitCurrentCell() {
  if (StoreCellText(CurrentColumn(), CurrentIndex())) return true;
  store_.ShowMessageStr(CommitErrorText(CurrentColumn(), CurrentIndex()));
  return false;
}

// ---- Window life ----

void Worksheet::FormCreate() {
  store_.Display = this;
  SingleSelectActive = RangeSelectActive = false;
  FirstGridIndex = kFirstGridIndex;
  LastGridIndex = kLastGridIndex;
  for (auto& f : Formula) f.clear();
  store_.RowUseLow = 0;
  store_.RowUseHigh = 400;
  ShowRowUseLimits();
  TopRow = RowOf(0);
  LeftGridColumn = 2;
  ResetWorksheetState();
  CellTextBefore.clear();
  CursorGridColumn = 2;
  CursorRow = RowOf(0);
  SelectionLeft = SelectionRight = 2;
  SetFileLabels();
  RefreshColumnHeaders();
  window_->ViewMoved();
}

bool Worksheet::FormCloseQuery() {
  bool modified = std::any_of(store_.ColumnSlots.begin(), store_.ColumnSlots.end(),
                              [](const ColumnSlot& s) { return s.IsOpen() && s.modified; });
  if (modified && platform::Prompts().Ask("Some data may not have been saved!--Return to worksheet??",
                                          false) == platform::Answer::Yes)
    return false;
  for (ColumnSlot& s : store_.ColumnSlots) s.modified = false;
  return true;
}

void Worksheet::EraseColumnRange() {
  for (int k = FirstSelCol; k <= LastSelCol; ++k) {
    if (!Slot(k).IsOpen()) continue;
    ClearColumnDisplay(k);
    store_.FreeSeries(Slot(k));
    window_->ColumnChanged(k);
  }
  RefreshColumnHeaders();
}

void Worksheet::FormClose() {
  for (auto& f : Formula) f.clear();
  FirstSelCol = 0;
  LastSelCol = kColumnCount - 1;
  EraseColumnRange();
  // Every series is gone: no X series remains to be shown.
  XSlot = nullptr;
  XColumn = -1;
  BlankXColumn();
  for (auto& over : overrides_) over.clear();
  CellTextBefore.clear();
  store_.CloseDSF();
  Label4 = "Current DSDir path in file <NO FILE>";
  DSDirLbl.clear();
  window_->ColumnChanged(-1);
  window_->LabelsChanged();
  if (OnClose) OnClose();
}

void Worksheet::SetFileLabels() {
  Label4 = store_.AttachedDSFPath.empty() ? "Current DSDir path in file <NO FILE>"
                                          : "Current DSDir path in file " + store_.AttachedDSFPath;
  DSDirLbl = store_.CurrentDSDirPath;
  window_->LabelsChanged();
}

// ---- Grid events ----

bool Worksheet::SG1SelectCell(int gridColumn, int row) {
  gridColumn = std::clamp(gridColumn, 2, kGridColumnCount - 1);
  row = std::clamp(row, 1, kGridRowCount - 1);
  if (!StoreCellText(CurrentColumn(), CurrentIndex())) return false;
  bool columnChanged = gridColumn != CursorGridColumn;
  CursorGridColumn = gridColumn;
  CursorRow = row;
  if (!SingleSelectActive && !RangeSelectActive) SelectionLeft = SelectionRight = gridColumn;
  int sel = CurrentColumn() - LeftColumn();
  HeaderSelected = sel >= 0 && sel < kHeaderLines ? sel : -1;
  window_->HeadersChanged();
  CellTextBefore = Cut(CellText(CurrentColumn(), CurrentIndex()), 31);
  if (columnChanged) ShowXColumnInfo(CurrentColumn());
  window_->ViewMoved();
  return true;
}

void Worksheet::SG1Exit() {
  CommitCurrentCell();
}

void Worksheet::SG1KeyPress() {
  int c = CurrentColumn(), i = CurrentIndex();
  ClearCell(c, i);
  if (Inside(Slot(c), i)) ShowCell(c, i);
}

void Worksheet::SG1TopLeftChanged(int leftGridColumn, int topRow) {
  TopRow = std::clamp(topRow, 1, kGridRowCount - 1);
  LeftGridColumn = std::clamp(leftGridColumn, 2, kGridColumnCount - 1);
  if (LeftGridColumn != LeftColumnSeen) {
    LeftColumnSeen = LeftGridColumn;
    RefreshColumnHeaders();
  }
}

void Worksheet::SG1DrawCell() {
  if (SelectionPending) UpdateSelectionEdits();
}

void Worksheet::HeaderClick(int line) {
  if (line < 0 || line >= kHeaderLines) return;
  SetCurrentColumn(LeftColumn() + line);
  if (SingleSelectActive) {
    SelectionLeft = SelectionRight = CursorGridColumn;
    UpdateSelectionEdits();
  }
}

void Worksheet::HeaderDoubleClick(int line) {
  if (!SingleSelectActive) return;
  HeaderClick(line);
  CSelOKClick();
}

// ---- The column-selection prompt ----

void Worksheet::BeginColumnSelect(const std::string& prompt, uint8_t code) {
  PendingOp = code;
  Label2 = " ";
  Edit2 = " ";
  Edit2Shown = false;
  PromptCaption = Cut(prompt, 67);
  RangeSelectActive = false;
  SingleSelectActive = true;
  SelectionLeft = SelectionRight = CursorGridColumn;
  UpdateSelectionEdits();
  PromptVisible = true;
  SelectionPending = true;
  window_->PromptChanged();
}

void Worksheet::BeginColumnRangeSelect(const std::string& prompt, uint8_t code) {
  PendingOp = code;
  Label2 = "to";
  Edit2Shown = true;
  PromptCaption = Cut(prompt, 67);
  SingleSelectActive = false;
  RangeSelectActive = true;
  SelectionLeft = SelectionRight = CursorGridColumn;
  UpdateSelectionEdits();
  PromptVisible = true;
  SelectionPending = true;
  window_->PromptChanged();
}

void Worksheet::UpdateSelectionEdits() {
  if (!SingleSelectActive && !RangeSelectActive) return;
  FirstSelCol = std::max(0, SelectionLeft - 2);
  Edit1 = ColumnLetters(FirstSelCol);
  if (RangeSelectActive) {
    LastSelCol = std::max(0, SelectionRight - 2);
    Edit2 = ColumnLetters(LastSelCol);
  }
  window_->PromptChanged();
}

void Worksheet::ClosePrompt() {
  SingleSelectActive = RangeSelectActive = false;
  PromptVisible = false;
  SelectionLeft = SelectionRight = CursorGridColumn;  // the highlight collapses to the cursor
  window_->PromptChanged();
}

void Worksheet::CSelOKClick() {
  SelectionPending = false;
  if (SingleSelectActive || RangeSelectActive) {
    FirstSelCol = ParseColumnLetters(Edit1, store_.HighestColumn);
    if (RangeSelectActive) LastSelCol = ParseColumnLetters(Edit2, store_.HighestColumn);
  }
  ClosePrompt();
  RunPendingColumnOp();
}

void Worksheet::CSelCanClick() {
  ClosePrompt();
}

void Worksheet::RunPendingColumnOp() {
  store_.FailureFlag = false;
  switch (PendingOp) {
    case kOpName:
      window_->EditSeriesName();
      break;
    case kOpLoadSeries:
      store_.LoadSeriesToColumns(store_.ColumnSlots.data(), FirstSelCol, SeriesPath);
      break;
    case kOpSaveRange:
      SaveColumnRange();
      break;
    case kOpReadText:
      ReadTXTTable(store_, TxtFileName, FirstSelCol);
      break;
    case kOpWriteTextHeaders:
    case kOpWriteTextPlain:
      WriteTXTTable(store_, TxtFileName, PendingOp == kOpWriteTextHeaders, FirstSelCol, LastSelCol);
      break;
    case kOpXSet:
      XSlot = &Slot(FirstSelCol);
      XColumn = FirstSelCol;
      ShowXColumnInfo(CurrentColumn());
      break;
    case kOpYofXSet:
      for (int c = FirstSelCol; c <= LastSelCol; ++c)
        if (Slot(c).IsOpen()) Slot(c).xSlot = XSlot;
      break;
    case kOpDecimals: {
      int digits = kSpecFlexible;
      if (window_->EditNumberDisplay(digits)) {
        for (int c = FirstSelCol; c <= LastSelCol; ++c) {
          DecimalSpec[size_t(c)] = int8_t(digits);
          ShowColumn(c);
        }
      }
      break;
    }
    case kOpUnarySource:
      OperandCol1 = FirstSelCol;
      BeginColumnSelect("Specify result destination column:", kOpUnaryDest);
      break;
    case kOpUnaryDest:
      UnaryCalcs(store_, OpChar, Slot(FirstSelCol), Slot(OperandCol1));
      ShowColumn(FirstSelCol);
      break;
    case kOpConstSource:
      OperandCol1 = FirstSelCol;
      BeginColumnSelect("Specify destination column:", kOpConstDest);
      break;
    case kOpConstDest:
      ConstCalcs(store_, OpChar, Slot(FirstSelCol), Slot(OperandCol1), ConstValue);
      ShowColumn(FirstSelCol);
      break;
    case kOpBinarySource1:
      OperandCol1 = FirstSelCol;
      BeginColumnSelect(std::string("[D]=[C1]") + OpChar + "[C2]; Specify C2 source column", kOpBinarySource2);
      break;
    case kOpBinarySource2:
      OperandCol2 = FirstSelCol;
      BeginColumnSelect(std::string("[D]=[C1]") + OpChar + "[C2]; Specify Destination column", kOpBinaryDest);
      break;
    case kOpBinaryDest:
      BinaryCalcs(store_, OpChar, Slot(FirstSelCol), Slot(OperandCol1), Slot(OperandCol2));
      ShowColumn(FirstSelCol);
      break;
    case kOpIndexSeries:
      ClearColumnDisplay(FirstSelCol);
      MakeIndexSeries(store_, Slot(FirstSelCol));
      ShowColumn(FirstSelCol);
      break;
    case kOpDiffStep:
    case kOpDiffEnd:
      DifferenceSeries(PendingOp == kOpDiffEnd);
      break;
    case kOpFill:
      if (window_->EditValue(FillValue, "Fill a series with a constant---Enter constant value:")) {
        FillSeriesConstant(store_, Slot(FirstSelCol), FillValue);
        ShowColumn(FirstSelCol);
      }
      break;
    case kOpSumRange:
      OperandCol1 = FirstSelCol;
      OperandCol2 = LastSelCol;
      BeginColumnSelect("Specify destination column for sum result:", kOpSumDest);
      break;
    case kOpSumDest:
      SumColumnRange();
      break;
    case kOpRangeOp:
      OperandCol1 = FirstSelCol;
      OperandCol2 = LastSelCol;
      BeginColumnSelect(std::string("Calc: [C1]") + OpChar + "[C3]...[C2]" + OpChar + "[C3], Specify [C3]",
                        kOpRangeOpColumn);
      break;
    case kOpRangeOpColumn: {
      platform::Hourglass busy;
      for (int k = OperandCol1; k <= OperandCol2; ++k) {
        ModifyBinary(store_, OpChar, Slot(k), Slot(FirstSelCol));
        ShowColumn(k);
      }
      break;
    }
    case kOpUnaryRange: {
      platform::Hourglass busy;
      for (int k = FirstSelCol; k <= LastSelCol; ++k) {
        ModifyUnary(store_, OpChar, Slot(k));
        ShowColumn(k);
      }
      break;
    }
    case kOpCopy:
    case kOpMove:
      OperandCol1 = FirstSelCol;  // LastSelCol keeps the end of the source block
      BeginColumnSelect("Destination (left column in block)?", PendingOp == kOpCopy ? kOpCopyDest : kOpMoveDest);
      break;
    case kOpCopyDest:
      CopyColumnBlock();
      break;
    case kOpMoveDest:
      MoveColumnBlock();
      break;
    case kOpEraseColumns:
      EraseColumnRange();
      break;
    case kOpFormulaEdit:
      EditFormulaStep();
      break;
    case kOpRecalcColumn:
      if (!Formula[size_t(FirstSelCol)].empty()) Formulas.ComputeColumnFormula(FirstSelCol);
      break;
    default:
      break;  // codes without a step
  }
  RefreshColumnHeaders();
}

void Worksheet::DifferenceSeries(bool fromEnd) {
  if (!window_->EditValue(DiffStart, "Difference series---Enter starting value (at lower index limit):")) return;
  if (fromEnd) {
    if (!window_->EditValue(DiffEnd, "Difference series---Enter ending value (at upper index limit):")) return;
    if (store_.RowUseLow < store_.RowUseHigh)
      DiffStep = (DiffEnd - DiffStart) / (store_.RowUseHigh - store_.RowUseLow);
  } else if (!window_->EditValue(DiffStep, "Difference series---Enter difference value (term to term):")) {
    return;
  }
  ClearColumnDisplay(FirstSelCol);
  MakeDifferenceSeries(store_, Slot(FirstSelCol), DiffStart, DiffStep);
  ShowColumn(FirstSelCol);
  if (!fromEnd) DiffEnd = (store_.RowUseHigh - store_.RowUseLow) * DiffStep + DiffStart;  // offered next time
}

void Worksheet::SumColumnRange() {
  int d = FirstSelCol;
  ColumnSlot& dest = Slot(d);
  if (!dest.IsOpen()) {
    store_.NewSeries(dest, false, "");
    if (store_.FailureFlag) return;
  }
  platform::Hourglass busy;
  if (dest.Header().Empty()) FillSeriesConstant(store_, dest, 0);
  auto valueAt = [](const ColumnSlot& slot, int i) {
    // Outside a series there is nothing to add: no warning, as for gaps.
    if (!Inside(slot, i)) return 0.0;
    float v = StoredValue(slot, i);
    return IsMissing(v) ? 0.0 : double(v);
  };
  for (int i = store_.RowUseLow; i <= store_.RowUseHigh; ++i) {
    double sum = valueAt(dest, i);
    for (int c = OperandCol1; c <= OperandCol2; ++c) sum += valueAt(Slot(c), i);
    store_.PutVal(dest, int16_t(i), sum);
  }
  ShowColumn(d);
}

bool Worksheet::BlockFits() {
  int a = OperandCol1, b = LastSelCol, c = FirstSelCol;
  if (b >= c && c + b - 2 * a >= 0) {
    store_.ReportError("Dest. may not overlap source");
    return false;
  }
  // The slot table ends at SP: a block reaching past it is refused whole.
  if (b >= a && c + b - a > kColumnCount - 1) {
    store_.ReportError("Dest. beyond column SP");
    return false;
  }
  return true;
}

void Worksheet::CopyColumnBlock() {
  if (!BlockFits()) return;
  int a = OperandCol1, c = FirstSelCol;
  for (int k = 0; k <= LastSelCol - a; ++k) {
    ClearColumnDisplay(c + k);
    store_.CopySeries(Slot(c + k), Slot(a + k));
    store_.FailureFlag = false;
    ShowColumn(c + k);
  }
}

void Worksheet::MoveColumnBlock() {
  if (!BlockFits()) return;
  int a = OperandCol1, c = FirstSelCol;
  for (int k = 0; k <= LastSelCol - a; ++k) {
    ClearColumnDisplay(a + k);
    store_.MoveSeries(Slot(c + k), Slot(a + k));
    ShowColumn(c + k);
    store_.FailureFlag = false;
  }
}

void Worksheet::EditFormulaStep() {
  int col = FirstSelCol;
  std::string text = Formula[size_t(col)];
  bool computeNow = false;
  if (window_->EditFormula("Column " + GridText(col + 2, 0), text, computeNow))
    Formula[size_t(col)] = Cut(text, kShortMax);
  // Cancel too recomputes when asked to: the formula kept is computed.
  if (computeNow && !Formula[size_t(col)].empty()) Formulas.ComputeColumnFormula(col);
}

// ---- The "Columns" commands ----

void Worksheet::StartColumnCommand(uint8_t code) {
  switch (code) {
    case kOpIndexSeries:
      BeginColumnSelect("Specify column to receive index series:", code);
      break;
    case kOpDiffStep:
    case kOpDiffEnd:
      BeginColumnSelect("Specify column to receive difference series:", code);
      break;
    case kOpFill:
      BeginColumnSelect("Specify column to fill with constants:", code);
      break;
    case kOpSumRange:
      BeginColumnRangeSelect("Sum range of columns---specify range:", code);
      break;
    case kOpCopy:
      BeginColumnRangeSelect("Range of columns to COPY", code);
      break;
    case kOpMove:
      BeginColumnRangeSelect("Range of columns to MOVE", code);
      break;
    case kOpEraseColumns:
      BeginColumnRangeSelect("Range of columns to ERASE", code);
      break;
    case kOpFormulaEdit:
      BeginColumnSelect("Formula Column:", code);
      break;
    case kOpRecalcColumn:
      BeginColumnSelect("Recalc Column:", code);
      break;
    default:
      break;
  }
}

void Worksheet::StartArithmetic(uint8_t code, char op) {
  OpChar = op;
  switch (code) {
    case kOpUnarySource: {
      const char* name = op == 'N' ? "-" : op == 'I' ? "1/" : op == 'L' ? "Ln" : op == 'E' ? "Exp" : "Cum";
      BeginColumnSelect(std::string("Unary operation source column: ") + name + "(?)", code);
      break;
    }
    case kOpBinarySource1:
      BeginColumnSelect(std::string("[D]=[C1]") + op + "[C2]; Specify C1 source column", code);
      break;
    case kOpRangeOp:
      BeginColumnRangeSelect("Range [C1]..[C2] operated on:", code);
      break;
    case kOpUnaryRange:
      BeginColumnRangeSelect("Specify range of columns to be operated on:", code);
      break;
    default:
      break;
  }
}

void Worksheet::StartConstantOp(char op) {
  if (!window_->EditValue(ConstValue, "Constant*Series operations---Enter constant value:")) return;
  OpChar = op;
  std::string prompt;
  if (op == 'S') {
    double n = std::nearbyint(ConstValue);  // half to even
    char digits[400];
    std::snprintf(digits, sizeof digits, "%.0f", n);
    prompt = std::string("Specify source column to be shifted") + digits + " :";
    ConstValue = n;
  } else if (op == 'X') {
    prompt = "Source column is ?^" + FormatByMagnitude(12, ConstValue);
  } else {
    prompt = std::string("Source column is ? ") + op + " " + FormatByMagnitude(12, ConstValue);
  }
  BeginColumnSelect(prompt, kOpConstSource);
}

void Worksheet::RecalcAllClick() {
  store_.FailureFlag = false;
  CommitCurrentCell();
  Formulas.RecalculateFormulas();
}

void Worksheet::SaveColumnRange() {
  int first = FirstSelCol, last = LastSelCol;
  for (int c = first; c <= last; ++c) {
    ColumnSlot& slot = Slot(c);
    if (!slot.IsOpen()) continue;
    if (!IsLegalSeriesName(slot.Descriptor().path)) {
      FirstSelCol = c;
      if (!window_->EditSeriesName()) continue;
    }
    store_.SaveSeries(slot, slot.Descriptor().path);
    if (store_.FailureFlag) break;
  }
  RefreshColumnHeaders();
}

// ---- Menu commands and check boxes ----

void Worksheet::ZeroClick() {
  store_.FailureFlag = false;
  CommitCurrentCell();
  ScrollToIndex(0);
  SetCurrentIndex(0);
}

void Worksheet::TopClick() {
  store_.FailureFlag = false;
  CommitCurrentCell();
  int lo = 0, hi;
  if (!RangeOf(Slot(CurrentColumn()), lo, hi)) lo = 0;
  ScrollToIndex(lo);
  SetCurrentIndex(lo);
}

void Worksheet::BottomClick() {
  store_.FailureFlag = false;
  CommitCurrentCell();
  int lo, hi;
  if (Slot(CurrentColumn()).IsOpen() && RangeOf(Slot(CurrentColumn()), lo, hi)) {
    // A series ending near the grid's first row cannot put a row above it on top.
    ScrollToIndex(std::max(hi - 4, FirstGridIndex));
    SetCurrentIndex(hi);
  } else {
    ScrollToIndex(0);
    SetCurrentIndex(0);
  }
}

void Worksheet::ClearXClick() {
  store_.FailureFlag = false;
  CommitCurrentCell();
  XSlot = nullptr;
}

void Worksheet::ChangeAllDecimalSpecsClick() {
  store_.FailureFlag = false;
  CommitCurrentCell();
  int digits = kSpecFlexible;
  if (!window_->EditNumberDisplay(digits)) return;
  for (int c = 0; c < kColumnCount; ++c) {
    DecimalSpec[size_t(c)] = int8_t(digits);
    ShowColumn(c);
  }
}

void Worksheet::XautClick(bool checked) {
  store_.FailureFlag = false;
  CommitCurrentCell();
  XAuto = checked;
  ShowXColumnInfo(CurrentColumn());
}

void Worksheet::YofXClick(bool checked) {
  if (checked) {
    YofXOff = false;
  } else {
    YofXOff = true;
    XAuto = false;
    BlankXColumn();
    xHeader_.clear();  // every cell of the column, its header too
  }
  ShowXColumnInfo(CurrentColumn());
}

void Worksheet::NameSelClick(bool formulas) {
  ViewFormulas = formulas;
  RefreshColumnHeaders();
}

}  // namespace krv::series
