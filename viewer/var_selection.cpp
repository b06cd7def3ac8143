// The viewer's variable selection.
#include "viewer/var_selection.h"

#include <optional>

#include "platform/text.h"
#include "platform/user_prompts.h"
#include "problem_editor/name_mask.h"

namespace krv::view {

using platform::IntToString;

SelectionTexts SelectionOpening(const ViewerState& viewer) {
  return {IntToString(viewer.selectFirst), IntToString(viewer.selectLast), "&",
          "Variable Selection: (max " + IntToString(viewer.D()) + ")"};
}

static std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

static std::optional<int> VariableNumber(std::string_view text, int d) {
  auto v = platform::ParseInt(TrimBlanks(text.substr(0, 31)));
  if (!v || *v < 0 || *v > d) return std::nullopt;
  return int(*v);
}

// The kind number a filter code selects, or -1 for an unknown code.
static int KindOfCode(std::string_view code) {
  static const char* const kCodes[] = {"IO", "IC", "CO", "I*", "*O"};
  for (int k = 0; k < 5; ++k)
    if (code == kCodes[k]) return k;
  return -1;
}

void AddToDisplayList(ViewerState& viewer, int v) {
  if (viewer.AddToDisplayList(v)) return;
  if (viewer.tooManyNoticeAllowed) {
    platform::Prompts().ShowMessage("Too many displayed X");
    viewer.tooManyNoticeAllowed = false;
  }
}

static SelectionResult Invalid(SelectionResult r) {
  platform::Prompts().Beep();
  r.valid = false;
  return r;
}

SelectionResult SelectVariables(ViewerState& viewer, std::string_view firstText,
                                std::string_view lastText, std::string_view maskText) {
  SelectionResult r;
  auto first = VariableNumber(firstText, viewer.D());
  auto last = VariableNumber(lastText, viewer.D());
  r.resetFirst = !first;
  r.resetLast = !last;
  if (!first || !last || !viewer.IsAttached()) return Invalid(r);

  viewer.selectFirst = int16_t(*first);
  viewer.selectLast = int16_t(*last);
  viewer.tooManyNoticeAllowed = true;
  std::string mask = platform::UpperAscii(maskText.substr(0, pe::kMaskTextMax));
  r.valid = true;
  if (mask.empty()) return r;

  int kind = -1;
  std::string_view proper = mask;
  size_t open = mask.find('(');
  if (open != std::string::npos) {
    size_t close = mask.find(')');
    if (close == std::string::npos) return Invalid(r);
    kind = KindOfCode(std::string_view(mask).substr(open + 1, 2));
    if (kind < 0) return Invalid(r);
    proper = std::string_view(mask).substr(close + 1);
  }
  pe::NameMask nameMask;
  if (!pe::SetNameMask(proper, nameMask)) return Invalid(r);

  const auto& entries = viewer.Entries();
  const auto& kinds = viewer.Kinds();
  for (int j = *first; j <= *last; ++j) {
    if (kind >= 0 && kinds[size_t(j)] != kind) continue;
    std::string_view name = entries[size_t(j)].name;
    // Map names begin with "_X."; the matcher adds it itself.
    if (name.substr(0, 3) == "_X.") name.remove_prefix(3);
    if (pe::MatchVarName(nameMask, name)) AddToDisplayList(viewer, j);
  }
  return r;
}

}  // namespace krv::view
