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

}  // namespace krv::series
