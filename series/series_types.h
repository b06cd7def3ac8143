// The values, records and limits that series in memory and the
// data-series file share.
#pragma once

#include <bit>
#include <cstdint>
#include <string>

namespace krv::series {

// Marks a cell without a value: the single 3.4e38, bits 0x7F7FC99E.
inline const float MissingValue = std::bit_cast<float>(uint32_t(0x7F7FC99E));
inline bool IsMissing(float v) { return std::bit_cast<uint32_t>(v) == 0x7F7FC99Eu; }

constexpr int kBlockCells = 31;         // values per block and data record
constexpr int kColumnCount = 510;       // the worksheet's slots
constexpr size_t kCommentMax = 108;     // series comment
constexpr size_t kEntryNameMax = 25;    // name of a DSDir entry, DSF name
constexpr size_t kComponentMax = 27;    // one component of a path
constexpr size_t kShortMax = 87;        // paths and messages
constexpr int kMaxDepth = 15;           // components of a path, DSDirs deep
inline constexpr const char* kNoName = "***noname***";

// Time of a save or of a file's creation; seconds are not kept.
struct DateStamp {
  int16_t year = 0;
  uint8_t month = 0, day = 0, hour = 0, minute = 0;
  bool operator==(const DateStamp&) const = default;
};

// The series header, also bytes 4..127 of a series head record.
struct SeriesHeader {
  int16_t base = 0;           // index of cell 0 of the first block
  int16_t highest = 0;        // highest index holding a stored value
  uint8_t firstOffset = 255;  // cell of the lowest value in block 0; 255 = empty
  std::string comment;        // at most 108 characters
  DateStamp stamp;            // last save; zero when never saved
  int32_t xHead = 0;          // head record of the X series; 0 = none

  bool Empty() const { return firstOffset == 255; }
};

// Where an open series came from.
struct SeriesDescriptor {
  int32_t headRecord = -1;         // -1 = never saved
  std::string path = kNoName;      // full DSF path
  std::string dsfName;             // name field of that file's header
  DateStamp dsfStamp;              // creation stamp of that file
};

enum EntryKind : uint8_t { kSeriesKind = 0, kDSDirKind = 1 };

// One entry of a DSDir block, also the handle of a DSDir or series.
struct DSDirEntry {
  int32_t record = -1;  // first block of the DSDir, or head of the series; -1 = free
  std::string name;     // case kept, at most 25 characters
  uint8_t kind = kSeriesKind;

  bool Used() const { return record != -1; }
  bool IsDSDir() const { return kind == kDSDirKind; }
  bool operator==(const DSDirEntry&) const = default;
};

inline DSDirEntry RootEntry() { return DSDirEntry{1, "", kDSDirKind}; }

}  // namespace krv::series
