// Fuzzes reading a WKS spreadsheet: the input is the file. It is read into
// a worksheet that already holds a column, and the loaded series are read
// back value by value.
#include <stdlib.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "platform/user_prompts.h"
#include "series/worksheet_io.h"

using namespace krv::series;

static const std::string& WorkDir() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/krv_wks_fuzz.XXXXXX";
    return std::string(mkdtemp(tmpl));
  }();
  return dir;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static krv::platform::ScriptedPrompts prompts;
  prompts.messages.clear();
  const std::string file = WorkDir() + "/F.WK1";
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  }
  SeriesStore store;
  store.NewSeries(store.ColumnSlots[3], false, "");
  store.PutVal(store.ColumnSlots[3], 5, 1.0);
  ReadWKSFile(store, file);
  for (ColumnSlot& s : store.ColumnSlots) {
    if (!s.IsOpen()) continue;
    int16_t lo, hi;
    store.SeriesIndexRange(s, lo, hi);
    for (int i = lo; i <= hi && i < lo + 64; ++i) store.GetVal(s, int16_t(i));
  }
  return 0;
}
