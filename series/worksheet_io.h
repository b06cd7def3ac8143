// The worksheet's exchange with other programs: WKS spreadsheets (written
// as .WKS, read from .WKS and .WK1; wks_file.cpp) and plain text tables
// (text_table.cpp). Reads replace worksheet columns by new series; writes
// put open columns into a file. The worksheet is told through the store's
// ColumnDisplay; the selected columns are arguments.
#pragma once

#include <cstdint>
#include <string>

#include "series/series_store.h"

namespace krv::series {

// Whether the column's slot holds a series.
inline bool ColumnInUse(const SeriesStore& store, int column) {
  return column >= 0 && column < kColumnCount && store.ColumnSlots[size_t(column)].IsOpen();
}

// Files larger than any worksheet could fill are refused before reading.
constexpr uint64_t kWKSMaxBytes = 640ull << 20;   // 510 columns of 65,536 cells
constexpr uint64_t kTXTMaxBytes = 512ull << 20;   // 510 fields of 14 bytes, 65,536 lines

// Reads a file to import whole; on failure "File error" (or the size
// refusal), FailureFlag set and false.
bool ReadImportFile(SeriesStore& store, const std::string& path, uint64_t maxBytes,
                    const char* format, std::string& bytes);

// Clears the worksheet and loads the file's cells: a cell in row r of file
// column c goes to index r + 1 of column c. The file is opened before any
// column is touched; "File error" when it cannot be.
void ReadWKSFile(SeriesStore& store, const std::string& path);

// Writes every open column, names in row 0 and the value at index i in row
// i - L + 1 (L the lowest index of all open columns); "File ERR" on failure.
void WriteWKSFile(SeriesStore& store, const std::string& path);

// Loads a text table into the columns from firstSelCol on; its data lines
// fill indices from RowUseLow on and RowUseHigh becomes the last one read.
void ReadTXTTable(SeriesStore& store, const std::string& path, int firstSelCol);

// Writes the open columns among firstSelCol..lastSelCol over the row-use
// range, with a name line for each when `withNames`.
void WriteTXTTable(SeriesStore& store, const std::string& path, bool withNames, int firstSelCol,
                   int lastSelCol);

}  // namespace krv::series
