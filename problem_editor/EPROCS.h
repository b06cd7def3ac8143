// The problem editor's program state and its file commands.
#pragma once

#include <memory>
#include <string>

#include "problem_editor/editor_buffer.h"

namespace krv::pe {

inline constexpr const char* kStartCaption = "Casewright for v. 6 :";
inline constexpr const char* kCloseWithoutSaving = "Close without saving?";
constexpr size_t kLabelMax = 59;

// A dialog's file name without its extension: everything from the first
// ".PRB" or ".prb" on is removed; any other spelling stays in the name.
std::string RemovePrbExtension(const std::string& fileName);

class EditorSession {
 public:
  EditorBuffer main;
  std::unique_ptr<EditorBuffer> merge;  // the transfer window's source

  bool modified = false;
  bool transferMode = false;
  bool autoMatchAll = true;
  bool anyVariables = true;
  bool startupDone = false;
  bool loaded = false;  // a problem is in the main buffer
  std::string updateName;
  std::string headerBuffer;  // header of the last validated file, without "*"
  std::string label;         // the loaded problem's header, shown by ViewLabel
  std::string caption = kStartCaption;

  // Validation as the load dialog does it ("NO FILE", "NOT A V.4 FILE").
  bool Validate(const std::string& path, bool mergeSource = false);
  // Loads `path` + ".PRB" as the main problem. A failed load keeps the
  // problem that was loaded before.
  bool LoadProblem(const std::string& path);
  // The start-up load from the command line: validated like the dialog.
  bool LoadFromCommandLine(const std::string& path);
  // Saves the main problem under `name` (without extension); clears
  // Modified on success and follows a new name in the caption. First the
  // problem file on disk is looked at: X out that the solver wrote there
  // since the load is taken in; when another program saved other X in,
  // Range or constraints there, the save asks before replacing them; a
  // file rewritten with another layout is not saved over.
  bool SaveAs(const std::string& name);
  // X out that the solver wrote into the problem file since it was loaded,
  // taken in without asking. True when a record changed.
  bool TakeSolverResults();
  std::string ViewLabelText() const;
};

}  // namespace krv::pe
