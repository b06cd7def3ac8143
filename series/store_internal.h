// What the store's own sources share and nobody else sees.
#pragma once

#include <string>
#include <vector>

#include "series/series_store.h"

namespace krv::series {

// Ends an operation: the file's damage, or a failed read or write.
struct SeriesStore::Fault {
  std::string text;
  bool always = false;  // the system's file errors are never silenced
};

// A series as stored, read and checked before anything uses it.
struct SeriesStore::SeriesImage {
  SeriesHeadRecord head;
  std::vector<int32_t> chain;  // data records in chain order
  std::vector<float> cells;    // their values, block after block
};

// Record numbers met by one walk, so that a cycle is found without a
// node allocated per block: open addressing, 0 marks a free slot (a walk
// never follows record 0).
class SeriesStore::RecordSet {
 public:
  // False when `n` was met before.
  bool Insert(int32_t n) {
    if ((used_ + 1) * 2 > slots_.size()) Grow();
    size_t mask = slots_.size() - 1;
    for (size_t i = Hash(n) & mask;; i = (i + 1) & mask) {
      if (slots_[i] == n) return false;
      if (slots_[i] == 0) {
        slots_[i] = n;
        ++used_;
        return true;
      }
    }
  }

 private:
  static size_t Hash(int32_t n) { return size_t(uint32_t(n) * 2654435761u); }
  void Grow() {
    std::vector<int32_t> old = std::move(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, 0);
    used_ = 0;
    for (int32_t n : old)
      if (n != 0) Insert(n);
  }
  std::vector<int32_t> slots_;
  size_t used_ = 0;
};

}  // namespace krv::series
