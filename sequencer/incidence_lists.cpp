// The sparse incidence structure of one ordering stage.
#include "sequencer/incidence_lists.h"

#include <algorithm>
#include <cassert>

namespace krv::seq {

void IncidenceLists::BuildIncidenceLists(int n, const int* rows, const int* cols, int count, int shift) {
  n_ = n;
  count_ = count;
  const size_t size = size_t(count) + 1;
  row_.resize(size);
  col_.resize(size);
  nextInRow_.resize(size);
  prevInRow_.resize(size);
  nextInCol_.resize(size);
  prevInCol_.resize(size);
  row_[0] = col_[0] = 0;
  for (int i = 0; i < count; ++i) {
    row_[size_t(i) + 1] = rows[i] - shift;
    col_[size_t(i) + 1] = cols[i] - shift;
  }
  inRow_.assign(size, 1);
  inCol_.assign(size, 1);
  rowTarget_.owner = rowTarget_.last = rowTarget_.stamp = 0;
  rowTarget_.stampOf.assign(size_t(n) + 1, 0);
  rowTarget_.count.resize(size_t(n) + 1);
  rowTarget_.recordOf.resize(size_t(n) + 1);
  rowTarget_.recordKeys.Reset(n + 1);
  colTarget_.owner = colTarget_.stamp = 0;
  colTarget_.stampOf.assign(size_t(n) + 1, 0);
  colTarget_.count.resize(size_t(n) + 1);

  // One stable counting sort by column: each column's entries in entry
  // order, and taken row by row each row's in (column, entry) order.
  bucket_.assign(size_t(n) + 2, 0);
  for (int e = 1; e <= count; ++e) {
    assert(row_[e] >= 1 && row_[e] <= n && col_[e] >= 1 && col_[e] <= n);
    ++bucket_[size_t(col_[e]) + 1];
  }
  for (int k = 1; k <= n + 1; ++k) bucket_[size_t(k)] += bucket_[size_t(k) - 1];
  colCount_.resize(size_t(n) + 1);
  colCount_[0] = 0;
  for (int c = 1; c <= n; ++c) colCount_[size_t(c)] = bucket_[size_t(c) + 1] - bucket_[size_t(c)];
  order_.resize(size_t(count));
  for (int e = 1; e <= count; ++e) order_[size_t(bucket_[size_t(col_[e])]++)] = e;

  // Columns: consecutive runs of the sorted entries.
  colHead_.assign(size_t(n) + 1, 0);
  colTail_.assign(size_t(n) + 1, 0);
  for (int e : order_) {
    int c = col_[e], t = colTail_[c];
    prevInCol_[e] = t;
    nextInCol_[e] = 0;
    if (t)
      nextInCol_[t] = e;
    else
      colHead_[c] = e;
    colTail_[c] = e;
  }
  // Rows: linking backwards puts each list in the sorted order.
  rowHead_.assign(size_t(n) + 1, 0);
  rowCount_.assign(size_t(n) + 1, 0);
  for (size_t i = order_.size(); i-- > 0;) {
    int e = order_[i], r = row_[e], h = rowHead_[r];
    nextInRow_[e] = h;
    prevInRow_[e] = 0;
    if (h) prevInRow_[h] = e;
    rowHead_[r] = e;
    ++rowCount_[r];
  }
}

void IncidenceLists::AddRecord(int e, int k) {
  rowTarget_.recordKeys.Insert(k);
  rowTarget_.recordOf[size_t(k)] = e;
}

// Takes row r as the merge target: its columns, records and last entry.
void IncidenceLists::DescribeRow(int r) {
  RowTarget& t = rowTarget_;
  if (t.owner == r) return;
  t.owner = r;
  ++t.stamp;
  t.recordKeys.Clear();
  t.last = 0;
  int high = 0;
  for (int x = rowHead_[r]; x; x = nextInRow_[x]) {
    ++steps_;
    AddKey(t.stampOf, t.count, t.stamp, col_[x]);
    if (col_[x] > high) AddRecord(x, high = col_[x]);
    t.last = x;
  }
}

// Takes column c as the merge target: the rows it holds.
void IncidenceLists::DescribeCol(int c) {
  ColTarget& t = colTarget_;
  if (t.owner == c) return;
  t.owner = c;
  ++t.stamp;
  for (int x = colHead_[c]; x; x = nextInCol_[x]) {
    ++steps_;
    AddKey(t.stampOf, t.count, t.stamp, row_[x]);
  }
}

// Entry e of the described row is about to get column newColumn, or to
// leave the row (0). A record that falls or goes may uncover records among
// the entries up to the next record, which it hid.
void IncidenceLists::RekeyInRow(int e, int newColumn) {
  RowTarget& t = rowTarget_;
  const int oldKey = col_[e];
  if (newColumn > oldKey) {
    t.owner = 0;  // records could vanish further on; describe afresh
    return;
  }
  assert(KeyCount(t.stampOf, t.count, t.stamp, oldKey) > 0);
  --t.count[size_t(oldKey)];
  if (newColumn) AddKey(t.stampOf, t.count, t.stamp, newColumn);
  if (!newColumn && t.last == e) t.last = prevInRow_[e];
  if (!t.recordKeys.Contains(oldKey) || t.recordOf[size_t(oldKey)] != e) return;  // hides nothing
  int high = std::max(t.recordKeys.Previous(oldKey - 1), 0);
  int stopKey = t.recordKeys.Next(oldKey + 1);
  int stop = stopKey < 0 ? 0 : t.recordOf[size_t(stopKey)];
  t.recordKeys.Erase(oldKey);
  if (newColumn > high) AddRecord(e, high = newColumn);
  // No entry before the next record has a column above oldKey, so once one
  // with oldKey itself is a record the rest are hidden again: a run of
  // repeated columns costs one step, not its length.
  for (int y = nextInRow_[e]; y != stop && high < oldKey; y = nextInRow_[y]) {
    ++steps_;
    if (col_[y] > high) AddRecord(y, high = col_[y]);
  }
}

int IncidenceLists::FindEntryInColumn(int column, int row) const {
  for (int e = colHead_[column]; e; e = nextInCol_[e])
    if (row_[e] == row) return e;
  return 0;
}

void IncidenceLists::ExchangeColumns(int a, int b) {
  rowTarget_.owner = colTarget_.owner = 0;
  std::swap(colHead_[a], colHead_[b]);
  std::swap(colTail_[a], colTail_[b]);
  std::swap(colCount_[a], colCount_[b]);
  for (int e = colHead_[a]; e; e = nextInCol_[e]) col_[e] = a;
  for (int e = colHead_[b]; e; e = nextInCol_[e]) col_[e] = b;
}

void IncidenceLists::RemoveFromRow(int e) {
  assert(inRow_[e]);
  if (rowTarget_.owner && rowTarget_.owner == row_[e]) RekeyInRow(e, 0);
  inRow_[e] = 0;
  int p = prevInRow_[e], n = nextInRow_[e];
  if (p)
    nextInRow_[p] = n;
  else
    rowHead_[row_[e]] = n;
  if (n) prevInRow_[n] = p;
  nextInRow_[e] = prevInRow_[e] = 0;
}

void IncidenceLists::RemoveFromCol(int e) {
  assert(inCol_[e]);
  ColTarget& t = colTarget_;
  if (t.owner && t.owner == col_[e]) {
    assert(KeyCount(t.stampOf, t.count, t.stamp, row_[e]) > 0);
    --t.count[size_t(row_[e])];
  }
  inCol_[e] = 0;
  const int c = col_[e];
  int p = prevInCol_[e], n = nextInCol_[e];
  if (p)
    nextInCol_[p] = n;
  else
    colHead_[c] = n;
  if (n)
    prevInCol_[n] = p;
  else
    colTail_[c] = p;
  nextInCol_[e] = prevInCol_[e] = 0;
}

// Links e into row `into` in front of `before`, or after `last` when
// `before` is 0 (`last` 0: the row is empty).
void IncidenceLists::LinkIntoRow(int e, int into, int before, int last) {
  ColTarget& ct = colTarget_;
  // e's row is its key in its column's list.
  if (ct.owner && ct.owner == col_[e] && inCol_[e] && row_[e] != into) {
    --ct.count[size_t(row_[e])];
    AddKey(ct.stampOf, ct.count, ct.stamp, into);
  }
  if (rowTarget_.owner == into) rowTarget_.owner = 0;  // the caller keeps it up if it wants
  row_[e] = into;
  inRow_[e] = 1;
  int p = before ? prevInRow_[before] : last;
  nextInRow_[e] = before;
  prevInRow_[e] = p;
  if (p)
    nextInRow_[p] = e;
  else
    rowHead_[into] = e;
  if (before) prevInRow_[before] = e;
}

// Puts e at the end of column `into`.
void IncidenceLists::AppendToCol(int e, int into) {
  // e's column is its key in its row's list.
  if (rowTarget_.owner && rowTarget_.owner == row_[e] && inRow_[e] && col_[e] != into)
    RekeyInRow(e, into);
  ColTarget& ct = colTarget_;
  if (ct.owner == into) AddKey(ct.stampOf, ct.count, ct.stamp, row_[e]);
  col_[e] = into;
  inCol_[e] = 1;
  int t = colTail_[into];
  prevInCol_[e] = t;
  nextInCol_[e] = 0;
  if (t)
    nextInCol_[t] = e;
  else
    colHead_[into] = e;
  colTail_[into] = e;
}

void IncidenceLists::UnlinkColumnFromRows(int c) {
  for (int e = colHead_[c]; e; e = nextInCol_[e])
    if (!(row_[e] == c && col_[e] == c)) RemoveFromRow(e);
}

void IncidenceLists::UnlinkRowFromColumns(int r) {
  for (int e = rowHead_[r]; e; e = nextInRow_[e])
    if (!(row_[e] == r && col_[e] == r)) RemoveFromCol(e);
}

// Lists stop being sorted once merges rename entries in place, so the
// insertion point is the first column not below the new one, and a
// duplicate is an equal column anywhere in the row.
bool IncidenceLists::InsertIntoRow(int e, int r) {
  int before = 0, last = 0;
  for (int x = rowHead_[r]; x; x = nextInRow_[x]) {
    ++steps_;
    if (col_[x] == col_[e]) return false;
    if (!before && col_[x] >= col_[e]) before = x;
    last = x;
  }
  LinkIntoRow(e, r, before, last);
  return true;
}

bool IncidenceLists::InsertIntoCol(int e, int c) {
  for (int x = colHead_[c]; x; x = nextInCol_[x]) {
    ++steps_;
    if (row_[x] == row_[e]) return false;
  }
  AppendToCol(e, c);
  return true;
}

// Inserts one by one as InsertIntoRow does, without walking r's list: the
// first column not below k is always a "record", a column above every
// column before it, and inserting k keeps every record one, so the
// records' columns, which ascend along the list, find each insertion
// point; the column counts find the duplicates. The description of r stays
// valid for the next merge into r.
int IncidenceLists::MergeRowInto(int q, int r, const std::vector<char>& done) {
  RowTarget& t = rowTarget_;
  if (t.owner == q) t.owner = 0;
  if (batched_) DescribeRow(r);

  int e = rowHead_[q];
  rowHead_[q] = 0;
  int keptLast = 0, added = 0;
  while (e) {
    ++steps_;
    int following = nextInRow_[e];
    int k = col_[e];
    nextInRow_[e] = prevInRow_[e] = 0;
    if (done[size_t(k)] || k == q) {
      prevInRow_[e] = keptLast;
      if (keptLast)
        nextInRow_[keptLast] = e;
      else
        rowHead_[q] = e;
      keptLast = e;
      e = following;
      continue;
    }
    bool inserted;
    inRow_[e] = 0;
    if (!batched_) {
      inserted = InsertIntoRow(e, r);
    } else if (KeyCount(t.stampOf, t.count, t.stamp, k) > 0) {
      inserted = false;
    } else {
      int beforeKey = t.recordKeys.Next(k);
      int before = beforeKey < 0 ? 0 : t.recordOf[size_t(beforeKey)];
      LinkIntoRow(e, r, before, t.last);
      // LinkIntoRow forgets r's description; this insertion is the one it
      // would miss.
      t.owner = r;
      if (!before) t.last = e;
      AddKey(t.stampOf, t.count, t.stamp, k);
      AddRecord(e, k);
      inserted = true;
    }
    if (!inserted)
      RemoveFromCol(e);
    else if (k != r)
      ++added;
    e = following;
  }
  return added;
}

void IncidenceLists::MergeColumnInto(int q, int r, const std::vector<char>& done,
                                     std::vector<int>& lostRows) {
  ColTarget& t = colTarget_;
  if (t.owner == q) t.owner = 0;
  if (batched_) DescribeCol(r);

  int e = colHead_[q];
  colHead_[q] = colTail_[q] = 0;
  while (e) {
    ++steps_;
    int following = nextInCol_[e];
    int k = row_[e];
    nextInCol_[e] = prevInCol_[e] = 0;
    if (done[size_t(k)] || k == q) {
      int last = colTail_[q];
      prevInCol_[e] = last;
      if (last)
        nextInCol_[last] = e;
      else
        colHead_[q] = e;
      colTail_[q] = e;
      e = following;
      continue;
    }
    bool inserted;
    inCol_[e] = 0;
    if (!batched_) {
      inserted = InsertIntoCol(e, r);
    } else if (KeyCount(t.stampOf, t.count, t.stamp, k) > 0) {
      inserted = false;
    } else {
      AppendToCol(e, r);
      inserted = true;
    }
    if (!inserted) {
      RemoveFromRow(e);
      lostRows.push_back(k);
    } else if (k == r) {
      lostRows.push_back(k);  // it became r's own diagonal
    }
    e = following;
  }
}

}  // namespace krv::seq
