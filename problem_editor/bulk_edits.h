// The "Edit" and "Drop" menus: commands over the marked rows of a display list.
#pragma once

#include "problem_editor/editor_buffer.h"

namespace krv::pe {

inline constexpr const char* kBulkXPrompt = "Enter new value for X of all selected vars =";
inline constexpr const char* kBulkRangePrompt = "Enter new value for Ranges of all selected vars =";
inline constexpr const char* kBulkConstraintQuestion = "Changing all selected vars constraints";
inline constexpr double kBulkProposedValue = 1.0;

// Marks (or unmarks) every displayed row.
void MarkAllRows(EditorBuffer& buf, bool on);

enum class BulkResult {
  Applied,  // the marked rows' records changed (Modified)
  Ignored,  // a Range of 0 or below: nothing changes, nothing is modified
  Refused,  // a Range beyond the single range: nothing changes (beep)
};

// X in (or Range) := `value` on the record of every marked row. A negative
// X in gives 0 on constrained records (codes 1 and 3); only a Range above
// 0 is applied.
BulkResult BulkSetValue(EditorBuffer& buf, double value, bool range);

// The constraint of every marked row's record on or off (codes 4..6 stay).
void BulkSetConstraint(EditorBuffer& buf, bool on);

// Removes the unmarked rows; the marked ones keep their order and marks.
void DropUnmarkedRows(EditorBuffer& buf);

}  // namespace krv::pe
