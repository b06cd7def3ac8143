// The sparse incidence structure of one ordering stage: every nonzero is an
// entry in two singly linked lists, its row's and its column's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sequencer/key_set.h"

namespace krv::seq {

// Entries are numbered 1..Count(); 0 is the end of a list. A JacobianEntry
// is held across the arrays: its row, column and the links of its two lists. Rows and columns
// are numbered 1..n.
//
// A row list is ordered and the ordering reads it in that order, so entries
// go in at their place. A column list is only ever read as a set, but for
// one thing: among its entries of one row (a repeated nonzero) the first is
// the one a merge keeps, and that is always the lowest numbered. So a
// column list is kept in entry order and merges append to it: it is built
// in the same pass as the rows, and a merge into it needs no search.
class IncidenceLists {
 public:
  // Creates entries 1..count from rows[i], cols[i] (i = 0..count-1), less
  // `shift` (they number from shift + 1), and links every row list in
  // ascending column order, every column list in entry order; equal keys
  // keep their entry order. Also counts each row's and column's entries
  // (the counts stay as built).
  void BuildIncidenceLists(int n, const int* rows, const int* cols, int count, int shift = 0);

  int N() const { return n_; }
  int Count() const { return count_; }

  // Current row and column of an entry; merges and exchanges change them.
  int Row(int e) const { return row_[e]; }
  int Col(int e) const { return col_[e]; }
  int NextInRow(int e) const { return nextInRow_[e]; }
  int RowHead(int r) const { return rowHead_[r]; }
  int ColHead(int c) const { return colHead_[c]; }
  int NextInCol(int e) const { return nextInCol_[e]; }
  int RowCount(int r) const { return rowCount_[r]; }
  int ColCount(int c) const { return colCount_[c]; }

  // The entry of `row` in `column`'s list, or 0.
  int FindEntryInColumn(int column, int row) const;
  // Swaps the column lists of a and b and renames their entries' columns.
  void ExchangeColumns(int a, int b);
  // Removes every entry of column c except (c, c) from its row list.
  void UnlinkColumnFromRows(int c);
  // Removes every entry of row r except (r, r) from its column list.
  void UnlinkRowFromColumns(int r);

  // Merging a row or column into another (see the block ordering).
  // Moves entry e into row r's list: walks past entries whose column is
  // below e's and inserts there. False, without moving, when row r already
  // holds an entry in e's column anywhere in its list.
  bool InsertIntoRow(int e, int r);
  // Likewise into column c's list, at its end. False, without moving, when
  // column c already holds an entry in e's row.
  bool InsertIntoCol(int e, int c);
  // Unlinks entry e from its row's or its column's list.
  void RemoveFromRow(int e);
  void RemoveFromCol(int e);

  // Moves every entry of row q's list whose column is neither done nor q
  // into row r (InsertIntoRow); an entry whose column row r already has is
  // dropped and unlinked from its column list. Returns how many entries
  // row r gained in columns other than r.
  int MergeRowInto(int q, int r, const std::vector<char>& done);
  // Likewise every entry of column q's list whose row is neither done nor
  // q onto the end of column r's; a dropped entry is unlinked from its row
  // list. Every row that so lost its entry in an open column (dropped, or
  // renamed onto its own diagonal) is appended to `lostRows`.
  void MergeColumnInto(int q, int r, const std::vector<char>& done, std::vector<int>& lostRows);
  // Off: the merges insert entry by entry with InsertIntoRow and
  // InsertIntoCol, the plain form that checks the batched one.
  void SetBatchedMerges(bool on) { batched_ = on; }

  // Entries stepped over by the list walks of the merges and removals so
  // far (every BuildIncidenceLists included): the measure of their work.
  long long Steps() const { return steps_; }

 private:
  // What a batched row merge knows about its target row, kept from one
  // merge into the same row to the next and updated as the row changes,
  // so a merge costs the moved entries, not the target's length: the count
  // of every column in the row, its records (entries whose column is above
  // every column before them) and its last entry.
  struct RowTarget {
    int owner = 0;  // the row described; 0: none
    int last = 0;
    int stamp = 0;
    std::vector<int> stampOf, count;  // by column; a count is valid at stamp
    KeySet recordKeys;                // the records' columns, all different
    std::vector<int> recordOf;        // by column: the record holding it
  };
  // Likewise for a column merge's target: the count of every row in it.
  struct ColTarget {
    int owner = 0;
    int stamp = 0;
    std::vector<int> stampOf, count;  // by row
  };
  void DescribeRow(int r);
  void DescribeCol(int c);
  static int KeyCount(const std::vector<int>& stampOf, const std::vector<int>& count, int stamp, int k) {
    return stampOf[size_t(k)] == stamp ? count[size_t(k)] : 0;
  }
  static void AddKey(std::vector<int>& stampOf, std::vector<int>& count, int stamp, int k) {
    if (stampOf[size_t(k)] != stamp) {
      stampOf[size_t(k)] = stamp;
      count[size_t(k)] = 0;
    }
    ++count[size_t(k)];
  }
  void AddRecord(int e, int k);
  void RekeyInRow(int e, int newColumn);
  void LinkIntoRow(int e, int into, int before, int last);
  void AppendToCol(int e, int into);

  int n_ = 0;
  int count_ = 0;
  std::vector<int> row_, col_, nextInRow_, prevInRow_, nextInCol_, prevInCol_;
  std::vector<int> rowHead_, colHead_, colTail_, rowCount_, colCount_;
  std::vector<int> order_, bucket_;
  std::vector<char> inRow_, inCol_;  // entry is in its row / column list
  RowTarget rowTarget_;
  ColTarget colTarget_;
  bool batched_ = true;
  long long steps_ = 0;
};

}  // namespace krv::seq
