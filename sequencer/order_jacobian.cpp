// Block lower-triangular ordering of the incidence matrix, with tearing.
#include "sequencer/order_jacobian.h"

#include <algorithm>
#include <cassert>
#include <functional>
#include <queue>

#include "platform/text.h"
#include "sequencer/incidence_lists.h"

namespace krv::seq {

using platform::IntToString;

namespace {

// Above every row number; marks "no row" as the sweep's lowest open row.
constexpr int kNoRow = 32000;

using MinHeap = std::priority_queue<int, std::vector<int>, std::greater<int>>;

class Orderer {
 public:
  Orderer(int n, pp::LogWriter& log, const OrderingOptions& options)
      : n_(n), log_(log), literalSweeps_(options.literalSweeps), search_(options.search) {
    if (!search_) search_ = RepairPathFinder();
    lists_.SetBatchedMerges(!literalSweeps_);
  }

  JacobianOrder Run(const std::vector<int>& rows, const std::vector<int>& cols);

 private:
  bool MakeDiagonalZeroFree();
  void Exchange(int a, int b);
  void ProcessBlock(int first, int last);
  int ChooseTornColumn(int first, int last);
  void OrderBlockLiterally(int first, int last);
  void OrderBlockByReadiness(int first, int last);
  void Assign(int i);
  int NextOpenColumn(int row) const;
  int TraceAndMerge(int l);
  void TruncatePath(int at);
  void Merge(int q, int r);
  void PlaceBlock(int first, int last, int torn);
  void CarryEntries(int first, int last);
  void LogStatistics(const JacobianOrder& out);

  int n_;
  pp::LogWriter& log_;
  bool literalSweeps_;
  RepairSearch search_;
  IncidenceLists lists_;

  std::vector<int> t_;        // original column at each position
  std::vector<int> matched_;  // position of each original column
  std::vector<int> rowAt_;    // row at each position
  int stage_ = 0;
  std::vector<int> stageRow_, stageCol_, nextRow_, nextCol_;
  std::vector<int> rowStart_, byRow_;  // stage entries by their input row
  std::vector<std::pair<int, int>> pending_, subBlocks_;

  // Per block.
  std::vector<char> done_;
  std::vector<int> group_, order_, newPos_, subBlockOf_, nextSlot_;
  std::vector<std::vector<int>> members_;
  std::vector<int> openCount_;  // open columns left in each row's list
  MinHeap thisSweep_, nextSweep_;
  int sweepAt_ = 0;  // the row the running sweep has reached
  std::vector<int> path_, pathPos_, cycle_, lostRows_;
};

JacobianOrder Orderer::Run(const std::vector<int>& rows, const std::vector<int>& cols) {
  JacobianOrder out;
  const int z = int(rows.size());
  lists_.Build(n_, rows.data(), cols.data(), z);
  if (!MakeDiagonalZeroFree()) {
    out.singular = true;
    return out;
  }

  stageRow_ = rows;
  stageCol_.resize(size_t(z));
  for (int i = 0; i < z; ++i) stageCol_[size_t(i)] = matched_[cols[size_t(i)]];
  rowAt_.resize(size_t(n_) + 1);
  newPos_.resize(size_t(n_) + 1);
  for (int p = 0; p <= n_; ++p) rowAt_[size_t(p)] = newPos_[size_t(p)] = p;
  done_.assign(size_t(n_) + 1, 0);
  group_.assign(size_t(n_) + 1, 0);
  subBlockOf_.assign(size_t(n_) + 1, 0);
  nextSlot_.assign(size_t(n_) + 1, 0);
  openCount_.assign(size_t(n_) + 1, 0);
  pathPos_.assign(size_t(n_) + 1, 0);
  members_.resize(size_t(n_) + 1);
  stage_ = 0;
  pending_.assign(1, {1, n_});

  while (!pending_.empty()) {
    const int count = int(stageRow_.size());
    lists_.Build(n_, stageRow_.data(), stageCol_.data(), count);
    rowStart_.assign(size_t(n_) + 2, 0);
    for (int i = 0; i < count; ++i) ++rowStart_[size_t(stageRow_[size_t(i)]) + 1];
    for (int r = 1; r <= n_ + 1; ++r) rowStart_[size_t(r)] += rowStart_[size_t(r) - 1];
    byRow_.resize(size_t(count));
    {
      std::vector<int> fill(rowStart_.begin(), rowStart_.end() - 1);
      for (int i = 0; i < count; ++i) byRow_[size_t(fill[size_t(stageRow_[size_t(i)])]++)] = i;
    }
    subBlocks_.clear();
    nextRow_.clear();
    nextCol_.clear();
    for (auto [first, last] : pending_) ProcessBlock(first, last);
    if (stage_ == 0) {
      out.firstStageBlocks = subBlocks_;
      out.firstStageRowAt = rowAt_;
    }
    pending_.clear();
    if (subBlocks_.empty()) break;
    ++stage_;
    for (auto b : subBlocks_)
      if (b.second - b.first > 1) pending_.push_back(b);
    stageRow_.swap(nextRow_);
    stageCol_.swap(nextCol_);
  }

  out.rowPosition.assign(size_t(n_) + 1, 0);
  for (int p = 1; p <= n_; ++p) out.rowPosition[size_t(rowAt_[size_t(p)])] = p;
  out.matchedRow = matched_;
  std::vector<int> fr(rows.size()), fc(rows.size());
  for (int i = 0; i < z; ++i) {
    fr[size_t(i)] = out.rowPosition[size_t(rows[size_t(i)])];
    fc[size_t(i)] = out.rowPosition[size_t(matched_[size_t(cols[size_t(i)])])];
  }
  out.listSteps = lists_.Steps();
  lists_.Build(n_, fr.data(), fc.data(), z);
  out.entries.reserve(size_t(z));
  for (int e : lists_.ColumnOrder())
    out.entries.push_back({uint16_t(lists_.Row(e)), uint16_t(lists_.Col(e))});
  LogStatistics(out);
  return out;
}

bool Orderer::MakeDiagonalZeroFree() {
  log_.LogLine("N=" + IntToString(n_));
  t_.resize(size_t(n_) + 1);
  matched_.resize(size_t(n_) + 1);
  for (int p = 0; p <= n_; ++p) t_[size_t(p)] = matched_[size_t(p)] = p;
  std::vector<int> path;
  for (int k = 1; k <= n_; ++k) {
    int d = matched_[size_t(k)];
    if (lists_.FindEntryInColumn(d, d)) continue;
    log_.LogLine("Elim diag zero at " + IntToString(d));
    int found = search_(lists_, d, path);
    for (int level = 1; level <= (found ? found : n_); ++level) {
      log_.LogAppend("Searching at level " + IntToString(level));
      log_.LogLine(level == found ? " found" : " not found");
    }
    if (!found) return false;
    assert(int(path.size()) == found && path.back() == d);
    for (size_t i = 0; i + 1 < path.size(); ++i) Exchange(path[i], path[i + 1]);
  }
  return true;
}

void Orderer::Exchange(int a, int b) {
  lists_.ExchangeColumns(a, b);
  std::swap(t_[size_t(a)], t_[size_t(b)]);
  matched_[size_t(t_[size_t(a)])] = a;
  matched_[size_t(t_[size_t(b)])] = b;
}

void Orderer::ProcessBlock(int first, int last) {
  log_.LogLine("Processing block " + IntToString(first) + " to " + IntToString(last));
  for (int x = first; x <= last; ++x) {
    done_[size_t(x)] = 0;
    group_[size_t(x)] = 0;
    members_[size_t(x)].clear();
  }
  order_.clear();
  int torn = 0;
  if (stage_ > 0) {
    torn = ChooseTornColumn(first, last);
    done_[size_t(torn)] = 1;
    lists_.UnlinkColumnFromRows(torn);
    lists_.UnlinkRowFromColumns(torn);
  }
  if (literalSweeps_)
    OrderBlockLiterally(first, last);
  else
    OrderBlockByReadiness(first, last);
  PlaceBlock(first, last, torn);
  CarryEntries(first, last);

  std::vector<int> old(rowAt_.begin() + first, rowAt_.begin() + last + 1);
  for (int p = first; p <= last; ++p) rowAt_[size_t(newPos_[size_t(p)])] = old[size_t(p - first)];
  for (int p = first; p <= last; ++p) newPos_[size_t(p)] = p;
}

int Orderer::ChooseTornColumn(int first, int last) {
  int t = kNoRow;
  int maxRowCount = 0;
  for (int r = first; r <= last; ++r) {
    t = std::min(t, lists_.RowCount(r));
    maxRowCount = std::max(maxRowCount, lists_.RowCount(r));
  }
  std::vector<int> count(size_t(last - first + 1), 0);
  int best = first, largest = -1;
  auto recount = [&](bool all) {
    best = first;
    largest = -1;
    for (int c = first; c <= last; ++c) {
      int& k = count[size_t(c - first)];
      if (all || k != 0) {
        k = 0;
        for (int e = lists_.ColHead(c); e; e = lists_.NextInCol(e))
          if (lists_.RowCount(lists_.Row(e)) <= t) ++k;
      }
      if (k > largest) {
        largest = k;
        best = c;
      }
    }
  };
  recount(true);
  // Past the longest row the counts cannot grow any more.
  while (largest < 2 && t < maxRowCount) {
    ++t;
    recount(false);
  }
  int torn = best;
  for (int c = best + 1; c <= last; ++c)
    if (count[size_t(c - first)] >= largest && lists_.ColCount(c) > lists_.ColCount(torn)) torn = c;
  return torn;
}

// The first entry of the row's list in a column still to be solved.
int Orderer::NextOpenColumn(int row) const {
  for (int e = lists_.RowHead(row); e; e = lists_.NextInRow(e)) {
    int c = lists_.Col(e);
    if (!done_[size_t(c)] && c != row) return c;
  }
  return 0;
}

void Orderer::Assign(int i) {
  done_[size_t(i)] = 1;
  order_.push_back(i);
  lists_.UnlinkRowFromColumns(i);
  // Row i is solved and the row before it on the path loses column i.
  if (pathPos_[size_t(i)]) TruncatePath(pathPos_[size_t(i)]);
  if (literalSweeps_) return;
  // Column i is known now: every open row holding it has one column less.
  for (int e = lists_.ColHead(i); e; e = lists_.NextInCol(e)) {
    int y = lists_.Row(e);
    if (done_[size_t(y)] || y == i) continue;
    assert(openCount_[size_t(y)] > 0);
    if (--openCount_[size_t(y)] == 0) (y > sweepAt_ ? thisSweep_ : nextSweep_).push(y);
  }
}

void Orderer::OrderBlockLiterally(int first, int last) {
  for (;;) {
    int l = kNoRow;
    bool assigned = false;
    for (int i = first; i <= last; ++i) {
      if (done_[size_t(i)]) continue;
      if (NextOpenColumn(i)) {
        l = std::min(l, i);
      } else {
        Assign(i);
        assigned = true;
      }
    }
    if (l == kNoRow) return;
    if (!assigned) TraceAndMerge(l);
  }
}

// The sweeps of the literal form, driven by events: a sweep visits rows in
// ascending order and solves each row whose other columns are all known,
// so the rows it solves are exactly those that become solvable before it
// passes them; a row that becomes solvable behind it waits for the next.
void Orderer::OrderBlockByReadiness(int first, int last) {
  thisSweep_ = MinHeap();
  nextSweep_ = MinHeap();
  TruncatePath(1);
  for (int i = first; i <= last; ++i) {
    if (done_[size_t(i)]) continue;
    int k = 0;
    for (int e = lists_.RowHead(i); e; e = lists_.NextInRow(e)) {
      int c = lists_.Col(e);
      if (!done_[size_t(c)] && c != i) ++k;
    }
    openCount_[size_t(i)] = k;
    if (k == 0) thisSweep_.push(i);
  }
  int lowestOpen = first;
  for (;;) {
    sweepAt_ = first - 1;
    bool assigned = false;
    while (!thisSweep_.empty()) {
      int i = thisSweep_.top();
      thisSweep_.pop();
      assert(i > sweepAt_ && !done_[size_t(i)]);
      sweepAt_ = i;
      Assign(i);
      assigned = true;
    }
    while (lowestOpen <= last && done_[size_t(lowestOpen)]) ++lowestOpen;
    if (lowestOpen > last) return;
    if (assigned) {
      std::swap(thisSweep_, nextSweep_);
      continue;
    }
    int r = TraceAndMerge(lowestOpen);
    for (int y : lostRows_)
      if (!done_[size_t(y)]) --openCount_[size_t(y)];
    lostRows_.clear();
    assert(openCount_[size_t(r)] >= 0);
    if (openCount_[size_t(r)] == 0) thisSweep_.push(r);
  }
}

// Follows open columns from row l until the path meets itself, merges
// the rows of that cycle into its lowest one and returns that row. The
// fast form keeps the path between traces: a row's first open column
// changes only when that column is solved or merged, and those cut the
// path (TruncatePath), so what is left is what tracing again from l would
// walk.
int Orderer::TraceAndMerge(int l) {
  if (literalSweeps_) TruncatePath(1);
  if (path_.empty()) {
    path_.push_back(l);
    pathPos_[size_t(l)] = 1;
  }
  assert(path_.front() == l);
  int at = 0;  // 1-based position where the cycle starts
  for (int row = path_.back();;) {
    int c = NextOpenColumn(row);
    assert(c != 0);  // an unsolvable row always has an open column
    if (c == 0) break;
    if (pathPos_[size_t(c)]) {
      at = pathPos_[size_t(c)];
      break;
    }
    path_.push_back(c);
    pathPos_[size_t(c)] = int(path_.size());
    row = c;
  }
  if (at == 0) {
    TruncatePath(1);
    return l;
  }
  cycle_.assign(path_.begin() + (at - 1), path_.end());
  TruncatePath(at);
  int r = *std::min_element(cycle_.begin(), cycle_.end());
  for (int q : cycle_)
    if (q != r) Merge(q, r);
  return r;
}

// Drops the path from 1-based position `at` on.
void Orderer::TruncatePath(int at) {
  while (int(path_.size()) >= at) {
    pathPos_[size_t(path_.back())] = 0;
    path_.pop_back();
  }
}

void Orderer::Merge(int q, int r) {
  // Row r takes over q's open columns (q's own among them until the
  // column merge renames it onto r's diagonal).
  openCount_[size_t(r)] += lists_.MergeRowInto(q, r, done_);
  group_[size_t(q)] = r;
  auto& into = members_[size_t(r)];
  for (int x : members_[size_t(q)]) {
    group_[size_t(x)] = r;
    into.push_back(x);
  }
  into.push_back(q);
  members_[size_t(q)].clear();
  lists_.MergeColumnInto(q, r, done_, lostRows_);
  done_[size_t(q)] = 1;
}

void Orderer::PlaceBlock(int first, int last, int torn) {
  int p = first - 1;
  for (int x : order_) {
    int begin = ++p;
    newPos_[size_t(x)] = p;
    nextSlot_[size_t(x)] = p + 1;
    p += int(members_[size_t(x)].size());
    subBlockOf_[size_t(x)] = int(subBlocks_.size());
    subBlocks_.push_back({begin, p});
  }
  if (torn) newPos_[size_t(torn)] = ++p;
  assert(p == last);
  // Each group's members follow it in ascending order.
  for (int y = first; y <= last; ++y) {
    int g = group_[size_t(y)];
    if (g != 0) newPos_[size_t(y)] = nextSlot_[size_t(g)]++;
  }
  for (int x : order_) {
    assert(nextSlot_[size_t(x)] == subBlocks_[size_t(subBlockOf_[size_t(x)])].second + 1);
    group_[size_t(x)] = x;
  }
}

void Orderer::CarryEntries(int first, int last) {
  for (int r = first; r <= last; ++r) {
    int g = group_[size_t(r)];
    if (g == 0) continue;
    auto [sbFirst, sbLast] = subBlocks_[size_t(subBlockOf_[size_t(g)])];
    if (sbLast - sbFirst <= 1) continue;
    for (int k = rowStart_[size_t(r)]; k < rowStart_[size_t(r) + 1]; ++k) {
      int i = byRow_[size_t(k)];
      int nr = newPos_[size_t(r)];
      int nc = newPos_[size_t(stageCol_[size_t(i)])];
      if (nr >= sbFirst && nr <= sbLast && nc >= sbFirst && nc <= sbLast) {
        nextRow_.push_back(nr);
        nextCol_.push_back(nc);
      }
    }
  }
}

void Orderer::LogStatistics(const JacobianOrder& out) {
  long long upper = 0;
  std::vector<char> spike(size_t(n_) + 1, 0);
  long long spikes = 0;
  for (const auto& e : out.entries) {
    if (e.row >= e.column) continue;
    ++upper;
    if (!spike[e.column]) {
      spike[e.column] = 1;
      ++spikes;
    }
  }
  log_.LogLine("N=" + IntToString(n_) + "  TOTAL NONZ=" +
               IntToString(static_cast<long long>(out.entries.size())) + "  UPPER=" +
               IntToString(upper) + "  SPIKES=" + IntToString(spikes));
}

}  // namespace

JacobianOrder OrderJacobian(int n, const std::vector<int>& rows, const std::vector<int>& cols,
                            pp::LogWriter& log, const OrderingOptions& options) {
  assert(rows.size() == cols.size());
  Orderer orderer(n, log, options);
  return orderer.Run(rows, cols);
}

}  // namespace krv::seq
