// The solver's reading and writing of a data-series store beside the series
// library: the input is the store. The library, built for coverage, decides
// what the corpus explores: it attaches the store, and every series and
// DSDir its tree shows, with some names that are not there, is read through
// both; then the solver writes one value into two of the series found, as a
// fit writes its estimates, and the library reads them back. The solver's
// side (Pascal, with range, overflow and input/output checks) must never
// fail and must give the same verdict and values.
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/user_prompts.h"
#include "series/series_store.h"
#include "solver_twin.h"

using namespace krv;
using namespace krv::rt;

static const std::string& WorkBase() {
  static std::string base = [] {
    char tmpl[] = "/tmp/krv_dsf_solver_fuzz.XXXXXX";
    return std::string(mkdtemp(tmpl)) + "/F";
  }();
  return base;
}

static void WriteStore(const std::string& bytes) {
  std::ofstream f(WorkBase() + ".DSF", std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), std::streamsize(bytes.size()));
}

// A name the solver may be asked for: the fit's names are refused when
// empty, longer than an entry holds or holding a path or pattern character
// or a blank.
static bool AskableName(const std::string& name) {
  return !name.empty() && name.size() <= 25 && name.find_first_of(".&*? ") == std::string::npos;
}

static void Collect(const series::TreeNode& node, const std::string& path, std::vector<std::string>& out) {
  for (const series::TreeNode& child : node.children) {
    if (out.size() >= 64) return;
    if (!AskableName(child.caption)) continue;
    std::string p = path + "." + child.caption;
    out.push_back(p);
    Collect(child, p, out);
  }
}

// The paths the library's tree shows, and some it may not hold.
static std::vector<std::string> PathsToRead() {
  std::vector<std::string> paths;
  {
    platform::ScriptedPrompts prompts;
    series::SeriesStore store;
    store.AttachDSFReadOnly(WorkBase());
    if (!store.FailureFlag) {
      store.ShowDSFTree(true);
      Collect(store.Tree, "", paths);
    }
  }
  for (const char* p : {".PR1.Controls", ".PR1.K1.Start", ".A", ".A.B", ".X.Y.Z"}) paths.push_back(p);
  return paths;
}

static std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = char(c - 32);
  return s;
}


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string store(reinterpret_cast<const char*>(data), size);
  WriteStore(store);
  const std::vector<std::string> paths = PathsToRead();
  const std::vector<SolverAnswer> solver = Probe().Series(store, paths);
  if (solver.size() == 1 && ReaderProbe::IsFault(solver[0])) CheckNoFault(solver[0]);
  if (solver.size() != paths.size()) Finding("the probe gave " + std::to_string(solver.size()) + " answers");
  std::vector<std::string> series;
  for (size_t k = 0; k < paths.size(); ++k) {
    CheckNoFault(solver[k]);
    std::string diff = SeriesDifference(WorkBase(), paths[k], solver[k]);
    if (!diff.empty()) Finding(diff);
    // Two series whose paths differ case-blind: the same path in other
    // letters finds the same series.
    if (solver[k].code == 0 && series.size() < 2 &&
        (series.empty() || Upper(series[0]) != Upper(paths[k])))
      series.push_back(paths[k]);
  }
  if (series.empty()) return 0;

  // The fit's estimates: one value into each series found.
  const std::vector<double> values = {1.5, -2.0};
  std::vector<double> written(values.begin(), values.begin() + long(series.size()));
  auto [answer, after] = Probe().WriteOneValues(store, series, written);
  CheckNoFault(answer);
  if (answer.code == 1) {
    if (after != store) Finding("a refused write changed the store: " + answer.text);
    return 0;
  }
  if (answer.code != 0) Finding("the solver could not write the store: " + answer.text);
  if (after.size() != store.size()) Finding("the solver's write changed the store's size");
  WriteStore(after);
  for (size_t k = 0; k < series.size(); ++k) {
    SolverAnswer lib = LibrarySeries(WorkBase(), series[k]);
    const std::string want = "0 0 " + CellBits(float(written[k]));
    if (lib.code != 0 || lib.text != want)
      Finding(series[k] + " after the solver's write reads " + std::to_string(lib.code) + " " + lib.text +
              ", not " + want);
  }
  return 0;
}
