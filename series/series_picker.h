// The series and DSDir pickers without their windows: the picker's state,
// its drop-down list and the path of a node picked in the tree.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "series/series_store.h"

namespace krv::series {

struct PickerState {
  std::string rememberedPath;  // shown when the dialog opens
  bool dsdirMode = false;      // DSDirs rather than series
  bool singleMode = false;     // exactly one series or DSDir, no wildcards
  std::string prompt = "Specify series:";
  std::string caption = "Select of series in DSF";
};

bool HasWildcard(std::string_view path);

// PickSeriesText's and PickSeriesOrDSDir's set-up of the state.
void BeginPickText(PickerState& state, std::string_view lastPath, std::string_view prompt);
void BeginPickOne(PickerState& state, bool dsdirMode, std::string_view lastPath,
                  std::string_view prompt);
// In single mode OK with wildcards shows the dialog again: false then.
bool PickerAccepts(const PickerState& state, std::string_view text);

// The drop-down list for a typed path: the store's matches when the text
// holds a wildcard, nothing otherwise.
std::vector<std::string> PickerDropDown(SeriesStore& store, const PickerState& state,
                                        std::string_view text);

// The dotted path of the node reached from the tree's root by the child
// positions `chosen`; empty when nothing or the root is chosen.
std::string PickTreePath(const TreeNode& root, const std::vector<int>& chosen, bool singleMode);

}  // namespace krv::series
