// The problem editor's program state and its file commands.
#include "problem_editor/EPROCS.h"

#include <algorithm>

#include "problem_editor/LDSAVE.h"

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

bool EditorSession::SaveAs(const std::string& name) {
  if (!SaveProblemFile(main, name)) return false;
  caption = "Casewright--" + main.problemName;
  modified = false;
  return true;
}

std::string EditorSession::ViewLabelText() const { return ("Label=" + label).substr(0, 65); }

}  // namespace krv::pe
