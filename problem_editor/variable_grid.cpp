// The ten-row grid over a display list: row texts, paging and commits.
#include "problem_editor/variable_grid.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "platform/text.h"
#include "problem_editor/FormatReal.h"
#include "problem_editor/value_entry.h"

namespace krv::pe {

constexpr size_t kCaptionMax = 87;

double ScaledError(const VariableRecord& r) { return (r.XOut() - r.XIn()) / double(r.Range()); }

std::string ErrText(const VariableRecord& r) {
  if (!(r.Range() > 0)) return " ";
  return FormatReal(10, ScaledError(r));
}

std::string RecordCaption(int i, const VariableRecord& r) {
  return platform::PadLeft(platform::IntToString(i), 4) + " " + TypeLetters(r.TypeCode) + "  _X." +
         r.name;
}

RowView DrawRow(const EditorBuffer& buf, int d, bool transferMode) {
  RowView v;
  if (d < 0 || d > buf.lastDisplayed) return v;
  int i = buf.display[size_t(d)];
  const VariableRecord& r = buf.records[size_t(i)];
  v.caption = RecordCaption(i, r).substr(0, kCaptionMax);
  v.xin = FormatReal(14, r.XIn());
  v.editable = true;
  switch (r.TypeCode) {
    case 0:
    case 1:
    case 4:
      v.xout = FormatReal(14, r.XOut());
      v.range = FormatReal(10, r.Range());
      v.err = ErrText(r);
      break;
    case 2:
    case 3:
      v.range = FormatReal(10, r.Range());
      break;
    default:
      break;
  }
  if (r.Positive()) v.pLabel = "P";
  bool showI = transferMode ? d == buf.cursor : buf.marks[size_t(d)] != 0;
  v.marker = showI ? "I" : " ";
  return v;
}

std::string HeaderText(const EditorBuffer& buf) {
  std::string h(100, ' ');
  auto put = [&h](size_t col, const char* text) { h.replace(col, std::strlen(text), text); };
  put(0, "X in");
  put(32, "X out");
  put(63, "Range");
  put(83, "Err");
  return h + platform::IntToString(buf.lastDisplayed + 1) + " disp";
}

static void KeepCursorInList(EditorBuffer& buf) {
  buf.cursor = std::clamp(buf.cursor, 0, std::max(buf.lastDisplayed, 0));
}

bool ApplyGridKey(EditorBuffer& buf, GridKey key, bool transferMode) {
  const int last = buf.lastDisplayed;
  if (last < 0) return false;
  const int step = transferMode ? 4 : 9;
  switch (key) {
    case GridKey::PageUp:
      buf.top = std::max(buf.top - step, 0);
      buf.cursor = buf.top + 3;
      break;
    case GridKey::PageDown:
      buf.top = std::min(buf.top + step, last);
      buf.cursor = buf.top;
      break;
    case GridKey::Home:
      buf.top = 0;
      buf.cursor = 0;
      break;
    case GridKey::End:
      buf.top = std::max(last - (transferMode ? 3 : 9), 0);
      buf.cursor = last;
      break;
    case GridKey::Up:
      if (!transferMode) return false;
      if (buf.cursor > 0) --buf.cursor;
      if (buf.cursor < buf.top) buf.top = buf.cursor;
      break;
    case GridKey::Down:
      if (!transferMode) return false;
      if (buf.cursor < last) ++buf.cursor;
      if (buf.cursor > buf.top + 3) buf.top = buf.cursor - 3;
      break;
  }
  // A short list must not leave the cursor past its end.
  KeepCursorInList(buf);
  return true;
}

void ScrollToEnd(EditorBuffer& buf, int rows) {
  buf.top = std::max(buf.lastDisplayed - (rows - 1), 0);
  buf.cursor = buf.top;
}

void DropAllRows(EditorBuffer& buf) {
  buf.lastDisplayed = -1;
  buf.top = 0;
  buf.cursor = 0;
}

void ScrollTo(EditorBuffer& buf, int position) {
  buf.top = std::clamp(position, 0, std::max(buf.lastDisplayed, 0));
  buf.cursor = std::clamp(buf.cursor, buf.top, buf.top + 3);
  KeepCursorInList(buf);
}

int ScrollMaximum(const EditorBuffer& buf) { return std::max(buf.lastDisplayed, 0); }

bool MarkOrSetCursor(EditorBuffer& buf, int gridRow, bool transferMode) {
  int d = buf.top + gridRow;
  if (gridRow < 0 || d > buf.lastDisplayed) return false;
  if (transferMode)
    buf.cursor = d;
  else
    buf.marks[size_t(d)] ^= 1;
  return true;
}

std::string MarkerText(const EditorBuffer& buf, int gridRow) {
  int d = buf.top + gridRow;
  if (gridRow < 0 || d < 0 || d > buf.lastDisplayed) return " ";
  return buf.marks[size_t(d)] ? "I" : " ";
}

std::optional<std::string> CommitValue(EditorBuffer& buf, int gridRow, std::string_view text,
                                       bool range) {
  int d = buf.top + gridRow;
  if (gridRow < 0 || d > buf.lastDisplayed) return std::nullopt;
  std::string t = TrimBlanks(text);
  VariableRecord& r = buf.AtRow(d);
  if (range) {
    auto v = ParseSingleValue(t);
    if (!v) return std::nullopt;
    r.SetRange(float(*v));
    return FormatReal(10, double(r.Range()));
  }
  auto v = ParseRealValue(t);
  if (!v) return std::nullopt;
  r.SetXIn(*v);
  return FormatReal(14, *v);
}

bool GridEdits::Enter(int row, bool range, std::string_view text) {
  State& s = EditState(range);
  if (refocusing_ && refocusing_->row == row && refocusing_->range == range) {
    refocusing_.reset();
    s.pending = true;
    return false;
  }
  s.text = std::string(text.substr(0, kEntryTextMax));
  s.row = row;
  s.pending = true;
  return true;
}

bool GridEdits::EntersOnReturn(int row, bool range) const {
  const State& s = EditState(range);
  return !(s.pending && s.row == row);
}

GridEdits::Commit GridEdits::Store(EditorBuffer& buf, bool& modified, int row, bool range,
                                   std::string_view text, bool changed) {
  Commit c;
  if (!changed) return c;
  auto shown = CommitValue(buf, row, text, range);
  if (!shown) {
    c.outcome = Outcome::Refused;
    refocusing_ = Pending{row, range};
    return c;
  }
  c.outcome = Outcome::Stored;
  c.shown = std::move(*shown);
  modified = true;
  return c;
}

GridEdits::Commit GridEdits::Exit(EditorBuffer& buf, bool& modified, int row, bool range,
                                  std::string_view text, bool changed) {
  Commit c = Store(buf, modified, row, range, text, changed);
  EditState(range).pending = false;
  return c;
}

std::vector<GridEdits::Pending> GridEdits::PendingEdits() const {
  std::vector<Pending> out;
  if (xin_.pending) out.push_back({xin_.row, false});
  if (range_.pending) out.push_back({range_.row, true});
  return out;
}

}  // namespace krv::pe
