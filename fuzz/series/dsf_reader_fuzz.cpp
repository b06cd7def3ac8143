// Fuzzes reading a data-series file: the input is the file. It is attached
// read-only, then listed as a tree, by names and in detail, loaded into the
// columns, and every series the tree names is opened.
#include <stdlib.h>

#include <cstdint>
#include <fstream>
#include <string>

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

static void OpenAll(SeriesStore& store, const TreeNode& node, const std::string& path) {
  for (const TreeNode& child : node.children) {
    std::string p = path + "." + child.caption;
    store.OpenSeries(store.ColumnSlots[500], p);
    if (store.ColumnSlots[500].IsOpen()) {
      int16_t lo, hi;
      store.SeriesIndexRange(store.ColumnSlots[500], lo, hi);
      for (int i = lo; i <= hi && i < lo + 100; ++i) store.GetVal(store.ColumnSlots[500], int16_t(i));
    }
    OpenAll(store, child, p);
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static krv::platform::ScriptedPrompts prompts;  // answers nothing, records little
  prompts.messages.clear();
  const std::string base = WorkDir() + "/F";
  {
    std::ofstream out(base + ".DSF", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  }
  SeriesStore store;
  store.AttachDSFReadOnly(base);
  if (store.FailureFlag) return 0;
  store.ShowDSFTree(true);
  TreeNode tree = store.Tree;
  store.ListDSFTree();
  store.ListDSFNames("&");
  store.ListSeriesDetails("&");
  store.LoadSeriesToColumns(store.ColumnSlots.data(), 0, "&");
  store.FailureFlag = false;
  store.FillDSDirCombo("&");
  OpenAll(store, tree, "");
  return 0;
}
