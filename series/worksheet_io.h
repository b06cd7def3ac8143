// The worksheet's exchange with other programs: WKS spreadsheets (written
// as .WKS, read from .WKS and .WK1; wks_file.cpp) and plain text tables
// (text_table.cpp). Reads replace worksheet columns by new series; writes
// put open columns into a file. The worksheet is told through the store's
// ColumnDisplay; the selected columns are arguments.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

// What a WKS file's cells give, handed on in file order by ParseWKSCells.
// A cell in row r of file column c is for index r + 1 of column c.
class WKSCellSink {
 public:
  virtual ~WKSCellSink() = default;
  // The column's first cell, before anything else of it; 0 .. kColumnCount - 1.
  virtual void Column(int column) = 0;
  // A label of the column as a name: blanks as "_", at most 74 characters.
  virtual void Name(int column, const std::string& name) = 0;
  // Cells of one column at consecutive indices, first .. first + count - 1
  // (1 .. INT16_MAX, count at least 1); gaps are MissingValue.
  virtual void Values(int column, int16_t first, const double* values, int count) = 0;
};

// Parses a WKS or WK1 file's bytes, up to its EOF record or their end,
// touching nothing but `sink`; returns the count of cells left out: beyond
// the worksheet's columns or indices, or damaged.
long ParseWKSCells(std::string_view bytes, WKSCellSink& sink);

// Clears the worksheet and puts the cells of a WKS file's bytes into it:
// "from file " + path is the new columns' comment, a column's first label
// names it, a column with no value is freed, and the count of cells left
// out is reported.
void LoadWKSCells(SeriesStore& store, std::string_view bytes, const std::string& path);

// Reads the file and loads its cells (LoadWKSCells). The file is read
// before any column is touched; "File error" when it cannot be.
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
