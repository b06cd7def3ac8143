// Saving the displayed trajectories as data series.
#include "viewer/save_to_dsf.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "platform/text.h"
#include "platform/user_prompts.h"
#include "series/dsf_format.h"
#include "viewer/PlotU.h"

namespace krv::view {


std::vector<int> MergeSortVarList(const std::vector<int16_t>& displayList) {
  std::vector<int> v(displayList.begin(), displayList.end());
  std::sort(v.begin(), v.end());
  v.erase(std::unique(v.begin(), v.end()), v.end());
  return v;
}

std::vector<std::string> SeriesComponents(const std::string& name) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : name) {
    if (c == '.' || c == '_') {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
    } else {
      cur += platform::UpperAscii(c);
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

int BatchSize(const TimeRange& range) {
  int64_t b = (int64_t(range.hi) - range.lo + 1) / std::max(range.density, 1) + 1;
  int64_t blocks = (b + series::kBlockCells - 1) / series::kBlockCells;
  return int(std::max<int64_t>(1, 16384 / blocks));
}

static bool EndsWithDSF(const std::string& path) {
  return path.size() >= 4 && platform::UpperAscii(path.substr(path.size() - 4)) == ".DSF";
}

static std::string Stem(const std::string& path) {
  return EndsWithDSF(path) ? path.substr(0, path.size() - 4) : path;
}

DSFSave::DSFSave(const ViewerState& viewer, series::SeriesStore& store, bool actual)
    : viewer_(viewer), store_(store), actual_(actual) {
  // The store's own reports stay off from the first save on.
  store_.MessagesOn = false;
}

DSFSave::~DSFSave() {
  // Every way out closes the file; a save not finished leaves nothing.
  old_.Abandon();
  if (old_.IsAttached()) old_.CloseDSFOld();
  store_.DropChanges();
  if (store_.IsAttached()) store_.CloseDSF();
}

bool DSFSave::Open(const std::string& path, bool& missing) {
  missing = false;
  file_ = path;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    missing = true;
    return false;
  }
  if (series::ProbeDSFLayout(path) == series::DSFLayout::kEarlier) {
    if (old_.AttachDSFOld(path)) return true;
    platform::Prompts().ShowMessage(old_.Error());
    return false;
  }
  if (!EndsWithDSF(path)) {
    platform::Prompts().ShowMessage("Cannot attach " + path + ": a DSF file's name ends in .DSF");
    return false;
  }
  store_.AttachDSF(Stem(path));
  if (!store_.FailureFlag) return true;
  platform::Prompts().ShowMessage("Cannot attach " + path);
  return false;
}

bool DSFSave::Create(const std::string& path) {
  std::string stem = Stem(path);
  file_ = stem + ".DSF";
  // The header names the file as chosen, extension included.
  size_t cut = file_.find_last_of('/');
  std::string name = cut == std::string::npos ? "/" + file_ : file_.substr(cut);
  store_.CreateDSF(stem, name);
  if (store_.FailureFlag) {
    platform::Prompts().ShowMessage("Cannot create " + file_);
    return false;
  }
  return true;
}

bool DSFSave::NameAcceptable(std::string& name) const {
  series::SeriesStore::TrimToFirstWord(name);
  size_t limit = IsOldLayout() ? kOldNameMax : series::kEntryNameMax;
  return !name.empty() && name.size() <= limit && name.find_first_of(".*? &") == std::string::npos;
}

DSFSave::RootResult DSFSave::MakeRoot(const std::string& name) {
  root_ = "." + name;
  rootNew_ = false;
  RootResult result = RootResult::Failed;
  if (IsOldLayout()) {
    switch (old_.LookDSDir(root_)) {
      case OldDSFStore::DirResult::Made: result = RootResult::Made; break;
      case OldDSFStore::DirResult::Existed: result = RootResult::Existed; break;
      case OldDSFStore::DirResult::Failed: break;
    }
  } else {
    bool failure;
    series::DSDirEntry e;
    store_.FindDSFEntry(root_, failure, e);
    if (!failure) result = !e.Used() ? RootResult::Made : e.IsDSDir() ? RootResult::Existed : RootResult::Failed;
  }
  rootNew_ = result == RootResult::Made;
  return result;
}

bool DSFSave::MakeDir(const std::string& path) {
  if (IsOldLayout()) return old_.MakeDSDirOld(path) != OldDSFStore::DirResult::Failed;
  store_.MakeDSDir(path, false);
  return !store_.FailureFlag;
}

bool DSFSave::SaveSlot(SeriesBuffer& slot, const std::string& path) {
  bool ok;
  if (IsOldLayout()) {
    ok = old_.SaveSeriesOld(slot, path, comment_, store_.GetDateStamp());
  } else {
    store_.SaveSeries(slot, path);
    ok = !store_.FailureFlag;
  }
  if (ok) written_.push_back(path);
  return ok;
}

int16_t DSFSave::IndexOf(const std::vector<int32_t>& at, size_t k) const {
  return int16_t(actual_ ? at[k] : int32_t(k));
}

// SaveTimeSeriesActual and SaveTimeSeriesTransf in one: actual_ chooses
// the indices.
void DSFSave::SaveTimeSeries(const std::vector<int32_t>& at, bool held) {
  SeriesBuffer slot;
  store_.NewSeries(slot, false, comment_);
  const std::vector<double>& t = viewer_.TimeTable();
  for (size_t k = 0; k < at.size(); ++k) store_.PutVal(slot, IndexOf(at, k), t[size_t(at[k])]);
  if (!held || !SaveSlot(slot, root_ + "._T")) Lost(root_ + "._T");
  store_.FreeSeries(slot);
}

// SaveVarBatchActual and SaveVarBatchTransf in one: actual_ chooses the
// indices.
bool DSFSave::SaveVarBatch(const std::vector<Var>& vars, size_t first, size_t last,
                           const TimeRange& steps, const std::vector<int32_t>& at) {
  std::vector<int> batch;
  std::vector<std::vector<float>> values(last - first);
  std::vector<std::vector<float>*> into;
  for (size_t i = first; i < last; ++i) {
    batch.push_back(vars[i].v);
    into.push_back(&values[i - first]);
  }
  if (!ReadPlotPoints(viewer_.File(), viewer_.Layout(), steps, batch, into)) return false;
  for (size_t i = first; i < last; ++i) {
    SeriesBuffer s;
    store_.NewSeries(s, false, comment_);
    const std::vector<float>& val = values[i - first];
    for (size_t k = 0; k < at.size(); ++k) store_.PutVal(s, IndexOf(at, k), double(val[k]));
    if (!SaveSlot(s, vars[i].path)) Lost(vars[i].path);
    store_.FreeSeries(s);
  }
  return true;
}

void DSFSave::WriteSeries() {
  comment_ = ("From problem label " + viewer_.Label()).substr(0, 58);
  bool held = IsOldLayout() ? old_.Hold() : store_.HoldChanges();
  if (IsOldLayout() && !held) closeError_ = old_.Error();
  if (held && rootNew_) MakeDir(root_);  // a failure shows in every series below it
  TimeRange steps = viewer_.Range();
  if (actual_) {
    steps.density = 1;
    steps.Update();
  }
  std::vector<int32_t> at = PlotSteps(steps);
  SaveTimeSeries(at, held);

  // The paths, checked before anything is written: a path is never cut,
  // so two variables can never land on one series.
  std::vector<Var> vars;
  std::set<std::string> taken{platform::UpperAscii(root_ + "._T")};
  size_t limit = IsOldLayout() ? kOldNameMax : series::kEntryNameMax;
  for (int v : MergeSortVarList(viewer_.DisplayList())) {
    Var x{v, SeriesComponents(viewer_.Entries()[size_t(v)].name), root_};
    bool fits = !x.comps.empty() && int(x.comps.size()) + 1 <= series::kMaxDepth;
    for (const std::string& c : x.comps) {
      x.path += "." + c;
      fits = fits && c.size() <= limit && c.find_first_of("&*? ") == std::string::npos;
    }
    fits = fits && x.path.size() <= series::kShortMax;
    if (!fits || !taken.insert(platform::UpperAscii(x.path)).second) {
      Lost(x.path);
      continue;
    }
    vars.push_back(std::move(x));
  }

  // The DSDirs, each made once: only from the first component that
  // differs from the previous variable's on.
  std::vector<std::string> prev;
  for (const Var& x : vars) {
    std::string p = root_;
    bool differ = false;
    for (size_t i = 0; i + 1 < x.comps.size(); ++i) {
      p += "." + x.comps[i];
      if (!differ && i + 1 < prev.size() && prev[i] == x.comps[i]) continue;
      differ = true;
      if (held) MakeDir(p);  // a failure shows in the series below it
    }
    prev = x.comps;
  }

  // The series in batches, reading the trajectory once per batch.
  size_t per = size_t(BatchSize(steps));
  for (size_t first = 0; first < vars.size(); first += per) {
    size_t last = std::min(vars.size(), first + per);
    if (!held || !SaveVarBatch(vars, first, last, steps, at)) {
      // A trajectory that cannot be read saves none of the root: what
      // was written of it goes too.
      if (held) {
        held = false;
        if (IsOldLayout())
          old_.Abandon();
        else
          store_.DropChanges();
        notSaved_.insert(notSaved_.begin(), written_.begin(), written_.end());
        written_.clear();
      }
      for (size_t i = first; i < vars.size(); ++i) Lost(vars[i].path);
      break;
    }
  }

  if (!held) return;
  if (IsOldLayout())
    old_.SetXSeriesOld(store_, root_ + "._T", root_ + ".X.&");
  else if (!vars.empty())
    store_.SetXSeries(root_ + "._T", root_ + ".X.&");
}

std::string DSFSave::Finish() {
  bool committed = true;
  if (old_.IsAttached()) {
    committed = old_.CloseDSFOld();
    if (!committed && closeError_.empty()) closeError_ = old_.Error();
  }
  if (store_.IsAttached()) {
    committed = store_.CommitChanges() && committed;  // the store tells its own reason
    store_.CloseDSF();
  }
  if (!committed) {
    // Nothing of the save is in the file.
    notSaved_.insert(notSaved_.begin(), written_.begin(), written_.end());
    written_.clear();
  }
  if (notSaved_.empty()) return closeError_;
  std::string text = platform::IntToString((long long)notSaved_.size()) + " series not saved in " +
                     file_ + ":";
  for (size_t i = 0; i < notSaved_.size() && i < 3; ++i) text += " " + notSaved_[i];
  if (notSaved_.size() > 3) text += " ...";
  return closeError_.empty() ? text : closeError_ + "\n" + text;
}

}  // namespace krv::view
