// Fuzzes the old-layout data-series file: the layout check on attach, and
// a DSDir, a series and the X links written into whatever passed it.
#include <stdlib.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "series/series_store.h"
#include "viewer/old_dsf.h"

using namespace krv::view;

static const std::string& WorkFile() {
  static std::string path = [] {
    char tmpl[] = "/tmp/krv_old_dsf_fuzz.XXXXXX";
    return std::string(mkdtemp(tmpl)) + "/F.DSF";
  }();
  return path;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 64 * 128) return 0;
  {
    std::ofstream out(WorkFile(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  }
  static krv::series::SeriesStore store;
  store.MessagesOn = false;
  OldDSFStore old;
  if (!old.Attach(WorkFile())) return 0;
  old.MakeDSDir(".R");
  old.MakeDSDir(".R.X");
  krv::series::ColumnSlot slot;
  store.NewSeries(slot, false, "fuzz");
  for (int16_t i = 0; i < 40; ++i) store.PutVal(slot, i, double(i));
  old.SaveSeries(slot, ".R._T", "c", {});
  old.SaveSeries(slot, ".R.X.A", "c", {});
  old.SetXSeries(store, ".R._T", ".R.X.&");
  old.SetXSeries(store, "", "&");
  store.FreeSeries(slot);
  old.Close();
  return 0;
}
