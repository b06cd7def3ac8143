// Plotvane's one viewer state.
#include "viewer/viewer_state.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "platform/byte_io.h"
#include "platform/file_resolver.h"
#include "platform/text.h"
#include "platform/user_prompts.h"
#include "preprocessor/vnm_reader.h"
#include "problem_editor/FormatReal.h"
#include "viewer/ttr_copy.h"

namespace krv::view {

using platform::IntToString;

static void Show(const std::string& text) { platform::Prompts().ShowMessage(text); }

static std::string Cut(std::string s, size_t limit) {
  if (s.size() > limit) s.resize(limit);
  return s;
}

std::string FixedTimeText(double t) {
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, t, std::chars_format::fixed, 6);
  std::string s = r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("?");
  return Cut(platform::PadLeft(s, 12), 15);
}

// The path without its extension: cut before the first ".TTR", else the
// first ".ttr", of the file name part; a directory name never takes part.
static std::string StripTTRExtension(const std::string& chosen, bool& extAtEnd) {
  size_t nameStart = chosen.find_last_of('/');
  nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
  size_t p = chosen.find(".TTR", nameStart);
  if (p == std::string::npos) p = chosen.find(".ttr", nameStart);
  extAtEnd = p != std::string::npos && p + 4 == chosen.size();
  return p == std::string::npos ? chosen : chosen.substr(0, p);
}

static std::string RootNameOf(const std::string& path) {
  size_t p = path.find_last_of("/\\");
  return Cut(p == std::string::npos ? path : path.substr(p + 1), 31);
}

ViewerState::ViewerState() : plotted_(size_t(kMaxVariables), 0) {
  displayList_.reserve(kDisplayListSize);
}

void ViewerState::ReleaseAttachment() {
  file_.Close();
  ttrPath_.clear();
  timeTable_.clear();
  timeTable_.shrink_to_fit();
  header_.SetJTmax(-1);
}

bool ViewerState::ReadCheckedHeader() {
  if (!file_.ReadHeader(header_)) {
    Show("File empty or damaged");
    return false;
  }
  header_.Normalize();
  int d = header_.D();
  if (d < 0) {
    Show("File empty or damaged");
    return false;
  }
  if (d >= kMaxVariables) {
    Show("Too many variables in " + file_.Path() + " (" + IntToString(d + 1LL) +
         "; at most 11000)");
    return false;
  }
  TTRLayout layout = TTRLayout::ForHeader(header_);
  if (header_.JTmax() < 0) {
    Show("File empty or damaged");
    return false;
  }
  // Only whole records are used: a header may count records that the file
  // does not (yet) hold.
  int64_t records = (file_.BlockCount() - 1) / layout.r;
  if (records <= 0) {
    Show("File empty or damaged");
    return false;
  }
  if (int64_t(header_.JTmax()) >= records) {
    Show("Only records up to _JT=" + IntToString(records - 1) + " of " +
         IntToString(header_.JTmax()) + " are complete in " + file_.Path());
    header_.SetJTmax(int32_t(records - 1));
  }
  return true;
}

AttachStatus ViewerState::Attach(const std::string& chosen) {
  bool extAtEnd = false;
  std::string path = StripTTRExtension(chosen, extAtEnd);
  if (IsAttached()) ReleaseAttachment();

  // The file chosen is opened as it is spelled; a cut name gets ".TTR".
  std::string openName = platform::ResolvePath(extAtEnd ? chosen : path + ".TTR");
  if (!file_.Open(openName)) {
    // The system's text, then the file as it was looked for and why.
    Show("No file\n" + openName + ": " + file_.LastError());
    ReleaseAttachment();
    return AttachStatus::Failed;
  }
  TTRHeader peek;
  if (file_.ReadHeader(peek) && !IsKnownMark(peek.Mark())) {
    Show("OLD TTR FILE FORMAT, MUST CONVERT");
    ReleaseAttachment();
    return AttachStatus::EndProgram;
  }
  if (!ReadCheckedHeader()) {
    ReleaseAttachment();
    return AttachStatus::Failed;
  }
  layout_ = TTRLayout::ForHeader(header_);
  label_ = header_.Label();
  vnmBase_ = label_.size() > 21 ? label_.substr(21, 18) : std::string();

  // The map lies beside the trajectory, named by the compile label.
  std::string vnmPath =
      platform::JoinPath(platform::DirName(openName), vnmBase_ + ".VNM");
  std::string vnmText;
  platform::ReadOutcome read = platform::ReadFileBytes(vnmPath, vnmText, pp::kMaxVariableMapBytes);
  if (read == platform::ReadOutcome::kTooLarge) {
    ReleaseAttachment();
    Show(pp::MapTooLargeMessage(vnmPath));
    return AttachStatus::Failed;
  }
  if (read != platform::ReadOutcome::kRead) {
    std::string reason = std::strerror(errno);
    ReleaseAttachment();
    Show("Error -- No VNM file present\n" + vnmPath + ": " + reason);
    return AttachStatus::Failed;
  }
  ReadVNMEntries(vnmText, layout_.d, entries_, kinds_);
  ttrPath_ = path;
  rootName_ = RootNameOf(path);
  if (!LoadTimeTable()) {
    ReleaseAttachment();
    return AttachStatus::Failed;
  }
  ClearDisplayList();
  selectFirst = 0;
  selectLast = int16_t(layout_.d);
  return AttachStatus::Attached;
}

bool ViewerState::ReAttach() {
  if (!IsAttached()) return false;
  timeTable_.clear();
  int16_t mark = header_.Mark();
  int d = layout_.d;
  // A trajectory deleted and written anew under the attached name (the
  // solver's next run) is another file: read that one, not the old one
  // still held open.
  std::string path = file_.Path();
  if (!file_.Reopen()) {
    Show("No file " + path + ": " + file_.LastError());
    ReleaseAttachment();
    return false;
  }
  if (!ReadCheckedHeader()) {
    ReleaseAttachment();
    return false;
  }
  if (header_.Mark() != mark || header_.D() != d) {
    Show("The layout of " + file_.Path() + " has changed; attach it again");
    ReleaseAttachment();
    return false;
  }
  if (!LoadTimeTable()) {
    ReleaseAttachment();
    return false;
  }
  return true;
}

bool ViewerState::LoadTimeTable() {
  int32_t jtmax = header_.JTmax();
  assert(jtmax >= 0);
  timeTable_.assign(size_t(jtmax) + 1, 0.0);
  for (int32_t jt = 0; jt <= jtmax; ++jt) {
    if (!ReadTTRTime(file_, layout_, jt, timeTable_[size_t(jt)])) return false;
  }
  range_.lo = 0;
  range_.hi = jtmax;
  range_.density = DefaultDensity(jtmax);
  range_.Update();
  currentJT_ = 0;
  if (!ReadTTRRecord(file_, layout_, range_.lo, current_)) return false;
  currentT_ = current_.t;
  return true;
}

bool ViewerState::GoToTimeStep(int32_t jt) {
  if (!IsAttached()) return false;
  currentJT_ = std::clamp<int32_t>(jt, 0, JTmax());
  currentT_ = timeTable_[size_t(currentJT_)];
  if (!ReadTTRRecord(file_, layout_, currentJT_, current_)) {
    current_.values.assign(size_t(layout_.d) + 1, 0.0f);
    return false;
  }
  return true;
}

void ViewerState::TrackTimeStep(int32_t jt) {
  if (!IsAttached()) return;
  currentJT_ = std::clamp<int32_t>(jt, 0, JTmax());
  currentT_ = timeTable_[size_t(currentJT_)];
}

bool ViewerState::CopyTruncated(const std::string& target) {
  if (!IsAttached()) return false;
  // Identity, not spelling: "./X.TTR", another case or a link is the same file.
  if (platform::SameFile(target, file_.Path()) ||
      platform::EqualsCaseBlind(target, ttrPath_ + ".TTR")) {
    Show("Cannot change original file!");
    return false;
  }
  return CopyTruncatedTTR(file_, layout_, header_, currentJT_, target);
}

void ViewerState::ClearDisplayList() {
  displayList_.clear();
  top_ = 0;
}

bool ViewerState::AddToDisplayList(int v) {
  assert(v >= 0 && v < kMaxVariables);
  if (int(displayList_.size()) >= kDisplayListSize) return false;
  displayList_.push_back(int16_t(v));
  return true;
}

void ViewerState::SetTop(int top) { top_ = std::clamp(top, 0, std::max(0, Last())); }

void ViewerState::ScrollListToEnd() { top_ = std::max(0, Last() - 13); }

// The code and its blank; codes of five-digit numbers are one wider, keep
// their blank.
static std::string CodeField(const VNMEntry& e) {
  return Cut(e.code + " ", std::max<size_t>(8, e.code.size() + 1));
}

float ViewerState::CurrentValue(int v) const {
  return size_t(v) < current_.values.size() ? current_.values[size_t(v)] : 0.0f;
}

std::string ViewerState::ValueListText() const {
  std::string out;
  for (int16_t v : displayList_) {
    const VNMEntry& e = entries_[size_t(v)];
    out += Cut(CodeField(e) + e.name, 87) + "\r\n";
    out += pe::FormatReal(13, double(CurrentValue(v))) + "\r\n";
  }
  return out;
}

bool ViewerState::SaveValueList(const std::string& path) const {
  std::string error;
  if (platform::WriteFileAtomic(path, ValueListText(), &error)) return true;
  Show(error.empty() ? "Cannot write " + path : error);
  return false;
}

std::string ViewerState::LineVariableText(int v) const {
  const VNMEntry& e = entries_[size_t(v)];
  std::string s = Cut(CodeField(e) + pe::FormatReal(13, double(CurrentValue(v))), 39);
  s = Cut(s + " ", 40);
  return Cut(s + e.name, 119);
}

std::string ViewerState::DisplayLineText(int line) const {
  int k = top_ + line;
  if (k > Last() || !IsAttached()) return " ";
  return LineVariableText(displayList_[size_t(k)]);
}

std::string ViewerState::ButtonText(int line) const {
  int k = top_ + line;
  if (k > Last() || !IsAttached()) return " ";
  return plotted_[size_t(displayList_[size_t(k)])] ? "x" : " ";
}

std::string ViewerState::TimeLabelText() const { return "_T =" + FixedTimeText(currentT_); }
std::string ViewerState::AtText() const { return "at _JT=" + IntToString(currentJT_); }

static double TimeAt(const std::vector<double>& table, int32_t jt) {
  return jt >= 0 && size_t(jt) < table.size() ? table[size_t(jt)] : 0.0;
}

std::string ViewerState::LowTimeText() const {
  return "Low _T =" + FixedTimeText(TimeAt(timeTable_, range_.lo));
}
std::string ViewerState::LowAtText() const { return "at _JT=" + IntToString(range_.lo); }
std::string ViewerState::HighTimeText() const {
  return "Hi _T =" + FixedTimeText(TimeAt(timeTable_, range_.hi));
}
std::string ViewerState::HighAtText() const { return "at _JT=" + IntToString(range_.hi); }

int FreePlotSlot(std::span<const bool> inUse) {
  for (size_t i = 0; i < inUse.size(); ++i)
    if (!inUse[i]) return int(i);
  return -1;
}

std::string PlotCaption(const VNMEntry& e) { return Cut(Cut(e.code + " ", 8) + e.name, 87); }

int ListTopAfterKey(NavKey key, int top, int last) {
  constexpr int kPage = 14;
  switch (key) {
    case NavKey::PageUp: return std::max(0, top - kPage);
    case NavKey::PageDown: return std::min(last, top + kPage);
    case NavKey::Home: return 0;
    case NavKey::End: return last;
    case NavKey::LineUp: return std::max(0, top - 1);
    case NavKey::LineDown: return std::min(last, top + 1);
    case NavKey::StepBack:
    case NavKey::StepForward: break;
  }
  return top;
}

std::optional<int32_t> StepAfterKey(NavKey key, int32_t jt, const TimeRange& r) {
  if (key == NavKey::StepBack && jt > r.lo) return jt - 1;
  if (key == NavKey::StepForward && jt < r.hi) return jt + 1;
  return std::nullopt;
}

}  // namespace krv::view
