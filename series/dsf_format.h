// The data-series file's 128-byte records as bytes: the header (record 0),
// DSDir blocks, series head records and data records. Little-endian; a
// string field is a length byte and its characters. Also the one look at
// a file's first bytes that tells this layout from the earlier one.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "series/series_types.h"

namespace krv::series {

constexpr size_t kRecordSize = 128;
constexpr uint32_t kDSFMagic = 0x00505050;
constexpr int kEntriesPerBlock = 4;

using RecordBytes = std::array<uint8_t, kRecordSize>;

// Record 0.
struct DSFHeaderRecord {
  uint32_t magic = kDSFMagic;
  int32_t nextFree = 2;  // the number of records the file should have
  std::string name;      // at most 25 characters
  DateStamp created;
  // Bumped by every change, so a store can tell whether the DSDir blocks
  // it has read are still those on disk. Kept in bytes the layout leaves
  // unused; readers that do not know it ignore it.
  uint32_t changeCount = 0;
};

struct DSDirBlock {
  int32_t link = 0;  // next block of the same DSDir; 0 = last
  std::array<DSDirEntry, kEntriesPerBlock> entries;
};

struct SeriesHeadRecord {
  int32_t firstData = 0;
  SeriesHeader header;
};

struct DataRecord {
  int32_t link = 0;  // next data record of the series; 0 = last
  std::array<float, kBlockCells> cells;
};

// Decoders return false when a string's length byte runs past its field
// (the fields are then cut to their width) or a kind is neither 0 nor 1.
RecordBytes EncodeHeader(const DSFHeaderRecord& h);
bool DecodeHeader(const RecordBytes& r, DSFHeaderRecord& h);
RecordBytes EncodeDirBlock(const DSDirBlock& b);
bool DecodeDirBlock(const RecordBytes& r, DSDirBlock& b);
RecordBytes EncodeHead(const SeriesHeadRecord& h);
bool DecodeHead(const RecordBytes& r, SeriesHeadRecord& h);
RecordBytes EncodeData(const DataRecord& d);
void DecodeData(const RecordBytes& r, DataRecord& d);
void EncodeCells(int32_t link, const float* cells, RecordBytes& out);
// A series' data records, one per block of kBlockCells cells: block k in
// record records[k], linked to records[k + 1] (the last to none).
void EncodeBlocks(const float* cells, const int32_t* records, int blocks, RecordBytes* out);
void DecodeCells(const RecordBytes& r, int32_t& link, float* cells);
int32_t DataLink(const RecordBytes& r);  // the link of a data record alone

// What the first four bytes of the file at `path` say of its layout: the
// magic number (kCurrent), or anything else (kEarlier: that layout has no
// magic, and a file shorter than four bytes counts as it too, to be
// refused by whoever reads it as such). kUnreadable when the file cannot
// be opened.
enum class DSFLayout { kUnreadable, kEarlier, kCurrent };
DSFLayout ProbeDSFLayout(const std::string& path);

// The name field by the name rule: the path from its last '/' or '\'
// (that separator included), else its start, cut to 25 characters.
std::string DSFNameOf(const std::string& path);

}  // namespace krv::series
