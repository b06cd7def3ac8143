// The sparse incidence structure of one ordering stage.
#include "sequencer/incidence_lists.h"

#include <cassert>

namespace krv::seq {

// Stable counting sort of `order` by key[e] (1..n).
static void CountingSort(std::vector<int>& order, std::vector<int>& scratch,
                         std::vector<int>& bucket, const std::vector<int>& key, int n) {
  bucket.assign(size_t(n) + 2, 0);
  for (int e : order) ++bucket[size_t(key[e]) + 1];
  for (int k = 1; k <= n + 1; ++k) bucket[k] += bucket[k - 1];
  scratch.resize(order.size());
  for (int e : order) scratch[size_t(bucket[key[e]]++)] = e;
  order.swap(scratch);
}

void IncidenceLists::Build(int n, const int* rows, const int* cols, int count) {
  n_ = n;
  count_ = count;
  row_.assign(size_t(count) + 1, 0);
  col_.assign(size_t(count) + 1, 0);
  nextInRow_.assign(size_t(count) + 1, 0);
  nextInCol_.assign(size_t(count) + 1, 0);
  order_.resize(size_t(count));
  for (int e = 1; e <= count; ++e) {
    row_[e] = rows[e - 1];
    col_[e] = cols[e - 1];
    assert(row_[e] >= 1 && row_[e] <= n && col_[e] >= 1 && col_[e] <= n);
    order_[size_t(e - 1)] = e;
  }
  // (row, column) order, equal keys by entry number, as a stable sort
  // from entry order gives it.
  CountingSort(order_, scratch_, bucket_, col_, n);
  CountingSort(order_, scratch_, bucket_, row_, n);
  LinkRows();
  CountingSort(order_, scratch_, bucket_, col_, n);
  LinkCols();
}

void IncidenceLists::LinkRows() {
  rowHead_.assign(size_t(n_) + 1, 0);
  rowCount_.assign(size_t(n_) + 1, 0);
  // Linking backwards puts each list in sorted order.
  for (size_t i = order_.size(); i-- > 0;) {
    int e = order_[i];
    nextInRow_[e] = rowHead_[row_[e]];
    rowHead_[row_[e]] = e;
    ++rowCount_[row_[e]];
  }
}

void IncidenceLists::LinkCols() {
  colHead_.assign(size_t(n_) + 1, 0);
  colCount_.assign(size_t(n_) + 1, 0);
  for (size_t i = order_.size(); i-- > 0;) {
    int e = order_[i];
    nextInCol_[e] = colHead_[col_[e]];
    colHead_[col_[e]] = e;
    ++colCount_[col_[e]];
  }
}

int IncidenceLists::FindEntryInColumn(int column, int row) const {
  for (int e = colHead_[column]; e; e = nextInCol_[e])
    if (row_[e] == row) return e;
  return 0;
}

void IncidenceLists::ExchangeColumns(int a, int b) {
  std::swap(colHead_[a], colHead_[b]);
  std::swap(colCount_[a], colCount_[b]);
  for (int e = colHead_[a]; e; e = nextInCol_[e]) col_[e] = a;
  for (int e = colHead_[b]; e; e = nextInCol_[e]) col_[e] = b;
}

// One direction of the lists: a row list is keyed by column and owned by
// the entry's row, a column list the other way round.
struct IncidenceLists::Side {
  std::vector<int> IncidenceLists::*head;
  std::vector<int> IncidenceLists::*next;
  std::vector<int> IncidenceLists::*owner;
  std::vector<int> IncidenceLists::*key;
};
const IncidenceLists::Side IncidenceLists::kRows{&IncidenceLists::rowHead_,
                                                 &IncidenceLists::nextInRow_,
                                                 &IncidenceLists::row_, &IncidenceLists::col_};
const IncidenceLists::Side IncidenceLists::kCols{&IncidenceLists::colHead_,
                                                 &IncidenceLists::nextInCol_,
                                                 &IncidenceLists::col_, &IncidenceLists::row_};

void IncidenceLists::Remove(const Side& s, int e) {
  auto& next = this->*s.next;
  int* link = &(this->*s.head)[(this->*s.owner)[e]];
  while (*link && *link != e) link = &next[*link];
  assert(*link == e);
  if (*link) *link = next[e];
  next[e] = 0;
}

void IncidenceLists::RemoveFromRow(int e) { Remove(kRows, e); }
void IncidenceLists::RemoveFromCol(int e) { Remove(kCols, e); }

void IncidenceLists::UnlinkColumnFromRows(int c) {
  for (int e = colHead_[c]; e; e = nextInCol_[e])
    if (!(row_[e] == c && col_[e] == c)) RemoveFromRow(e);
}

void IncidenceLists::UnlinkRowFromColumns(int r) {
  for (int e = rowHead_[r]; e; e = nextInRow_[e])
    if (!(row_[e] == r && col_[e] == r)) RemoveFromCol(e);
}

// Lists stop being sorted once merges rename entries in place, so the
// insertion point is the first key not below the new one, and a duplicate
// is an equal key anywhere in the list.
bool IncidenceLists::Insert(const Side& s, int e, int into) {
  auto& next = this->*s.next;
  auto& key = this->*s.key;
  int* at = nullptr;
  int* link = &(this->*s.head)[into];
  for (; *link; link = &next[*link]) {
    if (key[*link] == key[e]) return false;
    if (!at && key[*link] >= key[e]) at = link;
  }
  if (!at) at = link;
  (this->*s.owner)[e] = into;
  next[e] = *at;
  *at = e;
  return true;
}

bool IncidenceLists::InsertIntoRow(int e, int r) { return Insert(kRows, e, r); }
bool IncidenceLists::InsertIntoCol(int e, int c) { return Insert(kCols, e, c); }

void IncidenceLists::MergeInto(const Side& s, const Side& other, int q, int r,
                               const std::vector<char>& done, std::vector<int>* dropped) {
  auto& next = this->*s.next;
  auto& key = this->*s.key;
  int e = (this->*s.head)[q];
  (this->*s.head)[q] = 0;
  int* tail = &(this->*s.head)[q];
  while (e) {
    int following = next[e];
    next[e] = 0;
    int k = key[e];
    if (done[k] || k == q) {
      *tail = e;
      tail = &next[e];
    } else if (!Insert(s, e, r)) {
      Remove(other, e);
      if (dropped) dropped->push_back(k);
    }
    e = following;
  }
}

void IncidenceLists::MergeRowInto(int q, int r, const std::vector<char>& done) {
  MergeInto(kRows, kCols, q, r, done, nullptr);
}

void IncidenceLists::MergeColumnInto(int q, int r, const std::vector<char>& done,
                                     std::vector<int>& droppedRows) {
  MergeInto(kCols, kRows, q, r, done, &droppedRows);
}

}  // namespace krv::seq
