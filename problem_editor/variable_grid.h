// The ten-row grid over a display list: row texts, paging and commits.
#pragma once

#include <optional>
#include <string>
#include <string_view>

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

// Display row `d` of `buf` (blank past the last displayed row).
RowView DrawRow(const EditorBuffer& buf, int d, bool transferMode);
// "X in", "X out", "Range", "Err" over 100 columns, then "<n> disp".
std::string HeaderText(const EditorBuffer& buf);
inline constexpr const char* kDroppedHeader = "0 disp";

enum class GridKey { PageUp, PageDown, Home, End, Up, Down };

// Moves the top and cursor rows for a key; false when the key does
// nothing (an empty list, or Up and Down outside transfer mode).
bool ApplyGridKey(EditorBuffer& buf, GridKey key, bool transferMode);
// The last page: top := last displayed row - 9 (at least 0), cursor := top.
void ScrollToEnd(EditorBuffer& buf);
// Empties the display list.
void DropAllRows(EditorBuffer& buf);
// The scroll bar moved to `position`: it becomes the top row.
void ScrollTo(EditorBuffer& buf, int position);
// The scroll bar's maximum: the last displayed row, 0 for an empty list.
int ScrollMaximum(const EditorBuffer& buf);

// A marker button: toggles the row's mark, or in transfer mode puts the
// cursor there. False when the grid row shows nothing.
bool MarkOrSetCursor(EditorBuffer& buf, int gridRow, bool transferMode);

// Stores the text typed into grid row `gridRow`'s X in (or Range) edit.
// Returns the text the edit then shows, or nothing when the text is no
// number (or a Range beyond the single range) and nothing was stored.
std::optional<std::string> CommitValue(EditorBuffer& buf, int gridRow, std::string_view text,
                                       bool range);

}  // namespace krv::pe
