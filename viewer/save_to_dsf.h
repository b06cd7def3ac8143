// Saving the displayed trajectories as data series: one series per
// distinct displayed variable under a root DSDir, `_T` beside them as
// their X series, in a current-layout file through the series store or in
// an old-layout file in its own layout. A save is one change of the file:
// the root with all its series is there whole, or the file stays as it was.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "series/series_store.h"
#include "viewer/old_dsf.h"
#include "viewer/viewer_state.h"

namespace krv::view {

// The viewer's series buffer is the store's column slot, so the same code
// serves both programs: the store's NewSeries starts it (InitSeriesBuffer),
// PutVal stores a value (PutSeriesValue) and FreeSeries releases it
// (FreeSeriesBuffer).
using SeriesBuffer = series::ColumnSlot;

// The displayed variables, ascending, each once.
std::vector<int> MergeSortVarList(const std::vector<int16_t>& displayList);

// The name components of a variable's series below the root: the name
// split at '.' and '_', upper case ("_X.TANK.LEVEL" gives X, TANK, LEVEL).
std::vector<std::string> SeriesComponents(const std::string& name);

// Variables per batch, so that at most 16384 blocks of values are held.
int BatchSize(const TimeRange& range);

class DSFSave {
 public:
  // `actual`: steps lo..hi as indices; else 0..N + 1 for the plot steps.
  DSFSave(const ViewerState& viewer, series::SeriesStore& store, bool actual);
  ~DSFSave();

  // Attaches the chosen file (its path as the dialog gives it, extension
  // included) in whichever layout it has. False with `missing` set when
  // no file is there, or with a message when it cannot be used.
  bool Open(const std::string& path, bool& missing);
  // Creates a new current-layout file and attaches it.
  bool Create(const std::string& path);
  bool IsOldLayout() const { return old_.IsAttached(); }

  // The root name the dialog accepts, after trimming to its first word:
  // not empty, no '.', '*', '?', '&', at most 25 characters in a current
  // file and 27 in an old one.
  bool NameAcceptable(std::string& name) const;

  // Whether the root can take the save: Made when there is none yet (it
  // is made with the series, in the same change), Existed when it is a
  // DSDir already, Failed otherwise. Nothing is written.
  enum class RootResult { Made, Existed, Failed };
  RootResult MakeRoot(const std::string& name);

  // Writes the root where it is new, `_T`, the DSDirs and the series, and
  // links them to `_T`, all as one change held until Finish.
  void WriteSeries();
  // Commits the save and closes the file. The message for a save where
  // anything failed: how many series were not saved and the first paths
  // (every one when the change could not be made, after the reason);
  // empty otherwise.
  std::string Finish();

  const std::vector<std::string>& NotSaved() const { return notSaved_; }

 private:
  // A variable's series path below the root, with its name components.
  struct Var {
    int v;
    std::vector<std::string> comps;
    std::string path;
  };
  bool SaveSlot(SeriesBuffer& slot, const std::string& path);
  // Index k of the saved steps `at`: the step itself, or k for the plot
  // steps.
  int16_t IndexOf(const std::vector<int32_t>& at, size_t k) const;
  // The time of every saved step, as root + "._T"; saved only while the
  // change is `held`.
  void SaveTimeSeries(const std::vector<int32_t>& at, bool held);
  // The series of vars[first..last), the trajectory read once for all of
  // them; false, with nothing of them saved, when it cannot be read.
  bool SaveVarBatch(const std::vector<Var>& vars, size_t first, size_t last, const TimeRange& steps,
                    const std::vector<int32_t>& at);
  bool MakeDir(const std::string& path);
  void Lost(const std::string& path) { notSaved_.push_back(path); }

  const ViewerState& viewer_;
  series::SeriesStore& store_;
  bool actual_;
  OldDSFStore old_;
  std::string file_;
  std::string root_;
  std::string comment_;
  bool rootNew_ = false;
  std::vector<std::string> written_;  // the series the change holds
  std::vector<std::string> notSaved_;
  std::string closeError_;
};

}  // namespace krv::view
