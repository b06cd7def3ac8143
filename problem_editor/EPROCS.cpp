// The problem editor's program state and its file commands.
#include "problem_editor/EPROCS.h"

#include <algorithm>

#include "platform/text.h"
#include "platform/user_prompts.h"
#include "problem_editor/LDSAVE.h"
#include "problem_editor/file_on_disk.h"

namespace krv::pe {

std::string RemovePrbExtension(const std::string& fileName) {
  size_t a = fileName.find(".PRB");
  size_t b = fileName.find(".prb");
  size_t at = std::min(a, b);
  return at == std::string::npos ? fileName : fileName.substr(0, at);
}

bool EditorSession::Validate(const std::string& path, bool mergeSource) {
  return ValidatePrbFile(path, mergeSource, headerBuffer);
}

bool EditorSession::LoadProblem(const std::string& path) {
  if (!LoadProblemFile(path, false, main)) return false;
  label = headerBuffer.substr(0, kLabelMax);
  caption = "Casewright--" + path;
  main.lastDisplayed = -1;
  main.top = 0;
  main.cursor = 0;
  modified = false;
  loaded = true;
  return true;
}

bool EditorSession::LoadFromCommandLine(const std::string& path) {
  return Validate(path) && LoadProblem(path);
}

bool EditorSession::TakeSolverResults() {
  return loaded && TakeSolverValues(main, CheckProblemOnDisk(main));
}

// Whether the file on disk lets the save go ahead; takes its X out.
static bool ReadyToSave(EditorBuffer& main, const std::string& name) {
  DiskCheck disk = CheckProblemOnDisk(main);
  TakeSolverValues(main, disk);
  if (!SavesOverSource(main, name)) return true;
  const std::string file = main.problemName + ".PRB";
  auto& prompts = platform::Prompts();
  switch (disk.state) {
    case DiskState::Unchanged:
    case DiskState::Missing:
      return true;
    case DiskState::Unreadable:
      prompts.ShowMessage("Cannot read " + file + ": " + disk.reason + "; nothing was saved.");
      return false;
    case DiskState::OtherLayout:
      prompts.ShowMessage(file + " has been rewritten with other variables or another ordering "
                          "since it was loaded: nothing was saved under that name.");
      return false;
    case DiskState::SameLayout:
      break;
  }
  if (disk.inputsChanged == 0) return true;
  return prompts.Confirm(file + " was saved by another program since it was loaded: X in, "
                         "Range or constraint of " + platform::IntToString(disk.inputsChanged) +
                         " variable(s) differ there. Replace them with the values shown here?");
}

bool EditorSession::SaveAs(const std::string& name) {
  if (!ReadyToSave(main, name)) return false;
  if (!SaveProblemFile(main, name)) return false;
  caption = "Casewright--" + main.problemName;
  modified = false;
  return true;
}

std::string EditorSession::ViewLabelText() const { return ("Label=" + label).substr(0, 65); }

}  // namespace krv::pe
