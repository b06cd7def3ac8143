// The series and DSDir pickers without their windows.
#include "series/series_picker.h"

namespace krv::series {

bool HasWildcard(std::string_view path) { return path.find_first_of("&*?") != std::string_view::npos; }

void BeginPickText(PickerState& state, std::string_view lastPath, std::string_view prompt) {
  state.dsdirMode = false;
  state.singleMode = false;
  state.rememberedPath = std::string(lastPath.substr(0, kShortMax));
  state.prompt = std::string(prompt.substr(0, 35));
}

void BeginPickOne(PickerState& state, bool dsdirMode, std::string_view lastPath,
                  std::string_view prompt) {
  state.dsdirMode = dsdirMode;
  state.singleMode = true;
  state.caption = dsdirMode ? "Select a DSDir in DSF" : "Select one series in DSF";
  state.rememberedPath = std::string(lastPath.substr(0, kShortMax));
  state.prompt = std::string(prompt.substr(0, 35));
}

bool PickerAccepts(const PickerState& state, std::string_view text) {
  return !state.singleMode || !HasWildcard(text);
}

std::vector<std::string> PickerDropDown(SeriesStore& store, const PickerState& state,
                                        std::string_view text) {
  store.PickerList.clear();
  if (!HasWildcard(text)) return {};
  std::string path(text.substr(0, kShortMax));
  if (state.dsdirMode)
    store.FillDSDirCombo(path);
  else
    store.FillSeriesCombo(path);
  std::vector<std::string> list;
  list.swap(store.PickerList);
  return list;
}

std::string PickTreePath(const TreeNode& root, const std::vector<int>& chosen, bool singleMode) {
  if (chosen.empty()) return {};
  const TreeNode* node = &root;
  std::string path;
  for (size_t k = 0; k < chosen.size(); ++k) {
    if (chosen[k] < 0 || size_t(chosen[k]) >= node->children.size()) return {};
    node = &node->children[size_t(chosen[k])];
    path += (k ? "." : "") + node->caption;
  }
  // A DSDir with entries stands for everything below it, unless one is wanted.
  if (!node->children.empty() && !singleMode) path += "&";
  return "." + path;
}

}  // namespace krv::series
