// Saving the displayed trajectories as data series.
#include "viewer/save_to_dsf.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "platform/text.h"
#include "platform/user_prompts.h"
#include "viewer/PlotU.h"

namespace krv::view {

using series::ColumnSlot;

std::vector<int> DistinctVariables(const std::vector<int16_t>& displayList) {
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
  // Every way out closes the file.
  if (old_.IsAttached()) old_.Close();
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
  if (IsOldLayoutDSF(path)) {
    if (old_.Attach(path)) return true;
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
  store_.CreateDSF(stem);
  if (store_.FailureFlag) {
    platform::Prompts().ShowMessage("Cannot create " + file_);
    return false;
  }
  // The header names the file as chosen, extension included.
  size_t cut = file_.find_last_of('/');
  std::string name = cut == std::string::npos ? "/" + file_ : file_.substr(cut);
  store_.DSFHeader.name = name.substr(0, series::kEntryNameMax);
  try {
    store_.WriteDSFHeader();
  } catch (...) {
    platform::Prompts().ShowMessage("I/O error writing " + file_);
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
  if (IsOldLayout()) {
    switch (old_.MakeDSDir(root_)) {
      case OldDSFStore::DirResult::Made: return RootResult::Made;
      case OldDSFStore::DirResult::Existed: return RootResult::Existed;
      case OldDSFStore::DirResult::Failed: return RootResult::Failed;
    }
  }
  store_.MakeDSDir(root_, false);
  if (store_.FailureFlag) return RootResult::Failed;
  return store_.DSDirExisted ? RootResult::Existed : RootResult::Made;
}

bool DSFSave::MakeDir(const std::string& path) {
  if (IsOldLayout()) return old_.MakeDSDir(path) != OldDSFStore::DirResult::Failed;
  store_.MakeDSDir(path, false);
  return !store_.FailureFlag;
}

bool DSFSave::SaveSlot(ColumnSlot& slot, const std::string& path) {
  if (IsOldLayout()) return old_.SaveSeries(slot, path, comment_, store_.GetDateStamp());
  store_.SaveSeries(slot, path);
  return !store_.FailureFlag;
}

void DSFSave::WriteSeries() {
  comment_ = ("From problem label " + viewer_.Label()).substr(0, 58);
  TimeRange steps = viewer_.Range();
  if (actual_) {
    steps.density = 1;
    steps.Update();
  }
  std::vector<int32_t> at = PlotSteps(steps);
  auto index = [&](size_t k) { return int16_t(actual_ ? at[k] : int32_t(k)); };

  ColumnSlot slot;
  store_.NewSeries(slot, false, comment_);
  const std::vector<double>& t = viewer_.TimeTable();
  for (size_t k = 0; k < at.size(); ++k) store_.PutVal(slot, index(k), t[size_t(at[k])]);
  if (!SaveSlot(slot, root_ + "._T")) Lost(root_ + "._T");
  store_.FreeSeries(slot);

  // The paths, checked before anything is written: a path is never cut,
  // so two variables can never land on one series.
  struct Var {
    int v;
    std::vector<std::string> comps;
    std::string path;
  };
  std::vector<Var> vars;
  std::set<std::string> taken{platform::UpperAscii(root_ + "._T")};
  size_t limit = IsOldLayout() ? kOldNameMax : series::kEntryNameMax;
  for (int v : DistinctVariables(viewer_.DisplayList())) {
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
      MakeDir(p);  // a failure shows in the series below it
    }
    prev = x.comps;
  }

  // The series in batches, reading the trajectory once per batch.
  size_t per = size_t(BatchSize(steps));
  for (size_t first = 0; first < vars.size(); first += per) {
    size_t last = std::min(vars.size(), first + per);
    std::vector<int> batch;
    std::vector<std::vector<float>> values(last - first);
    std::vector<std::vector<float>*> into;
    for (size_t i = first; i < last; ++i) {
      batch.push_back(vars[i].v);
      into.push_back(&values[i - first]);
    }
    if (!ReadPlotPoints(viewer_.File(), viewer_.Layout(), steps, batch, into)) {
      for (size_t i = first; i < vars.size(); ++i) Lost(vars[i].path);
      break;
    }
    for (size_t i = first; i < last; ++i) {
      ColumnSlot s;
      store_.NewSeries(s, false, comment_);
      const std::vector<float>& val = values[i - first];
      for (size_t k = 0; k < at.size(); ++k) store_.PutVal(s, index(k), double(val[k]));
      if (!SaveSlot(s, vars[i].path)) Lost(vars[i].path);
      store_.FreeSeries(s);
    }
  }

  if (IsOldLayout())
    old_.SetXSeries(store_, root_ + "._T", root_ + ".X.&");
  else if (!vars.empty())
    store_.SetXSeries(root_ + "._T", root_ + ".X.&");
}

std::string DSFSave::Finish() {
  if (old_.IsAttached()) old_.Close();
  if (store_.IsAttached()) store_.CloseDSF();
  if (notSaved_.empty()) return "";
  std::string text = platform::IntToString((long long)notSaved_.size()) + " series not saved in " +
                     file_ + ":";
  for (size_t i = 0; i < notSaved_.size() && i < 3; ++i) text += " " + notSaved_[i];
  if (notSaved_.size() > 3) text += " ...";
  return text;
}

}  // namespace krv::view
