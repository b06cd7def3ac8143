// The problem file on disk against the one the editor loaded: the solver
// writes X out into it while it is open, and another editor may save over
// it. Saves and the window's activation look here first.
#pragma once

#include <string>

#include "problem_editor/editor_buffer.h"

namespace krv::pe {

enum class DiskState {
  Unchanged,    // the bytes loaded or last saved
  Missing,      // no file under the problem name
  Unreadable,   // there, but it cannot be read
  OtherLayout,  // other names, another ordering, or damaged
  SameLayout,   // only value blocks differ
};

struct DiskCheck {
  DiskState state = DiskState::Unchanged;
  EditorBuffer disk;       // the file as it is now, for SameLayout
  int inputsChanged = 0;   // records whose X in, Range or constraint differ
                           // from what the editor loaded
  std::string reason;      // the system's, for Unreadable
};

// Compares the problem file of `buf` with the bytes it was loaded from.
DiskCheck CheckProblemOnDisk(const EditorBuffer& buf);

// Takes the solver's part of every value block (the fourth value and
// X out) from the file on disk. True when a record changed.
bool TakeSolverValues(EditorBuffer& buf, const DiskCheck& check);

}  // namespace krv::pe
