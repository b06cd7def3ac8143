// Fuzzes reading a data-series file: the input is the file, and after it
// the journal a change cut short may have left beside it (store_input.h).
// It is attached read-only (rolling the journal back), then listed as a
// tree, by names and in detail, loaded into the columns, and every series
// the tree names is opened. Then, attached for writing, every series is
// saved over itself and linked to an X series in a change that is dropped
// at the end: the checks a save makes before writing (chains inside the
// file, no record in two chains) meet the same damage, and the file is
// left as it was.
#include <stdlib.h>

#include <cstdint>
#include <string>

#include "fuzz/store_input.h"
#include "platform/user_prompts.h"
#include "series/series_store.h"

using namespace krv::series;

static const std::string& WorkDir() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/krv_dsf_fuzz.XXXXXX";
    return std::string(mkdtemp(tmpl));
  }();
  return dir;
}

static void Walk(const TreeNode& node, const std::string& path, std::vector<std::string>& out) {
  for (const TreeNode& child : node.children) {
    std::string p = path + "." + child.caption;
    out.push_back(p);
    Walk(child, p, out);
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static krv::platform::ScriptedPrompts prompts;  // answers nothing, records little
  prompts.messages.clear();
  const std::string base = WorkDir() + "/F";
  krv::fuzz::WriteStoreInput(data, size, base + ".DSF");
  std::vector<std::string> paths;
  {
    SeriesStore store;
    store.AttachDSFReadOnly(base);
    if (store.FailureFlag) return 0;
    store.ShowDSFTree(true);
    Walk(store.Tree, "", paths);
    store.ListDSFTree();
    store.ListDSFNames("&");
    store.ListSeriesDetails("&");
    store.LoadSeriesToColumns(store.ColumnSlots.data(), 0, "&");
    store.FailureFlag = false;
    store.FillDSDirCombo("&");
    for (const std::string& p : paths) {
      ColumnSlot& slot = store.ColumnSlots[500];
      store.OpenSeries(slot, p);
      if (!slot.IsOpen()) continue;
      int16_t lo, hi;
      store.SeriesIndexRange(slot, lo, hi);
      for (int i = lo; i <= hi && i < lo + 100; ++i) store.GetVal(slot, int16_t(i));
    }
  }
  SeriesStore store;
  store.MessagesOn = false;
  store.AttachDSF(base);
  if (store.FailureFlag || !store.HoldChanges()) return 0;
  ColumnSlot& slot = store.ColumnSlots[0];
  store.NewSeries(slot, false, "fuzz");
  for (int16_t i = 0; i < 40; ++i) store.PutVal(slot, i, double(i));
  for (const std::string& p : paths) store.SaveSeries(slot, p);
  store.SetXSeries(paths.empty() ? "" : paths.front(), "&");
  store.DropChanges();
  return 0;
}
