// Tests of the incidence lists' batched merges against entry-by-entry ones.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "sequencer/incidence_lists.h"

using krv::seq::IncidenceLists;

namespace {

// Every row list and column list as (entry, row, column) triples.
std::vector<int> Snapshot(const IncidenceLists& l) {
  std::vector<int> out;
  for (int r = 1; r <= l.N(); ++r) {
    out.push_back(-r);
    for (int e = l.RowHead(r); e; e = l.NextInRow(e)) out.insert(out.end(), {e, l.Row(e), l.Col(e)});
  }
  for (int c = 1; c <= l.N(); ++c) {
    out.push_back(-c);
    for (int e = l.ColHead(c); e; e = l.NextInCol(e)) out.insert(out.end(), {e, l.Row(e), l.Col(e)});
  }
  return out;
}

// A random entry of row (or column) x's list, or 0.
int PickEntry(const IncidenceLists& l, bool row, int x, std::mt19937& rng) {
  std::vector<int> all;
  for (int e = row ? l.RowHead(x) : l.ColHead(x); e; e = row ? l.NextInRow(e) : l.NextInCol(e))
    all.push_back(e);
  return all.empty() ? 0 : all[rng() % all.size()];
}

// Whether e is in its column's list (row: true) or its row's.
bool InOtherList(const IncidenceLists& l, bool row, int e) {
  for (int x = row ? l.ColHead(l.Col(e)) : l.RowHead(l.Row(e)); x;
       x = row ? l.NextInCol(x) : l.NextInRow(x))
    if (x == e) return true;
  return false;
}

}  // namespace

// Long random runs of merges mixed with every other change a list can
// undergo between two merges into the same target (removals, renames by
// merges elsewhere, unlinking, column exchanges), duplicates included: the
// batched merges, which remember their target, must leave every list
// exactly as single insertions do.
TEST(IncidenceLists, BatchedMergesMatchSingleInsertionsThroughMixedChanges) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 400; ++round) {
    const int n = 3 + int(rng() % 40);
    const int count = int(rng() % unsigned(n * 5)) + 1;
    std::vector<int> rows, cols;
    for (int i = 0; i < count; ++i) {
      rows.push_back(1 + int(rng() % unsigned(n)));
      cols.push_back(1 + int(rng() % unsigned(n)));
      if (rng() % 20 == 0) {  // a repeated nonzero
        rows.push_back(rows.back());
        cols.push_back(cols.back());
      }
    }
    IncidenceLists fast, plain;
    fast.BuildIncidenceLists(n, rows.data(), cols.data(), int(rows.size()));
    plain.BuildIncidenceLists(n, rows.data(), cols.data(), int(rows.size()));
    plain.SetBatchedMerges(false);
    std::vector<char> done(size_t(n) + 1, 0), solved(size_t(n) + 1, 0);
    // A few favoured targets, so merges into the same list follow each other.
    const int hot[] = {1 + int(rng() % unsigned(n)), 1 + int(rng() % unsigned(n))};
    for (int step = 0; step < 120; ++step) {
      int q = 1 + int(rng() % unsigned(n));
      int r = rng() % 3 ? hot[rng() % 2] : 1 + int(rng() % unsigned(n));
      if (solved[size_t(q)] || solved[size_t(r)]) continue;
      std::string what = "round " + std::to_string(round) + " step " + std::to_string(step);
      switch (rng() % 8) {
        case 0:
        case 1:
          if (q != r) {
            ASSERT_EQ(fast.MergeRowInto(q, r, done), plain.MergeRowInto(q, r, done)) << what;
          }
          break;
        case 2:
        case 3:
          if (q != r) {
            std::vector<int> lostFast, lostPlain;
            fast.MergeColumnInto(q, r, done, lostFast);
            plain.MergeColumnInto(q, r, done, lostPlain);
            ASSERT_EQ(lostFast, lostPlain) << what;
          }
          break;
        case 4: {
          // An entry leaves both its lists.
          int e = PickEntry(fast, rng() % 2, q, rng);
          if (e && InOtherList(fast, true, e) && InOtherList(fast, false, e)) {
            fast.RemoveFromRow(e);
            plain.RemoveFromRow(e);
            fast.RemoveFromCol(e);
            plain.RemoveFromCol(e);
          }
          break;
        }
        case 5:
          // A solved row leaves the column lists, a torn column the row
          // lists; either is done from then on.
          if (rng() % 3 == 0 && !solved[size_t(q)]) {
            if (rng() % 2) {
              fast.UnlinkRowFromColumns(q);
              plain.UnlinkRowFromColumns(q);
            } else {
              fast.UnlinkColumnFromRows(q);
              plain.UnlinkColumnFromRows(q);
            }
            solved[size_t(q)] = done[size_t(q)] = 1;
          }
          break;
        case 6:
          if (rng() % 6 == 0) {
            fast.ExchangeColumns(q, r);
            plain.ExchangeColumns(q, r);
          }
          break;
        default:
          if (!solved[size_t(q)]) done[size_t(q)] = char(rng() % 4 == 0);
          break;
      }
      ASSERT_EQ(Snapshot(fast), Snapshot(plain)) << what;
    }
  }
}
