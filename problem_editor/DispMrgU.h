// Taking values over from an older problem: the transfer window's rows and
// its one-by-one transfer, the auto-match by name from a problem file or a
// text listing, and update mode.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "problem_editor/EPROCS.h"
#include "problem_editor/name_mask.h"

namespace krv::pe {

constexpr int kMergeRows = 4;
inline constexpr const char* kMergeCaption = "Merge";
inline constexpr const char* kDataFormError = "Data form error";
inline constexpr const char* kEmptyLeft = "Some variables empty, need to add.";
inline constexpr const char* kUpdateFileProblem = "Update file problem";

// The transfer window's row `d` of `buf`: the caption as the main grid's,
// the value line and the cursor marker. Blank past the end.
struct MergeRowView {
  std::string marker = " ";
  std::string caption = " ";
  std::string values = " ";
};
MergeRowView DrawMergeRow(const EditorBuffer& buf, int d);
// The count label: the number of rows and " disp".
std::string MergeCountText(const EditorBuffer& buf);

// "&Merge (F7)": the value block of the source record at the transfer
// cursor onto the main record at the main cursor, the constraint with it;
// then both cursors move down one row where they can. False (nothing done)
// while either list is empty.
bool TransferAtCursors(EditorSession& s);

// Matching source records onto the main records by name, in the order
// the cyclic search gives: each exact name is looked for from the record
// after the last exact match, once around. An index from names to records
// finds the same record the search would without walking every record.
class AutoMatcher {
 public:
  AutoMatcher(EditorBuffer& main, bool all);
  // Applies one source record (upper-case name: "_X." + name, or a mask).
  // A mask with a syntax error reports "Name syntax err" and is skipped.
  void Apply(const std::string& name, const seq::PRBValueBlock& block);
  int Count() const { return count_; }

 private:
  bool Takes(int i) const;
  void ApplyMergeRecord(int i, const seq::PRBValueBlock& block);

  EditorBuffer& main_;
  bool all_;
  int searchPos_ = 0;
  int count_ = 0;
  std::unordered_map<std::string, std::vector<int>> byName_;  // ascending indexes
};

enum class MergeSourceKind { Prb, Txt };

struct AutoMergeOutcome {
  bool chosen = false;        // a file was chosen (and opened)
  bool dataFormError = false;
  int merged = 0;
};

// Auto-match from the file `path` into the main problem; reports " missing",
// "Data form error", "Name syntax err" and the count of merged variables.
AutoMergeOutcome AutoMergeFile(EditorSession& s, MergeSourceKind kind, const std::string& path);
// The open dialog of an auto-match; nothing when cancelled. Before the
// message loop runs, a PRB source's name becomes the update name.
std::optional<std::string> ChooseMergeSource(EditorSession& s, MergeSourceKind kind);
// ChooseMergeSource, then AutoMergeFile.
AutoMergeOutcome AutoMerge(EditorSession& s, MergeSourceKind kind);

enum class UpdateResult {
  Updated,        // saved; the program ends
  EmptyLeft,      // variables still empty: the window stays open
  DataFormError,  // the source broke off: nothing saved, the window stays
  NotSaved,       // the save failed (reported): the window stays
  NoFile,         // no old file was taken: "Update file problem"
};
// Update mode: auto-match from the old problem the modeller picks (the
// dialog starts on the copy Sequist kept, NAME.OLD.PRB, when it is there),
// then save. A chosen kept copy gives NAME.PRB through the backup
// rotation; any other chosen file is replaced.
UpdateResult UpdateFromOldProblem(EditorSession& s);
// The steps of update mode after the auto-match, for a window that runs the
// match itself (under its hourglass).
UpdateResult FinishUpdate(EditorSession& s, const AutoMergeOutcome& merged);

}  // namespace krv::pe
