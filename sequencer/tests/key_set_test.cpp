// Tests of the key set's neighbour queries against std::set.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "sequencer/key_set.h"

TEST(KeySet, NeighboursMatchAnOrderedSetAcrossWordAndSummaryBounds) {
  std::mt19937 rng(99);
  // Sizes around the word (64) and summary (4096) bounds.
  for (int size : {1, 63, 64, 65, 200, 4095, 4096, 4097, 10002}) {
    krv::seq::KeySet keys;
    keys.Reset(size);
    std::set<int> model;
    for (int step = 0; step < 3000; ++step) {
      int k = int(rng() % unsigned(size));
      if (rng() % 3 == 0) {
        keys.Erase(k);
        model.erase(k);
      } else if (rng() % 2) {
        keys.Insert(k);
        model.insert(k);
      }
      if (step == 1500) {
        keys.Clear();
        model.clear();
      }
      int q = int(rng() % unsigned(size + 2));
      auto next = model.lower_bound(q);
      ASSERT_EQ(keys.Next(q), next == model.end() ? -1 : *next) << size << " " << q;
      auto after = model.upper_bound(q);
      int previous = after == model.begin() ? -1 : *std::prev(after);
      ASSERT_EQ(keys.Previous(q), previous) << size << " " << q;
      ASSERT_EQ(keys.Contains(k), model.count(k) > 0);
    }
  }
}
