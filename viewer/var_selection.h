// The viewer's variable selection: a number range, a name mask and an
// optional kind filter, appended to the display list.
#pragma once

#include <string>
#include <string_view>

#include "viewer/viewer_state.h"

namespace krv::view {

struct SelectionTexts {
  std::string first;
  std::string last;
  std::string mask;
  std::string caption;
};

// What the dialog shows when it opens.
SelectionTexts SelectionOpening(const ViewerState& viewer);

struct SelectionResult {
  bool valid = false;
  bool resetFirst = false;  // the field goes back to its opening text
  bool resetLast = false;
};

// Adds every variable from `first` to `last` whose kind and name match.
// An invalid entry beeps (and shows "Name syntax err" for a bad mask) and
// adds nothing.
SelectionResult SelectVariables(ViewerState& viewer, std::string_view first, std::string_view last,
                                std::string_view mask);

// Appends `v`; a full list shows "Too many displayed X" once per selection.
void AddToDisplayList(ViewerState& viewer, int v);

}  // namespace krv::view
