// Fuzzes reading a text table: the first input byte picks the first column
// (so tables near the last column are tried) and the row-use low limit;
// the rest is the file. The loaded series are read back value by value.
#include <stdlib.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "platform/user_prompts.h"
#include "series/worksheet_io.h"

using namespace krv::series;

static const std::string& WorkDir() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/krv_txt_fuzz.XXXXXX";
    return std::string(mkdtemp(tmpl));
  }();
  return dir;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static krv::platform::ScriptedPrompts prompts;
  prompts.messages.clear();
  const std::string file = WorkDir() + "/T.TXT";
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data + 1), std::streamsize(size - 1));
  }
  SeriesStore store;
  int first = data[0] & 0x80 ? 500 + (data[0] & 7) : data[0] & 7;
  store.RowUseLow = int16_t(data[0] & 0x40 ? 11990 : -400);
  ReadTXTTable(store, file, first);
  for (ColumnSlot& s : store.ColumnSlots) {
    if (!s.IsOpen()) continue;
    int16_t lo, hi;
    store.SeriesIndexRange(s, lo, hi);
    for (int i = lo; i <= hi && i < lo + 64; ++i) store.GetVal(s, int16_t(i));
  }
  return 0;
}
