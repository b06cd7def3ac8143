// The least-squares set-up: the source scan, the check against the store
// and the data-control dialog's commands.
#include "series/LSQU.h"

#include <unistd.h>

#include <algorithm>

#include "platform/file_resolver.h"
#include "platform/hourglass.h"
#include "platform/text.h"
#include "platform/user_prompts.h"
#include "series/WkUnit.h"

namespace krv::series {

using platform::EqualsCaseBlind;
using platform::UpperAscii;

// ---- The scanner ----

namespace {

constexpr size_t kArgumentMax = 127;

// Walks the text from `from`, skipping brace and "(*" comments, and calls
// `test` at every character outside them while i + width <= size; returns
// the position where `test` held, or npos.
template <class Test>
size_t ScanOutsideComments(const std::string& t, size_t from, size_t width, Test test) {
  bool brace = false, paren = false;
  size_t parenOpenedAt = 0;  // the "*" that opened it cannot also close it
  for (size_t i = from; i + width <= t.size(); ++i) {
    char c = t[i];
    if (brace) {
      if (c == '}') brace = false;
    } else if (paren) {
      if (c == ')' && i > parenOpenedAt + 1 && t[i - 1] == '*') paren = false;
    } else if (c == '{') {
      brace = true;
    } else if (c == '*' && i > 0 && t[i - 1] == '(') {
      paren = true;
      parenOpenedAt = i;
    } else if (test(i)) {
      return i;
    }
  }
  return std::string::npos;
}

}  // namespace

bool SourceScanner::FindSourceKeyword(const std::string& keyword) {
  if (keyword.empty()) return false;
  std::string key = UpperAscii(keyword);
  // A match may end on the text's last character.
  size_t at = ScanOutsideComments(text_, Position, key.size(), [&](size_t i) {
    for (size_t k = 0; k < key.size(); ++k)
      if (platform::UpperAscii(text_[i + k]) != key[k]) return false;
    return true;
  });
  if (at == std::string::npos) return false;
  Position = at;
  return true;
}

bool SourceScanner::FindChar(char c) {
  size_t at = ScanOutsideComments(text_, Position, 1, [&](size_t i) { return text_[i] == c; });
  if (at == std::string::npos) return false;
  Position = at;
  return true;
}

std::string SourceScanner::ReadQuotedArgument() {
  if (!ArgumentOk) return "";
  if (!FindChar('\'')) {
    ArgumentOk = false;
    return "";
  }
  size_t open = Position;
  Position = open + 1;
  if (!FindChar('\'')) {
    ArgumentOk = false;
    Position = open;
    return "";
  }
  std::string argument = text_.substr(open + 1, std::min(Position - open - 1, kArgumentMax));
  ++Position;
  return argument;
}

// ---- The scan ----

namespace {

// A name becomes a DSDir below the problem's: one component of a path,
// unlike the others, and none of the problem's own series.
bool BadName(const std::string& name, const std::vector<std::string>& taken, bool runEnabled) {
  if (name.empty() || name.size() > kLsqNameMax) return true;
  for (char c : name)
    if (static_cast<unsigned char>(c) <= ' ' || std::string_view(".&*?").find(c) != std::string_view::npos)
      return true;
  if (EqualsCaseBlind(name, "Controls") || (runEnabled && EqualsCaseBlind(name, "Time"))) return true;
  return std::any_of(taken.begin(), taken.end(),
                     [&](const std::string& t) { return EqualsCaseBlind(t, name); });
}

void RefuseName(const std::string& name) { platform::Prompts().ShowMessage("Bad LSQ name: " + name); }

struct NameList {
  const char* marker;
  const char* tooMany;
  int8_t* count;
  std::string* names;
  int limit;
  bool checked;  // a DSDir is made for each name
};

}  // namespace

ScanResult ScanLsqSetup(const LsqSourceTexts& texts, LsqSetupRecord& record) {
  record.BetaCount = record.DepCount = record.IndepCount = record.RunCount = -1;
  record.DsfName.clear();
  record.ProblemName.clear();
  auto& prompts = platform::Prompts();

  SourceScanner scan(texts.psy.size() < 20 ? texts.qtl : texts.psy);
  if (!scan.FindSourceKeyword("LSQSETUP")) {
    scan = SourceScanner(texts.anyFile);
    if (!scan.FindSourceKeyword("LSQSETUP")) {
      prompts.ShowMessage("No LSQ code found");
      return ScanResult::NoCode;
    }
  }
  const std::string& text = scan.Text();
  record.RunEnabled = scan.Position > 0 && UpperAscii(text[scan.Position - 1]) == 'D';
  std::string dsf = scan.ReadQuotedArgument();
  std::string problem = scan.ReadQuotedArgument();
  record.DsfName = dsf.substr(0, kLsqDsfNameMax);
  record.ProblemName = problem.substr(0, kLsqNameMax);
  if (!scan.ArgumentOk) {
    prompts.ShowMessage("LSQSETUP err");
    return ScanResult::SetupError;
  }
  // The store's file name and the problem's DSDir must be what they say.
  if (dsf.empty() || dsf.size() > kLsqDsfNameMax) {
    RefuseName(dsf);
    return ScanResult::BadName;
  }
  if (BadName(problem, {}, false)) {
    RefuseName(problem);
    return ScanResult::BadName;
  }

  std::vector<std::string> taken;
  NameList lists[] = {
      {"_LSQBETA", "Too many B", &record.BetaCount, record.BetaNames.data(), kMaxBetas, true},
      {"LSQDEP", "Too many D", &record.DepCount, record.DepNames.data(), kMaxDeps, true},
      {"_LSQINDEP", "Too many I", &record.IndepCount, record.IndepNames.data(), kMaxIndeps, true},
      {"_DLSQRUN", "Too many R", &record.RunCount, record.RunNames.data(), kMaxRuns, false},
  };
  for (const NameList& list : lists) {
    if (!list.checked && !record.RunEnabled) break;
    scan.Position = 0;
    while (scan.FindSourceKeyword(list.marker)) {
      size_t after = scan.Position + std::string_view(list.marker).size();
      if (*list.count + 1 >= list.limit) {
        prompts.ShowMessage(list.tooMany);
        return ScanResult::Read;  // what was read stays; the lists after it are not read
      }
      std::string name = scan.ReadQuotedArgument();
      // Go on after the argument, never at the same marker again.
      scan.Position = std::max(scan.Position, after);
      if (list.checked) {
        if (BadName(name, taken, record.RunEnabled)) {
          RefuseName(name);
          return ScanResult::BadName;
        }
        taken.push_back(name);
      }
      ++*list.count;
      list.names[*list.count] = name.substr(0, kLsqNameMax);
    }
  }
  return ScanResult::Read;
}

// ---- The check against the store ----

namespace {

// Holds back what a store would show while the check looks at it, so that
// the check can say it once, in its own words; questions and dialogs still
// go to the prompts in force.
class HeldMessages : public platform::UserPrompts {
 public:
  HeldMessages() : outer_(platform::Prompts()) { platform::SetPrompts(this); }
  ~HeldMessages() override { platform::SetPrompts(&outer_); }
  HeldMessages(const HeldMessages&) = delete;
  HeldMessages& operator=(const HeldMessages&) = delete;

  void ShowMessage(const std::string& text) override { held.push_back(text); }
  platform::Answer Ask(const std::string& text, bool withCancel) override {
    return outer_.Ask(text, withCancel);
  }
  std::optional<std::string> OpenFileName(const platform::FileDialogSpec& d) override {
    return outer_.OpenFileName(d);
  }
  std::optional<std::string> SaveFileName(const platform::FileDialogSpec& d) override {
    return outer_.SaveFileName(d);
  }
  std::optional<std::string> ChooseDirectory(const std::string& title,
                                             const std::string& start) override {
    return outer_.ChooseDirectory(title, start);
  }
  void Beep() override { outer_.Beep(); }

  std::vector<std::string> held;

 private:
  platform::UserPrompts& outer_;
};

}  // namespace

int CheckLSQProblemSeries(const LsqSetupRecord& record) {
  const LsqSetupRecord r = record;
  std::string missing;  // what the check itself says
  int result = 1;
  std::string fault;
  {
    HeldMessages quiet;
    SeriesStore store;
    store.SeriesUnitInit();
    store.MessagesOn = false;  // this check says what is missing itself
    store.AttachDSFReadOnly(r.DsfName);
    if (store.FailureFlag) {
      missing = r.DsfName + ".DSF not found in the current directory";
      result = 0;
    } else {
      std::string problem = "." + r.ProblemName;
      store.SetCurrentDSDir(problem);
      if (store.FailureFlag) {
        missing = r.ProblemName + " not found in " + r.DsfName;
        result = 3;
      } else {
        std::vector<std::string> names(r.BetaNames.begin(), r.BetaNames.begin() + (r.BetaCount + 1));
        names.insert(names.end(), r.IndepNames.begin(), r.IndepNames.begin() + (r.IndepCount + 1));
        names.insert(names.end(), r.DepNames.begin(), r.DepNames.begin() + (r.DepCount + 1));
        for (const std::string& name : names) {
          store.SetCurrentDSDir(problem + "." + name);
          if (store.FailureFlag) {
            missing = name + " not found in " + r.ProblemName;
            result = 2;
            break;
          }
        }
      }
      store.CloseDSF();
    }
    // A store that refused to be read (damage it met, a system error, an
    // old layout) is not one whose names are missing.
    fault = !store.LastFault.empty() ? store.LastFault : quiet.held.empty() ? "" : quiet.held.front();
  }
  auto& prompts = platform::Prompts();
  if (!fault.empty()) {
    std::string where = platform::ResolvePath(r.DsfName + ".DSF");
    char dir[4096];
    if (where.empty() || where[0] != '/') where = platform::JoinPath(::getcwd(dir, sizeof dir) ? dir : ".", where);
    prompts.ShowMessage(fault.find(where) == std::string::npos ? where + ": " + fault : fault);
    return kStoreUnusable;
  }
  if (!missing.empty()) prompts.ShowMessage(missing);
  return result;
}

LsqButtons EnableLSQButtons(int r, bool worksheetOpen) {
  LsqButtons b;
  b.SetupBt = r == 0 || r == 3;
  b.OpenBt = !worksheetOpen;
  b.ShowWkBt = worksheetOpen;
  b.CopyBt = !worksheetOpen;
  b.CloseWksBt = worksheetOpen;
  b.RunBt = !worksheetOpen;
  b.CloseWinBt = true;
  return b;
}

// ---- The dialog's state and commands ----

LsqControl::LsqControl(SeriesStore& store, Worksheet& sheet) : store_(store), sheet_(sheet) {
  sheet_.OnClose = [this] { WorksheetClosed(); };
  LsqDefsInit();
}

LsqControl::~LsqControl() { sheet_.OnClose = nullptr; }

void LsqControl::LsqDefsInit() {
  Current = LsqSetupRecord();
  WorksheetOpen = false;
}

bool LsqControl::Attached() const {
  // The worksheet's own close detaches the store: ask the store.
  return store_.IsAttached() && store_.AttachedDSFPath == Current.DsfName;
}

void LsqControl::SetButtons(int r, bool worksheetOpen) {
  Buttons = EnableLSQButtons(r, worksheetOpen);
  windows_->ButtonsChanged();
}

void LsqControl::Button5Click(const LsqSourceTexts& texts) {
  auto& prompts = platform::Prompts();
  if (ScanLsqSetup(texts, Scan) == ScanResult::BadName) return;
  if (Scan.BetaCount == -1) {
    prompts.ShowMessage("No LSQ source code found.");
    return;
  }
  int r = CheckLSQProblemSeries(Scan);
  if (r == kStoreUnusable) return;
  if (r == 2) {
    prompts.ShowMessage("Source code does not agree with database--reconcile.");
    prompts.ShowMessage("LSQ problem in database is missing some variables that are in source.");
    prompts.ShowMessage("One way to reconcile is to change to new problem name.");
    return;
  }
  if ((r == 0 || r == 3) &&
      !prompts.Confirm("LSQ source code in final form for " + Scan.ProblemName + " now?"))
    return;
  Current = Scan;
  ProblemState = uint8_t(r);
  SetButtons(r, false);
  windows_->ShowDialog(Current.ProblemName + " in " + Current.DsfName + ".DSF");
}

void LsqControl::FormActivate() { SetButtons(ProblemState, WorksheetOpen); }

bool LsqControl::AttachStore() {
  if (Attached()) return true;
  store_.AttachDSF(Current.DsfName);
  if (!store_.FailureFlag) return true;
  store_.ShowMessageStr(kStoreNotAccessible);
  return false;
}

bool LsqControl::CreateEmptySeries(const std::string& name) {
  store_.OpenSeriesInSlot(slot_, name, "");
  store_.SaveSeries(slot_, name);
  bool ok = !store_.FailureFlag;
  store_.FreeSeries(slot_);
  return ok;
}

bool LsqControl::MakeDirAndSeries(const std::string& dir, std::initializer_list<const char*> series) {
  std::string path = "." + Current.ProblemName + "." + dir;
  store_.MakeDSDir(path);
  if (store_.FailureFlag) {
    store_.ShowMessageStr("Unable to create " + path);
    return false;
  }
  for (const char* s : series) {
    std::string name = path + "." + s;
    if (!CreateEmptySeries(name)) {
      store_.ShowMessageStr("Unable to create " + name);
      return false;
    }
  }
  return true;
}

void LsqControl::SetupBtClick() {
  const LsqSetupRecord& r = Current;
  if (!Attached()) {
    // A store that is not there yet is made: no message for its absence.
    bool messages = store_.MessagesOn;
    store_.MessagesOn = false;
    store_.AttachDSF(r.DsfName);
    store_.MessagesOn = messages;
    if (store_.FailureFlag) {
      store_.CreateDSF(r.DsfName);
      if (store_.FailureFlag) {
        store_.ShowMessageStr(kStoreNotAccessible);
        windows_->CloseDialog();
        return;
      }
    }
  }
  std::string problem = "." + r.ProblemName;
  store_.MakeDSDir(problem);
  if (store_.FailureFlag) {
    store_.ShowMessageStr("Unable to create " + r.ProblemName);
    return;
  }
  store_.SetCurrentDSDir(problem);
  store_.OpenSeriesInSlot(slot_, "Controls", "");
  for (int i = 0; i <= 20; ++i) store_.PutVal(slot_, int16_t(i), i >= 1 && i <= 5 ? 0.0 : 1.0);
  store_.SaveSeries(slot_, problem + ".Controls");
  bool ok = !store_.FailureFlag;
  store_.FreeSeries(slot_);
  if (!ok) {
    store_.ShowMessageStr("Unable to create " + problem + ".Controls");
    return;
  }
  for (int k = 0; k <= r.BetaCount; ++k)
    if (!MakeDirAndSeries(r.BetaNames[size_t(k)], {"Start", "Value", "RangeLo", "RangeUp", "Delta"}))
      return;
  for (int k = 0; k <= r.DepCount; ++k)
    if (!MakeDirAndSeries(r.DepNames[size_t(k)], {"Value", "Weight"})) return;
  if (r.RunEnabled && !MakeDirAndSeries("Time", {"Value"})) return;
  for (int k = 0; k <= r.IndepCount; ++k)
    if (!MakeDirAndSeries(r.IndepNames[size_t(k)], {"Value"})) return;
  store_.ShowMessageStr("Finished");
  ProblemState = 1;
  SetButtons(1, WorksheetOpen);
}

void LsqControl::OpenBtClick() {
  if (!AttachStore()) return;
  WorksheetOpen = true;
  SetButtons(1, true);
  std::string problem = "." + Current.ProblemName;
  sheet_.Label4 = "Current DSDir path in file " + Current.DsfName;
  sheet_.DSDirLbl.clear();
  store_.LoadSeriesToColumns(store_.ColumnSlots.data(), 0, problem + ".&");
  store_.SetCurrentDSDir(problem);
  sheet_.SetFileLabels();
  sheet_.RefreshColumnHeaders();
  windows_->ShowWorksheet();
}

void LsqControl::ShowWkBtClick() {
  if (WorksheetOpen) windows_->BringUpWorksheet();
}

void LsqControl::CloseWksBtClick() {
  // A refused edit keeps the worksheet open with its text, unsaved.
  if (!windows_->CommitWorksheetCell()) return;
  store_.ReplaceSeriesInDSF("." + Current.ProblemName + ".&");
  windows_->CloseWorksheet();
}

void LsqControl::CopySeriesIfPresent(const std::string& from, const std::string& to) {
  bool messages = store_.MessagesOn;
  store_.MessagesOn = false;
  store_.OpenSeries(slot_, from);
  store_.MessagesOn = messages;
  if (store_.FailureFlag) {
    store_.FailureFlag = false;
    return;
  }
  store_.SaveSeries(slot_, to);
  store_.FreeSeries(slot_);
}

void LsqControl::CopySeriesByName(const std::string& from, const std::string& to) {
  bool messages = store_.MessagesOn;
  store_.MessagesOn = false;
  store_.OpenSeries(slot_, from);
  store_.MessagesOn = messages;
  if (store_.FailureFlag) {
    store_.ShowMessageStr("Cannot find " + from);
    return;
  }
  store_.SaveSeries(slot_, to);
  store_.FreeSeries(slot_);
}

void LsqControl::CopyBtClick() {
  if (!AttachStore()) return;
  store_.Log.Reset();  // only the root's entries to choose from
  store_.ListDSFNames(".*");
  std::optional<std::string> line = windows_->SelectLogLine("Mark source problem name then click SELECT");
  if (!line) return;
  platform::Hourglass hourglass;
  const LsqSetupRecord& r = Current;
  std::string s = "." + (line->size() > 6 ? line->substr(6, 80) : std::string()) + ".";
  std::string t = "." + r.ProblemName + ".";
  for (int k = 0; k <= r.BetaCount; ++k) {
    const std::string& b = r.BetaNames[size_t(k)];
    for (const char* part : {".Value", ".RangeLo", ".RangeUp", ".Start", ".Delta"})
      CopySeriesIfPresent(s + b + part, t + b + part);
  }
  for (int k = 0; k <= r.DepCount; ++k) {
    const std::string& d = r.DepNames[size_t(k)];
    CopySeriesByName(s + d + ".Value", t + d + ".Value");
    CopySeriesIfPresent(s + d + ".Weight", t + d + ".Weight");
  }
  if (r.RunEnabled) CopySeriesByName(s + "Time.Value", t + "Time.Value");
  for (int k = 0; k <= r.IndepCount; ++k) {
    const std::string& i = r.IndepNames[size_t(k)];
    CopySeriesByName(s + i + ".Value", t + i + ".Value");
  }
  store_.ShowMessageStr("Finished");
}

void LsqControl::RunBtClick() {
  if (!windows_->RunOptions()) return;
  store_.ShowMessageStr("Ready for LSQ run");
  windows_->CloseDialog();
}

void LsqControl::CloseWinBtClick() { windows_->CloseDialog(); }

void LsqControl::FormClose() {
  if (WorksheetOpen) {
    windows_->BringUpWorksheet();
    // Its close clears the flag; when it stays open, so does the flag.
    if (windows_->CloseWorksheet()) WorksheetOpen = false;
  } else if (Attached()) {
    store_.CloseDSF();
  }
}

void LsqControl::WorksheetClosed() {
  WorksheetOpen = false;
  SetButtons(1, false);
}

}  // namespace krv::series
