// The "Edit" and "Drop" menus: commands over the marked rows of a display list.
#include "problem_editor/bulk_edits.h"

#include <limits>

namespace krv::pe {

void MarkAllRows(EditorBuffer& buf, bool on) {
  for (int d = 0; d <= buf.lastDisplayed; ++d) buf.marks[size_t(d)] = on ? 1 : 0;
}

BulkResult BulkSetValue(EditorBuffer& buf, double value, bool range) {
  if (range) {
    if (!(value > 0)) return BulkResult::Ignored;
    // A single cannot hold it: storing would give infinity.
    if (value > double(std::numeric_limits<float>::max())) return BulkResult::Refused;
  }
  for (int d = 0; d <= buf.lastDisplayed; ++d) {
    if (!buf.marks[size_t(d)]) continue;
    VariableRecord& r = buf.AtRow(d);
    if (range)
      r.SetRange(float(value));
    else
      r.SetXIn(value < 0 && r.Positive() ? 0.0 : value);
  }
  return BulkResult::Applied;
}

void BulkSetConstraint(EditorBuffer& buf, bool on) {
  for (int d = 0; d <= buf.lastDisplayed; ++d) {
    if (!buf.marks[size_t(d)]) continue;
    VariableRecord& r = buf.AtRow(d);
    r.SetPositiveConstraint(on);
  }
}

void DropUnmarkedRows(EditorBuffer& buf) {
  int kept = 0;
  for (int d = 0; d <= buf.lastDisplayed; ++d) {
    if (!buf.marks[size_t(d)]) continue;
    buf.display[size_t(kept)] = buf.display[size_t(d)];
    buf.marks[size_t(kept)] = 1;
    ++kept;
  }
  buf.lastDisplayed = kept - 1;
}

}  // namespace krv::pe
