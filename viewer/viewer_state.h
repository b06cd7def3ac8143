// Plotvane's one viewer state: the attached trajectory, its variable map,
// the time table, the current step and the display list.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "viewer/time_range.h"
#include "viewer/ttr_file.h"
#include "viewer/ttr_format.h"
#include "viewer/vnm_map.h"

namespace krv::view {

constexpr int kDisplayListSize = 22000;
constexpr int kDisplayLines = 16;

enum class AttachStatus {
  Attached,
  Failed,      // message shown, nothing attached
  EndProgram,  // a mark of an older format: the program ends
};

class ViewerState {
 public:
  ViewerState();

  // Attaches the file chosen in the open dialog (any earlier file is
  // detached first). Reports every refusal with its message.
  AttachStatus Attach(const std::string& chosen);
  // Re-reads the header of the attached file, which may have grown. The
  // file is detached, with a message, when it no longer passes the attach
  // checks or changed its mark or variable count. Keeps the display list.
  bool ReAttach();
  bool IsAttached() const { return !ttrPath_.empty(); }

  // Makes `jt` (clamped to the file's steps) the current step and reads
  // its values; false when nothing is attached or the read failed.
  bool GoToTimeStep(int32_t jt);
  // While the time bar is dragged: the step and its time move, the values
  // stay those of the step last read.
  void TrackTimeStep(int32_t jt);

  // The truncated copy to `target`: refused with "Cannot change original
  // file!" when it is the attached file itself (by identity, whatever the
  // spelling or links); false when refused or failed.
  bool CopyTruncated(const std::string& target);

  // Display list.
  void ClearDisplayList();
  // Appends `v`; false when the list is full.
  bool AddToDisplayList(int v);
  int Last() const { return int(displayList_.size()) - 1; }
  const std::vector<int16_t>& DisplayList() const { return displayList_; }
  int Top() const { return top_; }
  void SetTop(int top);
  // top := last - 13, at least 0.
  void ScrollListToEnd();

  // The values at the current step as a text file: per list entry the
  // code, a blank and the name, then the value; CR LF lines.
  std::string ValueListText() const;
  // Writes ValueListText to `path` (replaced whole or not at all); false,
  // with a message naming the file and the reason, on failure.
  bool SaveValueList(const std::string& path) const;

  // Texts of the window.
  std::string DisplayLineText(int line) const;
  std::string ButtonText(int line) const;
  std::string TimeLabelText() const;  // "_T =" ...
  std::string AtText() const;         // "at _JT=" ...
  std::string LowTimeText() const;
  std::string LowAtText() const;
  std::string HighTimeText() const;
  std::string HighAtText() const;

  // Attached file.
  const std::string& TTRPath() const { return ttrPath_; }
  const std::string& RootName() const { return rootName_; }
  const std::string& Label() const { return label_; }
  const std::string& VNMBase() const { return vnmBase_; }
  const TTRHeader& Header() const { return header_; }
  const TTRLayout& Layout() const { return layout_; }
  const TTRFile& File() const { return file_; }
  bool Is30995() const { return layout_.packed; }
  int D() const { return layout_.d; }
  int32_t JTmax() const { return header_.JTmax(); }
  const std::vector<VNMEntry>& Entries() const { return entries_; }
  const std::vector<uint8_t>& Kinds() const { return kinds_; }
  const std::vector<double>& TimeTable() const { return timeTable_; }

  // Current step.
  int32_t CurrentJT() const { return currentJT_; }
  double CurrentT() const { return currentT_; }
  const std::vector<float>& CurrentValues() const { return current_.values; }

  TimeRange& Range() { return range_; }
  const TimeRange& Range() const { return range_; }

  // Per variable: set while a plot window shows it.
  std::vector<uint8_t>& PlottedMarks() { return plotted_; }

  // First and last variable offered by the selection dialog.
  int16_t selectFirst = 0;
  int16_t selectLast = 0;
  // "Too many displayed X" may be shown (once per selection).
  bool tooManyNoticeAllowed = true;

 private:
  // Reads block 0 and applies the checks shared by attach and re-attach.
  bool ReadCheckedHeader();
  bool LoadTimeTable();
  void ReleaseAttachment();
  std::string LineVariableText(int v) const;
  float CurrentValue(int v) const;

  TTRFile file_;
  std::string ttrPath_;
  std::string rootName_;
  std::string label_;
  std::string vnmBase_;
  TTRHeader header_;
  TTRLayout layout_;
  std::vector<VNMEntry> entries_;
  std::vector<uint8_t> kinds_;
  std::vector<double> timeTable_;
  int32_t currentJT_ = 0;
  double currentT_ = 0;
  TTRRecord current_;
  std::vector<int16_t> displayList_;
  int top_ = 0;
  std::vector<uint8_t> plotted_;
  TimeRange range_;
};

// `t` as a fixed-point number of width 12 with 6 decimals, cut to 15.
std::string FixedTimeText(double t);

// The first plot window not in use, or -1 when every one is.
int FreePlotSlot(std::span<const bool> inUse);
// A plot window's caption: the code with its blank cut to 8, then the
// name; at most 87 characters.
std::string PlotCaption(const VNMEntry& e);

// The keys of the display list and the time bars. The list keys move the
// first line shown, the step keys the current step.
enum class NavKey { PageUp, PageDown, Home, End, LineUp, LineDown, StepBack, StepForward };

constexpr bool IsStepKey(NavKey key) {
  return key == NavKey::StepBack || key == NavKey::StepForward;
}
// The first line shown after a list key: a page is 14 lines, the list's
// ends bound it; `last` is the list's last entry. A step key keeps `top`.
int ListTopAfterKey(NavKey key, int top, int last);
// The step after a step key: one back or forward within r.lo..r.hi.
// Nothing at a bound (the step stays) and for a list key.
std::optional<int32_t> StepAfterKey(NavKey key, int32_t jt, const TimeRange& r);

}  // namespace krv::view
