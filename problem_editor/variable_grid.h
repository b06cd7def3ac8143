// The ten-row grid over a display list: row texts, paging and commits.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "problem_editor/editor_buffer.h"

namespace krv::pe {

constexpr int kGridRows = 10;

// The seven texts of one grid row; a blank is a single space.
struct RowView {
  std::string marker = " ";
  std::string pLabel = " ";
  std::string caption = " ";
  std::string xin = " ";
  std::string xout = " ";
  std::string range = " ";
  std::string err = " ";
  bool editable = false;  // blank rows take no value
};

// The caption of record `i`: its index right-aligned in 4 characters, a
// blank, the kind letters, two blanks, "_X." and the name, whole.
std::string RecordCaption(int i, const VariableRecord& r);
// The error column's value: (X out - X in) / Range.
double ScaledError(const VariableRecord& r);
// The grid's Err text: the scaled error in 10 characters when Range > 0,
// else a blank.
std::string ErrText(const VariableRecord& r);

// Display row `d` of `buf` (blank past the last displayed row).
RowView DrawRow(const EditorBuffer& buf, int d, bool transferMode);
// "X in", "X out", "Range", "Err" over 100 columns, then "<n> disp".
std::string HeaderText(const EditorBuffer& buf);
inline constexpr const char* kDroppedHeader = "0 disp";

enum class GridKey { PageUp, PageDown, Home, End, Up, Down };

// Moves the top and cursor rows for a key; false when the key does
// nothing (an empty list, or Up and Down outside transfer mode).
bool ApplyGridKey(EditorBuffer& buf, GridKey key, bool transferMode);
// The last page: top := last displayed row - (rows - 1) (at least 0),
// cursor := top.
void ScrollToEnd(EditorBuffer& buf, int rows = kGridRows);
// Empties the display list.
void DropAllRows(EditorBuffer& buf);
// The scroll bar moved to `position`: it becomes the top row.
void ScrollTo(EditorBuffer& buf, int position);
// The scroll bar's maximum: the last displayed row, 0 for an empty list.
int ScrollMaximum(const EditorBuffer& buf);

// A marker button: toggles the row's mark, or in transfer mode puts the
// cursor there. False when the grid row shows nothing.
bool MarkOrSetCursor(EditorBuffer& buf, int gridRow, bool transferMode);
// The marker text of grid row `gridRow` after a click: in transfer mode the
// whole grid is redrawn instead, so this is the normal mode's mark.
std::string MarkerText(const EditorBuffer& buf, int gridRow);

// Stores the text typed into grid row `gridRow`'s X in (or Range) edit.
// Returns the text the edit then shows, or nothing when the text is no
// number (or a Range beyond the single range) and nothing was stored.
std::optional<std::string> CommitValue(EditorBuffer& buf, int gridRow, std::string_view text,
                                       bool range);

// The in-place editing of the grid's X in and Range edits: what each held
// when it got the focus, which row it is on, whether a commit is pending,
// and the refused value whose edit is taking the focus back.
class GridEdits {
 public:
  // What a commit did to the edit.
  enum class Outcome {
    Unchanged,  // the edit was not changed since it got the focus
    Stored,     // the value is stored: show `shown`, the row's Err blank
    Refused,    // no number: beep, give the edit the focus back
  };
  struct Commit {
    Outcome outcome = Outcome::Unchanged;
    std::string shown;
  };
  struct Pending {
    int row = 0;
    bool range = false;
  };

  // The edit of grid row `row` got the focus showing `text`. Coming back
  // after a refused value it keeps the text to restore (and the change).
  // True when the caller is to mark the edit unchanged.
  bool Enter(int row, bool range, std::string_view text);
  // Whether a focus coming back from a menu or another window is to be
  // taken as a new entry; a pending edit of that row is not entered again.
  bool EntersOnReturn(int row, bool range) const;
  // The edit lost the focus: commits it and ends its pending state.
  Commit Exit(EditorBuffer& buf, bool& modified, int row, bool range, std::string_view text,
              bool changed);
  // Stores `text` typed into the edit when `changed`; see Outcome. This is
  // CommitXin for the X in edit and CommitRange for the Range edit.
  Commit Store(EditorBuffer& buf, bool& modified, int row, bool range, std::string_view text,
               bool changed);
  // The pending edits, X in first: what a command commits before it runs.
  std::vector<Pending> PendingEdits() const;
  // Escape: the text the edit held when it got the focus.
  const std::string& EscapeText(bool range) const { return EditState(range).text; }

 private:
  struct State {
    std::string text;
    int row = 0;
    bool pending = false;
  };
  State& EditState(bool range) { return range ? range_ : xin_; }
  const State& EditState(bool range) const { return range ? range_ : xin_; }

  State xin_, range_;
  std::optional<Pending> refocusing_;  // an edit getting the focus back
};

}  // namespace krv::pe
