// Taking values over from an older problem: the transfer window's rows and
// its one-by-one transfer, the auto-match by name from a problem file or a
// text listing, and update mode.
#include "problem_editor/DispMrgU.h"

#include <algorithm>

#include "platform/byte_io.h"
#include "platform/file_resolver.h"
#include "platform/text.h"
#include "platform/user_prompts.h"
#include "problem_editor/FormatReal.h"
#include "problem_editor/LDSAVE.h"
#include "problem_editor/text_listing.h"
#include "problem_editor/variable_grid.h"

namespace krv::pe {

namespace {

constexpr size_t kCaptionMax = 87;

void Report(const std::string& text) { platform::Prompts().ShowMessage(text); }

bool IsMask(std::string_view name) { return name.find_first_of("&*?") != std::string_view::npos; }

// Where Sequist keeps the replaced problem file of NAME: NAME.OLD.PRB.
std::string KeptCopyOf(const std::string& problemName) { return problemName + ".OLD.PRB"; }

}  // namespace

MergeRowView DrawMergeRow(const EditorBuffer& buf, int d) {
  MergeRowView v;
  if (d < 0 || d > buf.lastDisplayed) return v;
  const int i = buf.display[size_t(d)];
  const VariableRecord& r = buf.records[size_t(i)];
  v.caption = RecordCaption(i, r).substr(0, kCaptionMax);
  std::string xout = " ", range = " ", err = " ";
  switch (r.TypeCode) {
    case 0:
    case 1:
    case 4:
      xout = FormatReal(14, r.XOut());
      range = FormatReal(10, r.Range());
      err = ErrText(r);
      break;
    case 2:
    case 3:
      xout = std::string(13, ' ');
      range = FormatReal(10, r.Range());
      break;
    default:
      break;
  }
  v.values = std::string(r.Positive() ? "P" : " ") + "  " + FormatReal(14, r.XIn()) + " " + xout +
             " " + range + " " + err;
  v.marker = d == buf.cursor ? "I" : " ";
  return v;
}

std::string MergeCountText(const EditorBuffer& buf) {
  return platform::IntToString(buf.lastDisplayed + 1) + " disp";
}

bool TransferAtCursors(EditorSession& s) {
  if (!s.merge || s.merge->lastDisplayed < 0 || s.main.lastDisplayed < 0) return false;
  const VariableRecord& source = s.merge->AtRow(s.merge->cursor);
  VariableRecord& target = s.main.AtRow(s.main.cursor);
  target.block = source.block;
  target.SetPositiveConstraint(source.Positive());
  // On the last row a cursor stays where it is.
  ApplyGridKey(*s.merge, GridKey::Down, true);
  ApplyGridKey(s.main, GridKey::Down, true);
  s.modified = true;
  return true;
}

AutoMatcher::AutoMatcher(EditorBuffer& main, bool all) : main_(main), all_(all) {
  byName_.reserve(main.records.size());
  for (size_t i = 0; i < main.records.size(); ++i)
    byName_["_X." + platform::UpperAscii(main.records[i].name)].push_back(int(i));
}

bool AutoMatcher::Takes(int i) const { return all_ || main_.records[size_t(i)].Range() == 0; }

void AutoMatcher::ApplyMergeRecord(int i, const seq::PRBValueBlock& block) {
  VariableRecord& target = main_.records[size_t(i)];
  const float ownRange = target.Range();
  target.block = block;
  if (block.Range() == 0) target.SetRange(ownRange);
  // "P" in either case, as everywhere a problem file is read.
  target.SetPositiveConstraint(block.IsPositive());
  ++count_;
}

void AutoMatcher::Apply(const std::string& name, const seq::PRBValueBlock& block) {
  const int n = int(main_.records.size());
  if (n == 0) return;
  if (!IsMask(name)) {
    auto it = byName_.find(name);
    if (it == byName_.end()) return;
    // The equal records in the cyclic order from the search position.
    const std::vector<int>& same = it->second;
    auto from = std::lower_bound(same.begin(), same.end(), searchPos_);
    for (size_t k = 0; k < same.size(); ++k) {
      size_t at = size_t(from - same.begin()) + k;
      int i = same[at % same.size()];
      if (!Takes(i)) continue;
      ApplyMergeRecord(i, block);
      searchPos_ = i + 1 >= n ? 0 : i + 1;
      return;
    }
    return;
  }
  NameMask mask;
  if (!ParseNameMask(name, mask, true)) return;
  for (int k = 0; k < n; ++k) {
    int i = (searchPos_ + k) % n;
    if (MatchVarName(mask, main_.records[size_t(i)].name) && Takes(i)) ApplyMergeRecord(i, block);
  }
}

AutoMergeOutcome AutoMergeFile(EditorSession& s, MergeSourceKind kind, const std::string& path) {
  AutoMergeOutcome out;
  std::string bytes, reason;
  // Only a problem file has a largest size.
  const uint64_t limit = kind == MergeSourceKind::Prb ? seq::kMaxPrbFileBytes : UINT64_MAX;
  switch (platform::ReadFileBytes(path, bytes, limit, &reason)) {
    case platform::ReadOutcome::kRead:
      break;
    case platform::ReadOutcome::kTooLarge:
      Report(seq::PrbTooLargeMessage(path));
      return out;
    case platform::ReadOutcome::kUnreadable:
      Report(path + " missing: " + reason);
      return out;
  }
  out.chosen = true;
  AutoMatcher matcher(s.main, s.autoMatchAll);
  if (kind == MergeSourceKind::Prb) {
    // The records up to the "#" line, one by one: a V.4 file's header and
    // count are passed over, so the records read before any damage count.
    std::string records = bytes;
    if (bytes.starts_with("*")) {
      size_t end = bytes.find("\r\n");
      records = end == std::string::npos ? std::string()
                                         : "\r\n" + bytes.substr(std::min(end + 4, bytes.size()));
    }
    seq::PrbProblem source;
    seq::PrbReadOptions options;
    options.acceptOlderLayout = true;
    seq::PrbReadResult r = seq::ReadPrb(records, source, options);
    for (const seq::PrbVariable& v : source.variables)
      matcher.Apply("_X." + platform::UpperAscii(v.name.substr(0, kRecordNameMax)), v.block);
    out.dataFormError = !r.ok;
  } else {
    TextLines lines(bytes);
    TxtMergeRecord rec;
    for (;;) {
      TxtRead r = ReadTxtMergeRecord(lines, rec);
      if (r == TxtRead::End) break;
      if (r == TxtRead::Bad) {
        out.dataFormError = true;
        break;
      }
      matcher.Apply(rec.name, rec.block);
    }
  }
  if (out.dataFormError) Report(kDataFormError);
  out.merged = matcher.Count();
  if (out.merged > 0) s.modified = true;
  Report(platform::IntToString(out.merged) + " variables merged");
  return out;
}

std::optional<std::string> ChooseMergeSource(EditorSession& s, MergeSourceKind kind) {
  platform::FileDialogSpec desc;
  desc.mustExist = true;
  if (kind == MergeSourceKind::Prb) {
    s.updateName.clear();
    desc.title = "PRB file:";
    desc.filter = "PRB files|*.PRB";
    desc.defaultExt = "PRB";
    // Update mode starts on the copy a new sequencing kept, with the values.
    const std::string kept = KeptCopyOf(s.main.problemName);
    if (!s.startupDone && platform::FileExists(kept)) desc.fileName = kept;
  } else {
    desc.title = "Merge TXT";
    desc.filter = "TXT file|*.TXT";
    desc.defaultExt = "TXT";
  }
  // The path is kept whole: a cut one opens the wrong file.
  auto path = platform::Prompts().OpenFileName(desc);
  if (path && kind == MergeSourceKind::Prb && !s.startupDone && platform::FileExists(*path))
    s.updateName = path->size() >= 4 ? path->substr(0, path->size() - 4) : std::string();
  return path;
}

AutoMergeOutcome AutoMerge(EditorSession& s, MergeSourceKind kind) {
  auto path = ChooseMergeSource(s, kind);
  if (!path) return {};
  return AutoMergeFile(s, kind, *path);
}

UpdateResult UpdateFromOldProblem(EditorSession& s) {
  return FinishUpdate(s, AutoMerge(s, MergeSourceKind::Prb));
}

UpdateResult FinishUpdate(EditorSession& s, const AutoMergeOutcome& merged) {
  // Records after a broken one were never taken over: nothing is saved.
  if (merged.dataFormError) return UpdateResult::DataFormError;
  for (const VariableRecord& r : s.main.records) {
    if (r.TypeCode <= 4 && r.Range() == 0) {
      Report(kEmptyLeft);
      return UpdateResult::EmptyLeft;
    }
  }
  if (s.updateName.empty()) {
    Report(kUpdateFileProblem);
    return UpdateResult::NoFile;
  }
  // The kept copy stays; the result is the problem file the solver reads.
  std::string target = s.updateName;
  if (platform::SameFile(target + ".PRB", KeptCopyOf(s.main.problemName)) ||
      platform::SameFile(target, KeptCopyOf(s.main.problemName)))
    target = s.main.problemName;
  if (!s.SaveAs(target)) return UpdateResult::NotSaved;
  Report("Updated " + target);
  s.modified = false;
  return UpdateResult::Updated;
}

}  // namespace krv::pe
