// Block lower-triangular ordering of the incidence matrix, with tearing.
#include "sequencer/order_jacobian.h"

#include <algorithm>
#include <cassert>
#include <functional>
#include <limits>
#include <bit>
#include <cstdint>

#include "platform/text.h"
#include "sequencer/incidence_lists.h"

namespace krv::seq {

using platform::IntToString;

namespace {

// Above every row number; marks "no row" as the sweep's lowest open row.
constexpr int kNoRow = 32000;

// The rows waiting for a sweep, a bit each. A sweep takes them in
// ascending order and only adds rows beyond the one it has reached, so
// the search for the next never looks back.
class SweepRows {
 public:
  void Reset(int n) {
    words_.assign(size_t(n) / 64 + 1, 0);
    at_ = 0;
    count_ = 0;
  }
  bool Empty() const { return count_ == 0; }
  void Push(int y) {
    uint64_t& w = words_[size_t(y) / 64];
    const uint64_t bit = uint64_t(1) << (y % 64);
    count_ += !(w & bit);
    w |= bit;
  }
  // From the lowest row on again, for a new sweep.
  void Restart() { at_ = 0; }
  int PopLowest() {
    assert(count_ > 0);
    while (!words_[at_]) ++at_;
    uint64_t& w = words_[at_];
    const int y = int(at_ * 64) + std::countr_zero(w);
    w &= w - 1;
    --count_;
    return y;
  }
  void Swap(SweepRows& other) {
    words_.swap(other.words_);
    std::swap(at_, other.at_);
    std::swap(count_, other.count_);
  }

 private:
  std::vector<uint64_t> words_;
  size_t at_ = 0;
  int count_ = 0;
};

class Orderer {
 public:
  Orderer(int n, pp::LogWriter& log, const OrderingOptions& options)
      : n_(n), log_(log), literalSweeps_(options.literalSweeps), search_(options.search) {
    if (!search_) search_ = RepairPathFinder();
    lists_.SetBatchedMerges(!literalSweeps_);
  }

  JacobianOrder Run(const std::vector<int>& rows, const std::vector<int>& cols);

 private:
  // A block waiting for a stage: its positions and its entries' range in
  // the stage's entries, which hold the block's columns (numbered 1..m in
  // the block) row by row in the order of its rows; row p's end in them
  // is stageRowEnd_[p].
  struct Pending {
    int first, last;
    size_t begin, end;
  };

  bool MakeDiagonalZeroFree(const std::vector<int>& rows, const std::vector<int>& cols);
  void Exchange(int a, int b);
  void ProcessBlock(const Pending& block);
  int ChooseTornColumn(int first, int last);
  void OrderBlockLiterally(int first, int last);
  void OrderBlockByReadiness(int first, int last);
  void Compress(const Pending& block);
  bool AtMostOneCoupledGroup(int first, int last);
  void OrderBySweepNumbers(int first, int last);
  void Assign(int i);
  int NextOpenColumn(int row) const;
  int TraceAndMerge(int l);
  void TruncatePath(int at);
  void Merge(int q, int r);
  void PlaceBlock(int first, int last, int torn);
  void CarryEntries(const Pending& block, size_t firstSubBlock);
  bool CollectSubBlocks();
  void LogOrderingStatistics(const JacobianOrder& out);

  int n_;
  pp::LogWriter& log_;
  bool literalSweeps_;
  RepairSearch search_;
  IncidenceLists lists_;

  std::vector<int> t_;        // original column at each position
  std::vector<int> matched_;  // position of each original column
  std::vector<int> RowAtPosition;    // row at each position
  int stage_ = 0;
  // The stage's entries, each pending block's together, and the next
  // stage's, gathered as the blocks are done: their columns, each row's
  // end and each column's count, the last two by position. Only
  // duplicate nonzeros could tell one order of a block's entries from
  // another, and they are alike, so the entries are kept in the order that
  // is cheapest to make: row by row.
  std::vector<int> stageCol_, stageRowEnd_, stageColCount_, nextCol_, nextRowEnd_, nextColCount_;
  size_t nextSize_ = 0;
  std::vector<Pending> pending_, nextPending_;
  std::vector<std::pair<int, int>> subBlocks_;

  // Per block. Each block is ordered on incidence lists of its own, with
  // its positions first..last numbered 1..m, so that its work stays in
  // a few cache lines and costs its own size, not the matrix's.
  int offset_ = 0;  // position of local number 0
  std::vector<int> tornCount_, byLength_, rowsByLength_, oldRowAt_, atPos_, blockRows_;
  // The block's entries compressed by row (their columns, in the stage's
  // entries), with each row's and column's count: all the ordering needs
  // unless it has to trace and merge, which takes the lists.
  const int* rowCols_ = nullptr;
  std::vector<int> rowStart_, rowCount_, colCount_;
  std::vector<char> done_;
  std::vector<int> group_, order_, nextSlot_;
  std::vector<int> NewPosition;  // local number -> local position in the block's order
  std::vector<std::vector<int>> members_;
  std::vector<int> openCount_;  // open columns left in each row's list
  SweepRows thisSweep_, nextSweep_;
  int sweepAt_ = 0;  // the row the running sweep has reached
  std::vector<int> path_, pathPos_, cycle_, lostRows_;
  // The one strongly coupled group of the block's open rows, when there is
  // no other (then it is merged at once); Tarjan's search finds it, and
  // each row's sweep number and the row it is swept as.
  bool wholeGroup_ = false;
  std::vector<int> coupled_, visitIndex_, lowLink_, sccStack_, dfsRow_, dfsEntry_;
  std::vector<int> sweepKey_, sweptAs_, bucket_;
};

JacobianOrder Orderer::Run(const std::vector<int>& rows, const std::vector<int>& cols) {
  JacobianOrder out;
  const int z = int(rows.size());
  if (!MakeDiagonalZeroFree(rows, cols)) {
    out.singular = true;
    return out;
  }

  // The first stage's one block: the whole matrix, row by row (a counting
  // sort), its columns where the repairs put them.
  stageRowEnd_.assign(size_t(n_) + 1, 0);
  stageColCount_.assign(size_t(n_) + 1, 0);
  for (int i = 0; i < z; ++i) {
    ++stageRowEnd_[size_t(rows[size_t(i)])];
    ++stageColCount_[size_t(matched_[size_t(cols[size_t(i)])])];
  }
  for (int p = 1, at = 0; p <= n_; ++p) {
    int count = stageRowEnd_[size_t(p)];
    stageRowEnd_[size_t(p)] = at;  // the row's start until it is filled
    at += count;
  }
  stageCol_.resize(size_t(z));
  nextCol_.resize(size_t(z));
  for (int i = 0; i < z; ++i)
    stageCol_[size_t(stageRowEnd_[size_t(rows[size_t(i)])]++)] = matched_[size_t(cols[size_t(i)])];
  nextRowEnd_.resize(size_t(n_) + 1);
  nextColCount_.resize(size_t(n_) + 1);
  RowAtPosition.resize(size_t(n_) + 1);
  for (int p = 0; p <= n_; ++p) RowAtPosition[size_t(p)] = p;
  stage_ = 0;
  pending_.assign(1, {1, n_, 0, size_t(z)});

  while (!pending_.empty()) {
    subBlocks_.clear();
    nextSize_ = 0;
    nextPending_.clear();
    for (const Pending& block : pending_) ProcessBlock(block);
    if (stage_ == 0) {
      out.firstStageBlocks = subBlocks_;
      out.firstStageRowAt = RowAtPosition;
    }
    if (!CollectSubBlocks()) break;
  }

  out.RowPosition.assign(size_t(n_) + 1, 0);
  for (int p = 1; p <= n_; ++p) out.RowPosition[size_t(RowAtPosition[size_t(p)])] = p;
  out.MatchedRow = matched_;
  out.listSteps = lists_.Steps();
  // The entries by column position, then row position: two stable
  // counting sorts (equal entries are alike, so their order is moot).
  std::vector<int>&fr = stageCol_, &fc = nextCol_, &byRow = blockRows_, &rowStart = stageRowEnd_,
                   &start = stageColCount_;
  fr.resize(size_t(z));
  fc.resize(size_t(z));
  byRow.resize(size_t(z));
  rowStart.assign(size_t(n_) + 2, 0);
  start.assign(size_t(n_) + 2, 0);
  for (int i = 0; i < z; ++i) {
    const int r = out.RowPosition[size_t(rows[size_t(i)])];
    const int c = out.RowPosition[size_t(matched_[size_t(cols[size_t(i)])])];
    fr[size_t(i)] = r;
    fc[size_t(i)] = c;
    ++rowStart[size_t(r) + 1];
    ++start[size_t(c) + 1];
  }
  for (int p = 1; p <= n_ + 1; ++p) {
    rowStart[size_t(p)] += rowStart[size_t(p) - 1];
    start[size_t(p)] += start[size_t(p) - 1];
  }
  for (int i = 0; i < z; ++i) byRow[size_t(rowStart[size_t(fr[size_t(i)])]++)] = i;
  out.entries.resize(size_t(z));
  for (int i : byRow)
    out.entries[size_t(start[size_t(fc[size_t(i)])]++)] = {uint16_t(fr[size_t(i)]), uint16_t(fc[size_t(i)])};
  LogOrderingStatistics(out);
  return out;
}

// The sub-blocks of three or more positions the stage made become the next
// stage's pending blocks; false when the stage made none.
bool Orderer::CollectSubBlocks() {
  if (subBlocks_.empty()) return false;
  ++stage_;
  pending_.swap(nextPending_);
  stageCol_.swap(nextCol_);
  stageRowEnd_.swap(nextRowEnd_);
  stageColCount_.swap(nextColCount_);
  return true;
}

bool Orderer::MakeDiagonalZeroFree(const std::vector<int>& rows, const std::vector<int>& cols) {
  log_.LogLine("N=" + IntToString(n_));
  t_.resize(size_t(n_) + 1);
  matched_.resize(size_t(n_) + 1);
  for (int p = 0; p <= n_; ++p) t_[size_t(p)] = matched_[size_t(p)] = p;
  // The lists are needed from the first zero on the diagonal; up to it no
  // column has moved, so the nonzeros tell which places are set.
  std::vector<char> onDiagonal(size_t(n_) + 1, 0);
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i] == cols[i]) onDiagonal[size_t(rows[i])] = 1;
  bool built = false;
  std::vector<int> path;
  for (int k = 1; k <= n_; ++k) {
    int d = matched_[size_t(k)];
    if (!built) {
      if (onDiagonal[size_t(d)]) continue;
      lists_.BuildIncidenceLists(n_, rows.data(), cols.data(), int(rows.size()));
      built = true;
    }
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

void Orderer::ProcessBlock(const Pending& block) {
  const int first = block.first, last = block.last;
  std::string line;
  line.reserve(40);
  line.append("Processing block ").append(IntToString(first)).append(" to ").append(IntToString(last));
  log_.LogLine(std::move(line));
  const int m = last - first + 1;
  offset_ = first - 1;
  Compress(block);

  const size_t size = size_t(m) + 1;
  done_.assign(size, 0);
  group_.assign(size, 0);
  nextSlot_.resize(size);
  NewPosition.resize(size);
  // Every list of members is empty between blocks (PlaceBlock empties them).
  if (members_.size() < size) members_.resize(size);
  wholeGroup_ = false;
  order_.clear();
  int torn = 0;
  if (stage_ > 0) {
    torn = ChooseTornColumn(1, m);
    done_[size_t(torn)] = 1;
  }
  if (!literalSweeps_) wholeGroup_ = AtMostOneCoupledGroup(1, m);
  if (!wholeGroup_) {
    openCount_.assign(size, 0);
    path_.clear();
    pathPos_.assign(size, 0);
    blockRows_.resize(block.end - block.begin);
    for (int x = 1; x <= m; ++x)
      std::fill(blockRows_.begin() + rowStart_[size_t(x)], blockRows_.begin() + rowStart_[size_t(x) + 1], x);
    lists_.BuildIncidenceLists(m, blockRows_.data(), rowCols_, int(block.end - block.begin));
    if (torn) {
      lists_.UnlinkColumnFromRows(torn);
      lists_.UnlinkRowFromColumns(torn);
    }
  }
  if (literalSweeps_)
    OrderBlockLiterally(1, m);
  else if (wholeGroup_)
    OrderBySweepNumbers(1, m);
  else
    OrderBlockByReadiness(1, m);
  const size_t firstSubBlock = subBlocks_.size();
  PlaceBlock(1, m, torn);
  CarryEntries(block, firstSubBlock);

  oldRowAt_.assign(RowAtPosition.begin() + first, RowAtPosition.begin() + last + 1);
  for (int x = 1; x <= m; ++x) RowAtPosition[size_t(offset_ + NewPosition[size_t(x)])] = oldRowAt_[size_t(x - 1)];
}

// The block's entries by row are the stage's, and the carry counted its
// columns.
void Orderer::Compress(const Pending& block) {
  const int m = block.last - block.first + 1;
  const int* rowEnd = stageRowEnd_.data() + offset_;
  const int* colCount = stageColCount_.data() + offset_;
  rowCols_ = stageCol_.data() + block.begin;
  rowCount_.resize(size_t(m) + 1);
  colCount_.resize(size_t(m) + 1);
  rowStart_.resize(size_t(m) + 2);
  rowCount_[0] = colCount_[0] = 0;
  rowStart_[0] = rowStart_[1] = 0;
  for (int x = 1; x <= m; ++x) {
    rowStart_[size_t(x) + 1] = rowEnd[x] - int(block.begin);
    rowCount_[size_t(x)] = rowStart_[size_t(x) + 1] - rowStart_[size_t(x)];
    colCount_[size_t(x)] = colCount[x];
  }
}

// The column to tear: the one most often in the shortest rows. Rows of at
// most t entries are counted in each column, t growing from the shortest
// row's length until some column counts two (or no row is longer); a
// column that counts none at the start is not counted later. Among the
// columns with the highest count the longest goes, the first on a tie.
int Orderer::ChooseTornColumn(int first, int last) {
  int t = kNoRow;
  int maxRowCount = 0;
  for (int r = first; r <= last; ++r) {
    t = std::min(t, rowCount_[size_t(r)]);
    maxRowCount = std::max(maxRowCount, rowCount_[size_t(r)]);
  }
  std::vector<int>& count = tornCount_;
  count.assign(size_t(last - first + 1), 0);
  // The counts at the shortest length, taken from the shortest rows; the
  // columns they reach are the ones that count.
  int largest = 0;
  for (int r = first; r <= last; ++r) {
    if (rowCount_[size_t(r)] > t) continue;
    for (int k = rowStart_[size_t(r)]; k < rowStart_[size_t(r) + 1]; ++k) {
      largest = std::max(largest, ++count[size_t(rowCols_[k] - first)]);
    }
  }
  if (largest < 2) {
    // Each counted column counts one. The length at which one would count
    // two is that of its second shortest row: taking the longer rows by
    // length, the first to bring a column to two tells it, and the counts
    // are then those at that length once all rows of it are taken. When no
    // column gets to two, every row is taken.
    byLength_.assign(size_t(maxRowCount) + 2, 0);
    for (int r = first; r <= last; ++r) ++byLength_[size_t(rowCount_[size_t(r)]) + 1];
    for (size_t len = 1; len < byLength_.size(); ++len) byLength_[len] += byLength_[len - 1];
    rowsByLength_.resize(size_t(last - first + 1));
    for (int r = first; r <= last; ++r) rowsByLength_[size_t(byLength_[size_t(rowCount_[size_t(r)])]++)] = r;
    int reachTwo = 0;
    for (int r : rowsByLength_) {
      const int len = rowCount_[size_t(r)];
      if (len <= t) continue;
      if (reachTwo && len > reachTwo) break;
      for (int k = rowStart_[size_t(r)]; k < rowStart_[size_t(r) + 1]; ++k) {
        int& n = count[size_t(rowCols_[k] - first)];
        if (n > 0 && ++n == 2 && !reachTwo) reachTwo = len;
      }
    }
  }
  int best = first;
  largest = -1;
  for (int c = first; c <= last; ++c)
    if (count[size_t(c - first)] > largest) {
      largest = count[size_t(c - first)];
      best = c;
    }
  int torn = best;
  for (int c = best + 1; c <= last; ++c)
    if (count[size_t(c - first)] >= largest && colCount_[size_t(c)] > colCount_[size_t(torn)]) torn = c;
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
  auto release = [&](int y) {
    if (done_[size_t(y)] || y == i) return;
    assert(openCount_[size_t(y)] > 0);
    if (--openCount_[size_t(y)] == 0) (y > sweepAt_ ? thisSweep_ : nextSweep_).Push(y);
  };
  for (int e = lists_.ColHead(i); e; e = lists_.NextInCol(e)) release(lists_.Row(e));
}

// Whether the open rows, each depending on the open columns of its list,
// form at most one strongly coupled group of two or more; its rows are
// left in coupled_. Tarjan's search, without recursion.
//
// With at most one such group the sweeps can be told without running
// them. The sweeps stall only once all else they can solve is solved and
// the group is left with what depends on it; the traces and merges would
// then fold exactly the group into its lowest row, which nothing else is
// waiting on, and the sweeps start again from that row with the rest. A
// row is solved in the sweep that solves the last of its columns, or in
// the next when that column's row (for the group's members: the group's
// lowest row) lies beyond it. So a row's sweep number is the highest, over
// its open columns, of the column's own plus one where its row lies beyond;
// the rows after the fold count on from kAfterFold. Tarjan's search
// finishes a row's columns before the row (a column met still on the
// search's stack puts the row into the group), so it takes the numbers as
// it goes: sweepKey_, and sweptAs_, the row each row is swept as.
static constexpr int kAfterFold = 1 << 24;

bool Orderer::AtMostOneCoupledGroup(int first, int last) {
  // A row's visit number while it is on the search's stack; 0 before its
  // visit, and above every number once its group is found or when it is
  // solved already, so that taking the lowest number reached needs no test.
  constexpr int kFinished = std::numeric_limits<int>::max();
  const size_t size = size_t(last) + 1;
  coupled_.clear();
  // The search's stacks never hold more than the block's rows.
  sccStack_.resize(size);
  dfsRow_.resize(size);
  dfsEntry_.resize(size);
  int* sccStack = sccStack_.data();
  int* dfsRow = dfsRow_.data();
  int* dfsEntry = dfsEntry_.data();
  int sccTop = 0, dfsTop = 0;
  visitIndex_.resize(size);
  lowLink_.resize(size);
  sweepKey_.resize(size);
  sweptAs_.resize(size);
  for (int x = first; x <= last; ++x) {
    visitIndex_[size_t(x)] = done_[size_t(x)] ? kFinished : 0;
    // A solved column adds nothing. A row still on the stack is read only
    // by itself or by rows of its group, whose numbers are set when the
    // group is found.
    sweepKey_[size_t(x)] = sweptAs_[size_t(x)] = 0;
  }
  int* index = visitIndex_.data();
  int* key = sweepKey_.data();
  int* as = sweptAs_.data();
  int visited = 0, groups = 0;
  int* lowLink = lowLink_.data();
  auto visit = [&](int v) {
    index[v] = lowLink[v] = ++visited;
    key[v] = 1;
    as[v] = v;
    sccStack[sccTop++] = v;
    dfsRow[dfsTop] = v;
    dfsEntry[dfsTop++] = rowStart_[size_t(v)];
  };
  for (int s = first; s <= last; ++s) {
    if (index[s]) continue;
    visit(s);
    while (dfsTop > 0) {
      const int v = dfsRow[dfsTop - 1];
      int k = dfsEntry[dfsTop - 1], next = 0, low = lowLink[v], sweep = key[v];
      const int end = rowStart_[size_t(v) + 1];
      for (; k < end; ++k) {
        const int c = rowCols_[k];
        const int x = index[c];
        if (x == 0) {
          next = c;
          ++k;
          break;
        }
        low = std::min(low, x);  // a row on the stack, or no change
        sweep = std::max(sweep, key[c] + (as[c] > v));
      }
      lowLink[v] = low;
      key[v] = sweep;
      dfsEntry[dfsTop - 1] = k;
      if (next) {
        visit(next);
        continue;
      }
      --dfsTop;
      if (low == index[v]) {
        const bool coupled = sccStack[sccTop - 1] != v;
        if (coupled && ++groups > 1) return false;
        int w, lowest = v;
        do {
          w = sccStack[--sccTop];
          index[w] = kFinished;
          if (coupled) {
            coupled_.push_back(w);
            lowest = std::min(lowest, w);
          }
        } while (w != v);
        if (coupled)
          for (int q : coupled_) {
            key[q] = kAfterFold + 1;
            as[q] = lowest;
          }
      }
      if (dfsTop > 0) {
        const int u = dfsRow[dfsTop - 1];
        lowLink[u] = std::min(lowLink[u], low);
        key[u] = std::max(key[u], key[v] + (as[v] > u));
      }
    }
  }
  return true;
}

// The one coupled group, if any, folded into its lowest row, and the rows
// put in the order of their sweeps: by sweep number, then row (a counting
// sort).
void Orderer::OrderBySweepNumbers(int first, int last) {
  if (!coupled_.empty()) {
    const int r = sweptAs_[size_t(coupled_.front())];
    for (int q : coupled_) {
      if (q == r) continue;
      group_[size_t(q)] = r;
      members_[size_t(r)].push_back(q);
      done_[size_t(q)] = 1;
    }
    coupled_.clear();
  }
  // Sweep numbers run up to the number of rows, before the fold and after.
  const int m = last - first + 1;
  auto bucketOf = [&](int key) { return key < kAfterFold ? key : m + 2 + (key - kAfterFold); };
  bucket_.assign(size_t(2 * m) + 5, 0);
  for (int x = first; x <= last; ++x)
    if (!done_[size_t(x)]) ++bucket_[size_t(bucketOf(sweepKey_[size_t(x)])) + 1];
  for (size_t b = 1; b < bucket_.size(); ++b) bucket_[b] += bucket_[b - 1];
  order_.resize(size_t(bucket_.back()));
  for (int x = first; x <= last; ++x)
    if (!done_[size_t(x)]) order_[size_t(bucket_[size_t(bucketOf(sweepKey_[size_t(x)]))]++)] = x;
  for (int x : order_) done_[size_t(x)] = 1;
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
  thisSweep_.Reset(last);
  nextSweep_.Reset(last);
  TruncatePath(1);
  for (int i = first; i <= last; ++i) {
    if (done_[size_t(i)]) continue;
    int k = 0;
    for (int e = lists_.RowHead(i); e; e = lists_.NextInRow(e)) {
      int c = lists_.Col(e);
      if (!done_[size_t(c)] && c != i) ++k;
    }
    openCount_[size_t(i)] = k;
    if (k == 0) thisSweep_.Push(i);
  }
  int lowestOpen = first;
  for (;;) {
    sweepAt_ = first - 1;
    bool assigned = false;
    thisSweep_.Restart();
    while (!thisSweep_.Empty()) {
      int i = thisSweep_.PopLowest();
      assert(i > sweepAt_ && !done_[size_t(i)]);
      sweepAt_ = i;
      Assign(i);
      assigned = true;
    }
    while (lowestOpen <= last && done_[size_t(lowestOpen)]) ++lowestOpen;
    if (lowestOpen > last) return;
    if (assigned) {
      thisSweep_.Swap(nextSweep_);
      continue;
    }
    int r = TraceAndMerge(lowestOpen);
    for (int y : lostRows_)
      if (!done_[size_t(y)]) --openCount_[size_t(y)];
    lostRows_.clear();
    assert(openCount_[size_t(r)] >= 0);
    if (openCount_[size_t(r)] == 0) thisSweep_.Push(r);
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
  [[maybe_unused]] const size_t firstSubBlock = subBlocks_.size();
  for (int x : order_) {
    int begin = ++p;
    NewPosition[size_t(x)] = p;
    nextSlot_[size_t(x)] = p + 1;
    p += int(members_[size_t(x)].size());
    subBlocks_.push_back({offset_ + begin, offset_ + p});
  }
  if (torn) NewPosition[size_t(torn)] = ++p;
  assert(p == last);
  // Each group's members follow it in ascending order.
  for (int y = first; y <= last; ++y) {
    int g = group_[size_t(y)];
    if (g != 0) NewPosition[size_t(y)] = nextSlot_[size_t(g)]++;
  }
  for (size_t i = 0; i < order_.size(); ++i) {
    const int x = order_[i];
    assert(nextSlot_[size_t(x)] - 1 + offset_ == subBlocks_[firstSubBlock + i].second);
    group_[size_t(x)] = x;
    members_[size_t(x)].clear();
  }
}

// The entries inside each new sub-block of three or more go on to the next
// stage, each sub-block's together, row by row in its order. A sub-block's
// rows and columns keep their order in it, so each row's columns need
// only be renumbered; an entry whose column went elsewhere falls outside
// the sub-block's numbers and stays behind.
void Orderer::CarryEntries(const Pending& block, size_t firstSubBlock) {
  const size_t blocks = subBlocks_.size() - firstSubBlock;
  const int m = block.last - block.first + 1;
  atPos_.resize(size_t(m) + 1);
  for (int x = 1; x <= m; ++x) atPos_[size_t(NewPosition[size_t(x)])] = x;
  int* out = nextCol_.data();
  const int* newPos = NewPosition.data();
  for (size_t s = 0; s < blocks; ++s) {
    auto [sbFirst, sbLast] = subBlocks_[firstSubBlock + s];
    if (sbLast - sbFirst < 2) continue;
    const size_t begin = nextSize_;
    const unsigned size = unsigned(sbLast - sbFirst + 1);
    const int shift = sbFirst - offset_ - 1;  // block's position -> sub-block's number
    int* colCount = nextColCount_.data() + sbFirst - 1;
    std::fill(colCount + 1, colCount + size + 1, 0);
    size_t n = nextSize_;
    for (int p = sbFirst; p <= sbLast; ++p) {
      const int x = atPos_[size_t(p - offset_)];
      const int* cols = rowCols_ + rowStart_[size_t(x)];
      const int* end = rowCols_ + rowStart_[size_t(x) + 1];
      for (; cols != end; ++cols) {
        const int to = newPos[*cols] - shift;
        if (unsigned(to - 1) >= size) continue;
        out[n++] = to;
        ++colCount[to];
      }
      nextRowEnd_[size_t(p)] = int(n);
    }
    nextSize_ = n;
    nextPending_.push_back({sbFirst, sbLast, begin, n});
  }
}

// The entries come by column, so a spike column's upper entries are
// together.
void Orderer::LogOrderingStatistics(const JacobianOrder& out) {
  long long upper = 0, spikes = 0;
  int lastSpike = 0;
  for (const auto& e : out.entries) {
    if (e.row >= e.column) continue;
    ++upper;
    if (e.column != lastSpike) {
      lastSpike = e.column;
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
