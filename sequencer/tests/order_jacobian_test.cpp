// Tests of the block-triangular ordering with tearing.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "sequencer/order_jacobian.h"
#include "sequencer/tests/literal_search.h"

using namespace krv::seq;
using Pairs = std::vector<std::pair<int, int>>;

struct Ordered {
  JacobianOrder order;
  std::vector<std::string> log;  // without the initial "LogMemo" line
};

static Ordered Order(int n, const Pairs& nz, const OrderingOptions& options = {}) {
  std::vector<int> rows, cols;
  for (auto [r, c] : nz) {
    rows.push_back(r);
    cols.push_back(c);
  }
  krv::pp::LogWriter log;
  Ordered out{OrderJacobian(n, rows, cols, log, options), {}};
  out.log.assign(log.Lines().begin() + 1, log.Lines().end());
  return out;
}

static Pairs EntriesOf(const JacobianOrder& o) {
  Pairs p;
  for (auto e : o.entries) p.push_back({e.row, e.column});
  return p;
}

using Log = std::vector<std::string>;

static std::vector<int> RowColumns(const IncidenceLists& l, int r) {
  std::vector<int> cols;
  for (int e = l.RowHead(r); e; e = l.NextInRow(e)) cols.push_back(l.Col(e));
  return cols;
}

TEST(IncidenceLists, InsertionWalksWhileBelowAndFindsDuplicatesAnywhere) {
  // Entries 1..4: (1,3), (1,4), (3,2), (3,1).
  const int rows[] = {1, 1, 3, 3}, cols[] = {3, 4, 2, 1};
  IncidenceLists l;
  l.BuildIncidenceLists(4, rows, cols, 4);
  std::vector<char> done(5, 0);
  std::vector<int> dropped;
  // Column 4 merged into column 2 renames (1,4) in place: row 1 reads 3, 2.
  l.MergeColumnInto(4, 2, done, dropped);
  EXPECT_EQ(RowColumns(l, 1), (std::vector<int>{3, 2}));
  EXPECT_TRUE(dropped.empty());
  // (3,2) duplicates the 2 behind the insertion point: refused.
  l.RemoveFromRow(3);
  EXPECT_FALSE(l.InsertIntoRow(3, 1));
  // (3,1) goes in front of the first column not below 1.
  l.RemoveFromRow(4);
  EXPECT_TRUE(l.InsertIntoRow(4, 1));
  EXPECT_EQ(RowColumns(l, 1), (std::vector<int>{1, 3, 2}));
  EXPECT_EQ(l.Row(4), 1);
}

TEST(OrderJacobian, LowerTriangularNeedsNoRepairAndNoTearing) {
  Ordered o = Order(3, {{1, 1}, {2, 1}, {2, 2}, {3, 2}, {3, 3}});
  EXPECT_EQ(o.log, (Log{"N=3", "Processing block 1 to 3", "N=3  TOTAL NONZ=5  UPPER=0  SPIKES=0"}));
  EXPECT_EQ(o.order.firstStageBlocks, (Pairs{{1, 1}, {2, 2}, {3, 3}}));
  EXPECT_EQ(o.order.RowPosition, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(EntriesOf(o.order), (Pairs{{1, 1}, {2, 1}, {2, 2}, {3, 2}, {3, 3}}));
}

TEST(OrderJacobian, RowsAreSolvedInDependencyOrder) {
  // Row 1 needs column 3, row 3 needs column 2: order 2, 3, 1.
  Ordered o = Order(3, {{1, 1}, {1, 3}, {2, 2}, {3, 3}, {3, 2}});
  EXPECT_EQ(o.order.RowPosition, (std::vector<int>{0, 3, 1, 2}));
  EXPECT_EQ(EntriesOf(o.order), (Pairs{{1, 1}, {2, 1}, {2, 2}, {3, 2}, {3, 3}}));
  EXPECT_EQ(o.log.back(), "N=3  TOTAL NONZ=5  UPPER=0  SPIKES=0");
}

TEST(OrderJacobian, TwoCoupledEquationsFormABlockThatIsNeverTorn) {
  Ordered o = Order(2, {{1, 1}, {1, 2}, {2, 1}, {2, 2}});
  EXPECT_EQ(o.log, (Log{"N=2", "Processing block 1 to 2", "N=2  TOTAL NONZ=4  UPPER=1  SPIKES=1"}));
  EXPECT_EQ(o.order.firstStageBlocks, (Pairs{{1, 2}}));
}

TEST(OrderJacobian, ThreeCycleIsMergedThenTornOnce) {
  Ordered o = Order(3, {{1, 1}, {2, 2}, {3, 3}, {1, 2}, {2, 3}, {3, 1}});
  EXPECT_EQ(o.log, (Log{"N=3", "Processing block 1 to 3", "Processing block 1 to 3",
                        "N=3  TOTAL NONZ=6  UPPER=1  SPIKES=1"}));
  EXPECT_EQ(o.order.firstStageBlocks, (Pairs{{1, 3}}));
  // Column 1 is torn: its row goes last, rows 3 and 2 come first.
  EXPECT_EQ(o.order.RowPosition, (std::vector<int>{0, 3, 2, 1}));
  EXPECT_EQ(EntriesOf(o.order), (Pairs{{1, 1}, {2, 1}, {2, 2}, {3, 2}, {1, 3}, {3, 3}}));
}

TEST(OrderJacobian, TwoCycleRepairIsFoundAtLevelTwo) {
  Ordered o = Order(2, {{1, 2}, {2, 1}});
  EXPECT_EQ(o.log, (Log{"N=2", "Elim diag zero at 1", "Searching at level 1 not found",
                        "Searching at level 2 found", "Processing block 1 to 2",
                        "N=2  TOTAL NONZ=2  UPPER=0  SPIKES=0"}));
  EXPECT_FALSE(o.order.singular);
  EXPECT_EQ(o.order.MatchedRow, (std::vector<int>{0, 2, 1}));
}

TEST(OrderJacobian, EmptyRowIsSingularAfterEveryLevel) {
  Ordered o = Order(2, {{1, 1}, {1, 2}});
  EXPECT_TRUE(o.order.singular);
  EXPECT_EQ(o.log, (Log{"N=2", "Elim diag zero at 2", "Searching at level 1 not found",
                        "Searching at level 2 not found"}));
}

TEST(OrderJacobian, EmptyMatrix) {
  Ordered o = Order(0, {});
  EXPECT_FALSE(o.order.singular);
  EXPECT_EQ(o.log, (Log{"N=0", "Processing block 1 to 0", "N=0  TOTAL NONZ=0  UPPER=0  SPIKES=0"}));
}

TEST(OrderJacobian, DuplicateNonzerosAreKeptTwice) {
  Ordered o = Order(2, {{1, 1}, {2, 1}, {2, 1}, {2, 2}});
  EXPECT_EQ(EntriesOf(o.order), (Pairs{{1, 1}, {2, 1}, {2, 1}, {2, 2}}));
  EXPECT_EQ(o.log.back(), "N=2  TOTAL NONZ=4  UPPER=0  SPIKES=0");
}

// A random n x n pattern; with `diagonal` every diagonal place is set.
static Pairs RandomPattern(std::mt19937& rng, int n, double density, bool diagonal) {
  std::bernoulli_distribution pick(density), twice(0.05);
  Pairs nz;
  for (int r = 1; r <= n; ++r)
    for (int c = 1; c <= n; ++c)
      if ((diagonal && r == c) || pick(rng)) {
        nz.push_back({r, c});
        if (twice(rng)) nz.push_back({r, c});
      }
  std::shuffle(nz.begin(), nz.end(), rng);
  return nz;
}

// The fast and the literal forms must agree on every output.
static void ExpectSameOrdering(const Ordered& fast, const Ordered& slow, int round) {
  ASSERT_EQ(fast.log, slow.log) << "round " << round;
  ASSERT_EQ(fast.order.singular, slow.order.singular) << "round " << round;
  ASSERT_EQ(EntriesOf(fast.order), EntriesOf(slow.order)) << "round " << round;
  ASSERT_EQ(fast.order.RowPosition, slow.order.RowPosition) << "round " << round;
  ASSERT_EQ(fast.order.MatchedRow, slow.order.MatchedRow) << "round " << round;
}

TEST(OrderJacobian, FastSearchAndSweepsMatchTheLiteralOnes) {
  std::mt19937 rng(12345);
  OrderingOptions literal;
  literal.search = krv::seq::testing::LiteralRepairSearch;
  literal.literalSweeps = true;
  int singular = 0, repaired = 0, torn = 0;
  for (int round = 0; round < 4000; ++round) {
    int n = 1 + int(rng() % 9);
    double density = 0.08 + 0.5 * double(rng() % 100) / 100.0;
    Pairs nz = RandomPattern(rng, n, density, round % 3 == 0);
    Ordered fast = Order(n, nz);
    Ordered slow = Order(n, nz, literal);
    ASSERT_NO_FATAL_FAILURE(ExpectSameOrdering(fast, slow, round));
    singular += fast.order.singular;
    repaired += std::count(fast.log.begin(), fast.log.end(), "Searching at level 1 not found") > 0;
    torn += !fast.order.singular && fast.log.back().find("SPIKES=0") == std::string::npos;
  }
  // The random cases reach every path of the ordering.
  EXPECT_GT(singular, 300);
  EXPECT_GT(repaired, 1000);
  EXPECT_GT(torn, 1000);
}

TEST(OrderJacobian, FastSweepsAndMergesMatchTheLiteralOnesOnLargerPatterns) {
  std::mt19937 rng(4242);
  OrderingOptions literal;
  literal.literalSweeps = true;
  for (int round = 0; round < 300; ++round) {
    int n = 20 + int(rng() % 60);
    double density = (1.0 + double(rng() % 60) / 10.0) / n;
    Pairs nz = RandomPattern(rng, n, density, round % 2 == 0);
    Ordered fast = Order(n, nz);
    Ordered slow = Order(n, nz, literal);
    ASSERT_EQ(fast.log, slow.log) << "round " << round;
    ASSERT_EQ(EntriesOf(fast.order), EntriesOf(slow.order)) << "round " << round;
  }
}

// One strongly coupled group: a cycle through all n rows (columns shifted
// by `shift`, so the diagonal needs repairs when it is not 0), `extra`
// random couplings per row and some repeated nonzeros; `singular` leaves
// the last column empty.
static Pairs CoupledPattern(std::mt19937& rng, int n, int extra, int shift, bool singular) {
  Pairs nz;
  for (int r = 1; r <= n; ++r) {
    nz.push_back({r, 1 + (r - 1 + shift) % n});
    nz.push_back({r, 1 + r % n});
    for (int k = 0; k < extra; ++k) nz.push_back({r, 1 + int(rng() % unsigned(n))});
    if (rng() % 10 == 0) nz.push_back(nz.back());
  }
  if (singular) std::erase_if(nz, [&](auto p) { return p.second == n; });
  std::shuffle(nz.begin(), nz.end(), rng);
  return nz;
}

TEST(OrderJacobian, FastSweepsAndMergesMatchTheLiteralOnesOnBigCoupledGroups) {
  std::mt19937 rng(31337);
  OrderingOptions literal;
  literal.literalSweeps = true;
  int singular = 0;
  for (int round = 0; round < 40; ++round) {
    int n = 60 + int(rng() % 240);
    int shift = round % 4 == 0 ? 0 : int(rng() % 5);
    Pairs nz = CoupledPattern(rng, n, 1 + int(rng() % 5), shift, round % 7 == 3);
    if (round % 2) {  // a lower-triangular tail feeding on the group
      for (int r = n + 1; r <= n + 40; ++r) {
        nz.push_back({r, r});
        nz.push_back({r, 1 + int(rng() % unsigned(r - 1))});
      }
      n += 40;
    }
    Ordered fast = Order(n, nz);
    Ordered slow = Order(n, nz, literal);
    ASSERT_NO_FATAL_FAILURE(ExpectSameOrdering(fast, slow, round));
    singular += fast.order.singular;
  }
  EXPECT_GT(singular, 2);
}

// Strongly connected components of the graph x -> matched column of each
// nonzero (x, c), as sets of rows.
static std::set<std::set<int>> Components(int n, const Pairs& nz, const std::vector<int>& matched) {
  std::vector<std::vector<int>> reach(size_t(n) + 1, std::vector<int>(size_t(n) + 1, 0));
  for (int x = 1; x <= n; ++x) reach[size_t(x)][size_t(x)] = 1;
  for (auto [r, c] : nz) reach[size_t(r)][size_t(matched[size_t(c)])] = 1;
  for (int k = 1; k <= n; ++k)
    for (int i = 1; i <= n; ++i)
      for (int j = 1; j <= n; ++j)
        if (reach[size_t(i)][size_t(k)] && reach[size_t(k)][size_t(j)]) reach[size_t(i)][size_t(j)] = 1;
  std::set<std::set<int>> out;
  for (int i = 1; i <= n; ++i) {
    std::set<int> comp;
    for (int j = 1; j <= n; ++j)
      if (reach[size_t(i)][size_t(j)] && reach[size_t(j)][size_t(i)]) comp.insert(j);
    out.insert(comp);
  }
  return out;
}

TEST(OrderJacobian, OrderingPropertiesOnRandomPatterns) {
  std::mt19937 rng(777);
  for (int round = 0; round < 1500; ++round) {
    int n = 1 + int(rng() % 14);
    Pairs nz = RandomPattern(rng, n, 0.05 + 0.3 * double(rng() % 100) / 100.0, round % 2 == 0);
    Ordered o = Order(n, nz);
    if (o.order.singular) continue;
    const auto& ord = o.order;
    // Every diagonal place is nonzero.
    std::set<std::pair<int, int>> placed;
    for (auto e : ord.entries) placed.insert({e.row, e.column});
    for (int p = 1; p <= n; ++p) ASSERT_TRUE(placed.count({p, p})) << "round " << round;
    // The first stage's blocks are the strongly connected components.
    std::set<std::set<int>> blocks;
    std::vector<int> blockAt(size_t(n) + 1);
    for (size_t b = 0; b < ord.firstStageBlocks.size(); ++b) {
      std::set<int> rows;
      for (int p = ord.firstStageBlocks[b].first; p <= ord.firstStageBlocks[b].second; ++p) {
        rows.insert(ord.firstStageRowAt[size_t(p)]);
        blockAt[size_t(p)] = int(b);
      }
      blocks.insert(rows);
    }
    ASSERT_EQ(blocks, Components(n, nz, ord.MatchedRow)) << "round " << round;
    // Block lower triangular; entries above the diagonal only inside blocks
    // of three or more.
    for (auto e : ord.entries) {
      ASSERT_GE(blockAt[e.row], blockAt[e.column]) << "round " << round;
      if (e.row < e.column) {
        auto b = ord.firstStageBlocks[size_t(blockAt[e.row])];
        ASSERT_EQ(blockAt[e.row], blockAt[e.column]);
        ASSERT_GE(b.second - b.first, 1) << "round " << round;
      }
    }
    // The output is sorted by column, then row.
    ASSERT_TRUE(std::is_sorted(ord.entries.begin(), ord.entries.end(), [](auto a, auto b) {
      return std::pair(a.column, a.row) < std::pair(b.column, b.row);
    }));
  }
}

TEST(OrderJacobian, LargeSingularMatrixIsRefusedAtOnce) {
  // 60 equations coupled in a dense pattern that all miss column 60: the
  // literal search would try every simple path at every level.
  const int n = 60;
  Pairs nz;
  for (int r = 1; r <= n; ++r)
    for (int c = 1; c < n; ++c)
      if (r == c || (r + c) % 3 == 0 || c == r + 1 || r == c + 1) nz.push_back({r, c});
  // The work is counted, not timed: at most one search per diagonal
  // position, each looking at every entry a few times.
  RepairPathFinder finder;
  long long searches = 0;
  OrderingOptions counted;
  counted.search = [&](const IncidenceLists& lists, int d, std::vector<int>& path) {
    ++searches;
    return finder(lists, d, path);
  };
  Ordered o = Order(n, nz, counted);
  EXPECT_TRUE(o.order.singular);
  EXPECT_LE(searches, n);
  EXPECT_LE(finder.Steps(), searches * 8 * (long long)nz.size());
  EXPECT_EQ(o.log.back(), "Searching at level 60 not found");
}

TEST(OrderJacobian, MergedEntriesKeepTheirPlaceInTheirRowLists) {
  // Merging renames entries in place, so a row list can leave column order;
  // later traces follow the list as it stands. Re-sorting the lists would
  // trace another cycle first and give another order.
  Ordered o = Order(11, {{1, 1}, {1, 9}, {2, 2}, {2, 3}, {2, 4}, {2, 8}, {2, 10}, {3, 1}, {3, 2},
                         {3, 3}, {3, 8}, {3, 10}, {3, 11}, {4, 2}, {4, 3}, {4, 4}, {4, 8}, {4, 9},
                         {5, 5}, {5, 7}, {6, 5}, {6, 6}, {6, 11}, {7, 5}, {7, 7}, {7, 8}, {8, 7},
                         {8, 8}, {9, 3}, {9, 9}, {10, 10}, {11, 5}, {11, 11}});
  EXPECT_EQ(EntriesOf(o.order),
            (Pairs{{1, 1}, {8, 1}, {10, 1}, {2, 2}, {4, 2}, {5, 2}, {6, 2}, {3, 3}, {4, 3},
                   {8, 3}, {9, 3}, {10, 3}, {2, 4}, {3, 4}, {4, 4}, {5, 5}, {6, 5}, {8, 5},
                   {6, 6}, {7, 7}, {8, 7}, {8, 8}, {9, 8}, {10, 8}, {11, 8}, {9, 9}, {10, 9},
                   {8, 10}, {9, 10}, {10, 10}, {7, 11}, {9, 11}, {11, 11}}));
  EXPECT_EQ(o.log.back(), "N=11  TOTAL NONZ=33  UPPER=6  SPIKES=3");
}

// A map that repeats one integration line gives one nonzero many times
// over. Merging the groups those copies sit in must cost about their
// number, not its square: the work is counted, not timed.
TEST(OrderJacobian, RepeatedEntriesCostLinearWork) {
  const int copies = 150000;
  struct Case {
    const char* name;
    int n;
    Pairs loop;        // a strongly coupled group
    std::pair<int, int> repeated;
  } cases[] = {
      {"two-cycle", 2, {{1, 1}, {2, 2}, {1, 2}, {2, 1}}, {2, 1}},
      {"three-cycle", 3, {{1, 1}, {2, 2}, {3, 3}, {2, 1}, {3, 2}, {1, 3}}, {3, 2}},
      {"diagonal", 3, {{1, 1}, {2, 2}, {3, 3}, {2, 1}, {3, 2}, {1, 3}}, {2, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Pairs nz = c.loop;
    nz.insert(nz.end(), copies, c.repeated);
    Ordered o = Order(c.n, nz);
    EXPECT_FALSE(o.order.singular);
    EXPECT_EQ(o.order.entries.size(), nz.size());
    EXPECT_LE(o.order.listSteps, 8LL * (long long)nz.size());
  }
}
