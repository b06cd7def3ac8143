// Fuzzes reading a WKS spreadsheet from the input's bytes, in memory: the
// parse alone, its sink checking every promise the parse makes, then the
// bytes loaded into a worksheet that already holds a column, and the loaded
// series read back value by value.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/user_prompts.h"
#include "series/worksheet_io.h"

using namespace krv::series;

namespace {

class CheckingSink : public WKSCellSink {
 public:
  void Column(int column) override {
    Check(column >= 0 && column < kColumnCount && !seen[size_t(column)]);
    seen[size_t(column)] = true;
  }
  void Name(int column, const std::string& name) override {
    Check(Seen(column) && name.size() <= 74 && name.find(' ') == std::string::npos);
  }
  void Values(int column, int16_t first, const double* values, int count) override {
    Check(Seen(column) && first >= 1 && count >= 1 && int(first) + count - 1 <= INT16_MAX);
    for (int k = 0; k < count; ++k) Check(std::isfinite(values[k]));
  }

 private:
  static void Check(bool ok) {
    if (!ok) std::abort();
  }
  bool Seen(int column) const { return column >= 0 && column < kColumnCount && seen[size_t(column)]; }
  std::vector<bool> seen = std::vector<bool>(kColumnCount);
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static krv::platform::ScriptedPrompts prompts;
  prompts.messages.clear();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckingSink sink;
  if (ParseWKSCells(bytes, sink) < 0) std::abort();

  SeriesStore store;
  store.NewSeries(store.ColumnSlots[3], false, "");
  store.PutVal(store.ColumnSlots[3], 5, 1.0);
  LoadWKSCells(store, bytes, "F.WK1");
  for (ColumnSlot& s : store.ColumnSlots) {
    if (!s.IsOpen()) continue;
    int16_t lo, hi;
    store.SeriesIndexRange(s, lo, hi);
    for (int i = lo; i <= hi && i < lo + 64; ++i) store.GetVal(s, int16_t(i));
  }
  return 0;
}
