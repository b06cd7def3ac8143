// Adding variables to a display list by number range, name mask and kind.
#include "problem_editor/selection.h"

#include <optional>

#include "platform/text.h"
#include "platform/user_prompts.h"
#include "problem_editor/name_mask.h"
#include "problem_editor/value_entry.h"
#include "problem_editor/variable_grid.h"

namespace krv::pe {

std::optional<bool> FilterAccepts(const std::string& letters, int typeCode) {
  if (letters == "IO") return typeCode == 0 || typeCode == 1;
  if (letters == "IC") return typeCode == 2 || typeCode == 3;
  if (letters == "I*") return typeCode == 5;
  if (letters == "CO") return typeCode == 4;
  if (letters == "*O") return typeCode == 6;
  return std::nullopt;
}

void AddToDisplay(EditorBuffer& buf, int i, const SelectionRequest& req, bool& limitMessage) {
  if (buf.lastDisplayed >= kDisplayMax - 1) {
    if (limitMessage) platform::Prompts().ShowMessage(kTooManyDisplayed);
    limitMessage = false;
    return;
  }
  const VariableRecord& r = buf.records[size_t(i)];
  if (!req.anyVariables && req.mainBuffer && !(r.Range() == 0 && r.TypeCode <= 4)) return;
  ++buf.lastDisplayed;
  buf.display[size_t(buf.lastDisplayed)] = int16_t(i);
  buf.marks[size_t(buf.lastDisplayed)] = 1;
}

SelectionOutcome RunSelection(EditorBuffer& buf, const SelectionRequest& req) {
  SelectionOutcome out;
  if (req.dropAll) DropAllRows(buf);

  auto begin = ParseIndexValue(TrimBlanks(req.beginText), 0, buf.HighestIndex());
  auto end = ParseIndexValue(TrimBlanks(req.endText), 0, buf.HighestIndex());
  out.beginValid = begin.has_value();
  out.endValid = end.has_value();
  if (!begin || !end) return out;

  std::string text = platform::UpperAscii(req.maskText.substr(0, kMaskTextMax));
  buf.beginNumber = *begin;
  buf.endNumber = *end;
  if (text.empty()) {
    out.accepted = true;
    return out;
  }
  size_t from = text.find_first_not_of(' ');
  if (from == std::string::npos) from = text.size();

  std::optional<std::string> filter;
  size_t open = text.find('(');
  if (open != std::string::npos) {
    size_t close = text.find(')');
    if (close == std::string::npos) return out;
    filter = text.substr(open + 1, 2);
    if (!FilterAccepts(*filter, 0)) return out;
    from = close + 1;
  }

  NameMask mask;
  if (!SetNameMask(std::string_view(text).substr(from), mask)) return out;

  bool limitMessage = true;
  bool nameErrorShown = false;
  for (int j = *begin; j <= *end; ++j) {
    const VariableRecord& r = buf.records[size_t(j)];
    if (filter && !*FilterAccepts(*filter, r.TypeCode)) continue;
    bool badName = false;
    bool match = MatchVarName(mask, r.name, &badName);
    // One report per run: a damaged file must not raise a box per name.
    if (badName && !nameErrorShown) {
      platform::Prompts().ShowMessage(kNameSyntaxErr);
      nameErrorShown = true;
    }
    if (match) AddToDisplay(buf, j, req, limitMessage);
  }
  out.accepted = true;
  return out;
}

}  // namespace krv::pe
