// Fuzzes the old-layout data-series file as Plotvane saves into it, up to
// the largest such file (32767 records): the input is the file, and after
// it the journal a change cut short may have left beside it
// (store_input.h). The journal is rolled back and the layout checked on
// attaching; then a DSDir, series (over existing ones too, where their
// chains are checked against every other chain) and the X links are
// written as one change, kept or dropped by the input's last byte.
#include <stdlib.h>

#include <cstdint>
#include <string>

#include "fuzz/store_input.h"
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
  krv::fuzz::WriteStoreInput(data, size, WorkFile());
  static krv::series::SeriesStore store;
  store.MessagesOn = false;
  OldDSFStore old;
  if (!old.AttachDSFOld(WorkFile()) || !old.Hold()) return 0;
  old.MakeDSDirOld(".R");
  old.MakeDSDirOld(".R.X");
  krv::series::ColumnSlot slot;
  store.NewSeries(slot, false, "fuzz");
  for (int16_t i = 0; i < 40; ++i) store.PutVal(slot, i, double(i));
  old.SaveSeriesOld(slot, ".R._T", "c", {});
  old.SaveSeriesOld(slot, ".R.X.A", "c", {});
  old.SetXSeriesOld(store, ".R._T", ".R.X.&");
  old.SetXSeriesOld(store, "", "&");
  store.FreeSeries(slot);
  if (size > 0 && data[size - 1] & 1) old.Abandon();
  old.CloseDSFOld();
  return 0;
}
