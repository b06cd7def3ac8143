// Adding variables to a display list by number range, name mask and kind.
#pragma once

#include <optional>
#include <string>

#include "problem_editor/editor_buffer.h"

namespace krv::pe {

inline constexpr const char* kTooManyDisplayed = "Too many displayed X";

struct SelectionRequest {
  std::string beginText;
  std::string endText;
  std::string maskText;  // an optional "(XY)" kind filter, then the mask
  bool dropAll = false;
  bool mainBuffer = true;    // "Empty only" applies to the main buffer only
  bool anyVariables = true;  // false: "Empty only"
};

struct SelectionOutcome {
  bool accepted = false;  // false: the entry was refused (the caller beeps)
  bool beginValid = false;
  bool endValid = false;
};

// Whether the kind filter letters accept a type code; nothing when the
// letters are none of "IO", "IC", "I*", "CO", "*O".
std::optional<bool> FilterAccepts(const std::string& letters, int typeCode);

// Runs the selection dialog's OK on `buf`: empties the list first when
// asked, checks both numbers (0..N), parses the filter and mask and
// appends every matching record of the range, marked. Messages: "Name
// syntax err" and "Too many displayed X" (once per run).
SelectionOutcome RunSelection(EditorBuffer& buf, const SelectionRequest& req);

// Appends record `i` to the list; `limitMessage` allows the one message
// when the list is full.
void AddToDisplay(EditorBuffer& buf, int i, const SelectionRequest& req, bool& limitMessage);

}  // namespace krv::pe
