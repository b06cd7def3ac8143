// A series saved over itself again and again by a program of its own, for
// tests of what readers in another process see meanwhile.
#pragma once

#include <string>

#include "platform/user_prompts.h"
#include "series/series_store.h"
#include "testing/program.h"
#include "testing/temp_dir.h"

namespace krv::series {

// Generation g of the series .S: lengths[g - 1] values from index 0, every
// one of them g. The two lengths differ, so a read that mixes a head of one
// generation with records of the other shows.
struct Generations {
  int lengths[2];
};

// T.DSF in `dir`, holding generation 1.
inline bool CreateGenerationOne(const testing::TempDir& dir, const Generations& g) {
  platform::ScriptedPrompts prompts;
  SeriesStore store;
  store.CreateDSF(dir.File("T"));
  store.NewSeries(store.ColumnSlots[0], false, "");
  for (int i = 0; i < g.lengths[0]; ++i) store.PutVal(store.ColumnSlots[0], int16_t(i), 1);
  store.SaveSeries(store.ColumnSlots[0], ".S");
  return !store.FailureFlag;
}

// The store's command-line driver saving .S of T.DSF in `dir` `saves`
// times, generations 2, 1, 2, ... in turn; the last is 1 + saves % 2.
inline testing::Program StartAlternatingSaves(const testing::TempDir& dir, const Generations& g,
                                              int saves) {
  std::string script = "attach T\n";
  for (int k = 1; k <= saves; ++k) {
    int gen = 1 + k % 2;
    script += "new 1\nrowuse 0 " + std::to_string(g.lengths[gen - 1] - 1) + "\nfill 1 " +
              std::to_string(gen) + "\nsave 1 .S\n";
  }
  dir.Write("saves.cmd", script);
  return testing::StartProgram("series_script", {dir.File("saves.cmd")}, dir.path());
}

}  // namespace krv::series
