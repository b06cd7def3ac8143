// The sparse incidence structure of one ordering stage.
#include "sequencer/incidence_lists.h"

#include <algorithm>
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
  const size_t size = size_t(count) + 1;
  row_.assign(size, 0);
  col_.assign(size, 0);
  nextInRow_.assign(size, 0);
  prevInRow_.assign(size, 0);
  nextInCol_.assign(size, 0);
  prevInCol_.assign(size, 0);
  order_.resize(size_t(count));
  for (int e = 1; e <= count; ++e) {
    row_[e] = rows[e - 1];
    col_[e] = cols[e - 1];
    assert(row_[e] >= 1 && row_[e] <= n && col_[e] >= 1 && col_[e] <= n);
    order_[size_t(e - 1)] = e;
  }
  inRow_.assign(size, 1);
  inCol_.assign(size, 1);
  rowTarget_ = colTarget_ = TargetState();
  rowTarget_.stampOf.assign(size_t(n) + 1, 0);
  rowTarget_.count.assign(size_t(n) + 1, 0);
  rowTarget_.recordOf.assign(size_t(n) + 1, 0);
  rowTarget_.recordKeys.Reset(n + 1);
  colTarget_ = rowTarget_;
  // (column, row) order, equal keys by entry number, as a stable sort
  // from entry order gives it. Taken row by row it is also each row's
  // (column, entry) order, so both sides link from it.
  CountingSort(order_, scratch_, bucket_, row_, n);
  CountingSort(order_, scratch_, bucket_, col_, n);
  Link(kRows);
  Link(kCols);
}

// One direction of the lists: a row list is keyed by column and owned by
// the entry's row, a column list the other way round. Lists are doubly
// linked so that an entry leaves its list at once.
struct IncidenceLists::Side {
  std::vector<int> IncidenceLists::*head;
  std::vector<int> IncidenceLists::*next;
  std::vector<int> IncidenceLists::*prev;
  std::vector<int> IncidenceLists::*owner;
  std::vector<int> IncidenceLists::*key;
  std::vector<int> IncidenceLists::*count;
  std::vector<char> IncidenceLists::*linked;
  TargetState IncidenceLists::*target;
};
const IncidenceLists::Side IncidenceLists::kRows{
    &IncidenceLists::rowHead_, &IncidenceLists::nextInRow_, &IncidenceLists::prevInRow_,
    &IncidenceLists::row_,     &IncidenceLists::col_,       &IncidenceLists::rowCount_,
    &IncidenceLists::inRow_,   &IncidenceLists::rowTarget_};
const IncidenceLists::Side IncidenceLists::kCols{
    &IncidenceLists::colHead_, &IncidenceLists::nextInCol_, &IncidenceLists::prevInCol_,
    &IncidenceLists::col_,     &IncidenceLists::row_,       &IncidenceLists::colCount_,
    &IncidenceLists::inCol_,   &IncidenceLists::colTarget_};

IncidenceLists::TargetState& IncidenceLists::Target(const Side& s) { return this->*s.target; }

int IncidenceLists::KeyCount(const TargetState& t, int k) const {
  return t.stampOf[size_t(k)] == t.stamp ? t.count[size_t(k)] : 0;
}

void IncidenceLists::AddKey(TargetState& t, int k) {
  if (t.stampOf[size_t(k)] != t.stamp) {
    t.stampOf[size_t(k)] = t.stamp;
    t.count[size_t(k)] = 0;
  }
  ++t.count[size_t(k)];
}

void IncidenceLists::AddRecord(TargetState& t, int e, int k) {
  t.recordKeys.Insert(k);
  t.recordOf[size_t(k)] = e;
}

// Takes list r as the merge target: its keys, records and last entry.
void IncidenceLists::Describe(const Side& s, int r) {
  TargetState& t = Target(s);
  auto& next = this->*s.next;
  auto& key = this->*s.key;
  if (t.owner == r) return;
  t.owner = r;
  ++t.stamp;
  t.recordKeys.Clear();
  t.last = 0;
  int high = 0;
  for (int x = (this->*s.head)[r]; x; x = next[x]) {
    ++steps_;
    AddKey(t, key[x]);
    if (key[x] > high) AddRecord(t, x, high = key[x]);
    t.last = x;
  }
}

// Entry e of the described list is about to get key newKey, or to leave the
// list (newKey 0). A record that falls or goes may uncover records among
// the entries up to the next record, which it hid.
void IncidenceLists::Rekey(const Side& s, int e, int newKey) {
  TargetState& t = Target(s);
  auto& next = this->*s.next;
  auto& key = this->*s.key;
  const int oldKey = key[e];
  if (newKey > oldKey) {
    t.owner = 0;  // records could vanish further on; describe afresh
    return;
  }
  assert(KeyCount(t, oldKey) > 0);
  --t.count[size_t(oldKey)];
  if (newKey) AddKey(t, newKey);
  if (!newKey && t.last == e) t.last = (this->*s.prev)[e];
  if (!t.recordKeys.Contains(oldKey) || t.recordOf[size_t(oldKey)] != e) return;  // hides nothing
  int high = std::max(t.recordKeys.Previous(oldKey - 1), 0);
  int stopKey = t.recordKeys.Next(oldKey + 1);
  int stop = stopKey < 0 ? 0 : t.recordOf[size_t(stopKey)];
  t.recordKeys.Erase(oldKey);
  if (newKey > high) AddRecord(t, e, high = newKey);
  // No entry before the next record has a key above oldKey, so once one
  // with oldKey itself is a record the rest are hidden again: a run of
  // repeated keys costs one step, not its length.
  for (int y = next[e]; y != stop && high < oldKey; y = next[y]) {
    ++steps_;
    if (key[y] > high) AddRecord(t, y, high = key[y]);
  }
}

void IncidenceLists::Link(const Side& s) {
  auto& head = this->*s.head;
  auto& next = this->*s.next;
  auto& prev = this->*s.prev;
  auto& owner = this->*s.owner;
  auto& count = this->*s.count;
  head.assign(size_t(n_) + 1, 0);
  count.assign(size_t(n_) + 1, 0);
  // Linking backwards puts each list in the order of order_.
  for (size_t i = order_.size(); i-- > 0;) {
    int e = order_[i];
    int h = head[owner[e]];
    next[e] = h;
    prev[e] = 0;
    if (h) prev[h] = e;
    head[owner[e]] = e;
    ++count[owner[e]];
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
  std::swap(colCount_[a], colCount_[b]);
  for (int e = colHead_[a]; e; e = nextInCol_[e]) col_[e] = a;
  for (int e = colHead_[b]; e; e = nextInCol_[e]) col_[e] = b;
}

void IncidenceLists::Remove(const Side& s, int e) {
  auto& next = this->*s.next;
  auto& prev = this->*s.prev;
  assert((this->*s.linked)[e]);
  if (Target(s).owner && Target(s).owner == (this->*s.owner)[e]) Rekey(s, e, 0);
  (this->*s.linked)[e] = 0;
  int p = prev[e], n = next[e];
  if (p)
    next[p] = n;
  else
    (this->*s.head)[(this->*s.owner)[e]] = n;
  if (n) prev[n] = p;
  next[e] = prev[e] = 0;
}

void IncidenceLists::RemoveFromRow(int e) { Remove(kRows, e); }
void IncidenceLists::RemoveFromCol(int e) { Remove(kCols, e); }

// Links e into list `into` in front of `before`, or after `last` when
// `before` is 0 (`last` 0: the list is empty).
void IncidenceLists::LinkBefore(const Side& s, int e, int into, int before, int last) {
  auto& next = this->*s.next;
  auto& prev = this->*s.prev;
  auto& owner = this->*s.owner;
  // e's owner on this side is its key in the other side's list.
  const Side& o = &s == &kRows ? kCols : kRows;
  if (Target(o).owner && Target(o).owner == (this->*o.owner)[e] && (this->*o.linked)[e] &&
      owner[e] != into)
    Rekey(o, e, into);
  if (Target(s).owner == into) Target(s).owner = 0;  // the caller keeps it up if it wants
  owner[e] = into;
  (this->*s.linked)[e] = 1;
  int p = before ? prev[before] : last;
  next[e] = before;
  prev[e] = p;
  if (p)
    next[p] = e;
  else
    (this->*s.head)[into] = e;
  if (before) prev[before] = e;
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
// insertion point is the first key not below the new one, and a duplicate
// is an equal key anywhere in the list.
bool IncidenceLists::Insert(const Side& s, int e, int into) {
  auto& next = this->*s.next;
  auto& key = this->*s.key;
  int before = 0, last = 0;
  for (int x = (this->*s.head)[into]; x; x = next[x]) {
    ++steps_;
    if (key[x] == key[e]) return false;
    if (!before && key[x] >= key[e]) before = x;
    last = x;
  }
  LinkBefore(s, e, into, before, last);
  return true;
}

bool IncidenceLists::InsertIntoRow(int e, int r) { return Insert(kRows, e, r); }
bool IncidenceLists::InsertIntoCol(int e, int c) { return Insert(kCols, e, c); }

// Inserts one by one as Insert does, without walking r's list: the first
// key not below k is always a "record", a key above every key before it,
// and inserting k keeps every record one, so the records' keys, which
// ascend along the list, find each insertion point; the key counts find
// the duplicates. The
// description of r stays valid for the next merge into r.
int IncidenceLists::MergeInto(const Side& s, const Side& other, int q, int r,
                              const std::vector<char>& done, std::vector<int>* lost) {
  auto& next = this->*s.next;
  auto& prev = this->*s.prev;
  auto& key = this->*s.key;
  auto& head = this->*s.head;
  TargetState& t = Target(s);
  if (t.owner == q) t.owner = 0;
  if (batched_) Describe(s, r);

  int e = head[q];
  head[q] = 0;
  int keptLast = 0, added = 0;
  while (e) {
    ++steps_;
    int following = next[e];
    int k = key[e];
    next[e] = prev[e] = 0;
    if (done[k] || k == q) {
      prev[e] = keptLast;
      if (keptLast)
        next[keptLast] = e;
      else
        head[q] = e;
      keptLast = e;
      e = following;
      continue;
    }
    bool inserted;
    (this->*s.linked)[e] = 0;
    if (!batched_) {
      inserted = Insert(s, e, r);
    } else if (KeyCount(t, k) > 0) {
      inserted = false;
    } else {
      int beforeKey = t.recordKeys.Next(k);
      int before = beforeKey < 0 ? 0 : t.recordOf[size_t(beforeKey)];
      LinkBefore(s, e, r, before, t.last);
      // LinkBefore forgets r's description; this insertion is the one it
      // would miss.
      t.owner = r;
      if (!before) t.last = e;
      AddKey(t, k);
      AddRecord(t, e, k);
      inserted = true;
    }
    if (!inserted) {
      Remove(other, e);
      if (lost) lost->push_back(k);
    } else if (k != r) {
      ++added;
    } else if (lost) {
      lost->push_back(k);  // it became r's own diagonal
    }
    e = following;
  }
  return added;
}

int IncidenceLists::MergeRowInto(int q, int r, const std::vector<char>& done) {
  return MergeInto(kRows, kCols, q, r, done, nullptr);
}

void IncidenceLists::MergeColumnInto(int q, int r, const std::vector<char>& done,
                                     std::vector<int>& lostRows) {
  MergeInto(kCols, kRows, q, r, done, &lostRows);
}

}  // namespace krv::seq
