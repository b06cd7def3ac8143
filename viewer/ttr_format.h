// Byte layout of the trajectory file: 64-byte blocks, a header block and
// one record of R blocks per time step, in a packed or a split layout.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace krv::view {

constexpr int kBlockSize = 64;
// The viewer's tables hold variables 0..10999.
constexpr int kMaxVariables = 11000;

constexpr int16_t kMarkPacked = 30995;
constexpr int16_t kMarkSplit = 31000;
constexpr int16_t kMarkSplit32 = 32000;

bool IsKnownMark(int16_t mark);

// Blocks per record: 16 + 4D bytes packed, 20 + 4D bytes split.
int PackedBlocksPerRecord(int d);
int SplitBlocksPerRecord(int d);

// Block 0 of a trajectory file, kept as raw bytes so that copies carry the
// bytes the viewer does not interpret.
struct TTRHeader {
  std::array<uint8_t, kBlockSize> bytes{};

  int16_t Mark() const;
  void SetMark(int16_t mark);
  int16_t D() const;
  void SetD(int16_t d);
  // JTmax as held in memory: always at offset 60 (see Normalize).
  int32_t JTmax() const;
  void SetJTmax(int32_t jtmax);
  double LastT() const;
  void SetLastT(double t);
  // The compile label: a length byte at offset 20, at most 39 characters.
  std::string Label() const;
  void SetLabel(const std::string& label);

  // A 32000 file keeps JTmax at offset 52; copy it to offset 60 so that
  // offset 60 always holds JTmax in memory.
  void Normalize();
};

// How the records of one attached file lie.
struct TTRLayout {
  bool packed = true;
  int d = 0;  // variables 0..d
  int r = 1;  // blocks per record

  static TTRLayout ForHeader(const TTRHeader& h);
  static TTRLayout Packed(int d);
  int64_t FirstBlock(int64_t jt) const { return jt * r + 1; }
  size_t RecordBytes() const { return size_t(r) * kBlockSize; }
};

// One time step as read from or written to a file.
struct TTRRecord {
  int32_t jt = 0;
  double t = 0;
  std::vector<float> values;  // d + 1 values
};

// Byte offset of value `i` within a record: the split layout leaves bytes
// 60..63 out, so its values 12.. start at 64.
size_t ValueOffset(const TTRLayout& layout, int i);

// Decodes a record of layout.RecordBytes() bytes.
void DecodeRecord(const uint8_t* bytes, const TTRLayout& layout, TTRRecord& out);
// Encodes a record in the packed layout, zero padding to the block end.
std::vector<uint8_t> EncodePackedRecord(const TTRRecord& rec, int d);

}  // namespace krv::view
