// Byte layout of the trajectory file.
#include "viewer/ttr_format.h"

#include <bit>
#include <cassert>
#include <cstring>

namespace krv::view {

template <typename U>
static U LoadLE(const uint8_t* p) {
  U v = 0;
  for (size_t i = 0; i < sizeof(U); ++i) v |= U(p[i]) << (8 * i);
  return v;
}

template <typename U>
static void StoreLE(uint8_t* p, U v) {
  for (size_t i = 0; i < sizeof(U); ++i) p[i] = uint8_t(v >> (8 * i));
}

int16_t GetInt16(const uint8_t* p) { return int16_t(LoadLE<uint16_t>(p)); }
int32_t GetInt32(const uint8_t* p) { return int32_t(LoadLE<uint32_t>(p)); }
float GetSingle(const uint8_t* p) { return std::bit_cast<float>(LoadLE<uint32_t>(p)); }
double GetDouble(const uint8_t* p) { return std::bit_cast<double>(LoadLE<uint64_t>(p)); }
void PutInt16(uint8_t* p, int16_t v) { StoreLE(p, uint16_t(v)); }
void PutInt32(uint8_t* p, int32_t v) { StoreLE(p, uint32_t(v)); }
void PutSingle(uint8_t* p, float v) { StoreLE(p, std::bit_cast<uint32_t>(v)); }
void PutDouble(uint8_t* p, double v) { StoreLE(p, std::bit_cast<uint64_t>(v)); }

bool IsKnownMark(int16_t mark) {
  return mark == kMarkPacked || mark == kMarkSplit || mark == kMarkSplit32;
}

int PackedBlocksPerRecord(int d) { return (d + 3) / 16 + 1; }
int SplitBlocksPerRecord(int d) { return (d + 4) / 16 + 1; }

int16_t TTRHeader::Mark() const { return GetInt16(&bytes[0]); }
void TTRHeader::SetMark(int16_t mark) { PutInt16(&bytes[0], mark); }
int16_t TTRHeader::D() const { return GetInt16(&bytes[2]); }
void TTRHeader::SetD(int16_t d) { PutInt16(&bytes[2], d); }
int32_t TTRHeader::JTmax() const { return GetInt32(&bytes[60]); }
void TTRHeader::SetJTmax(int32_t jtmax) { PutInt32(&bytes[60], jtmax); }
double TTRHeader::LastT() const { return GetDouble(&bytes[12]); }
void TTRHeader::SetLastT(double t) { PutDouble(&bytes[12], t); }

std::string TTRHeader::Label() const {
  size_t len = bytes[20];
  if (len > 39) len = 39;
  return std::string(reinterpret_cast<const char*>(&bytes[21]), len);
}

void TTRHeader::SetLabel(const std::string& label) {
  size_t len = label.size() > 39 ? 39 : label.size();
  bytes[20] = uint8_t(len);
  std::memcpy(&bytes[21], label.data(), len);
}

void TTRHeader::Normalize() {
  if (Mark() == kMarkSplit32) std::memcpy(&bytes[60], &bytes[52], 4);
}

TTRLayout TTRLayout::ForHeader(const TTRHeader& h) {
  TTRLayout l;
  l.d = h.D();
  l.packed = h.Mark() == kMarkPacked;
  l.r = l.packed ? PackedBlocksPerRecord(l.d) : SplitBlocksPerRecord(l.d);
  return l;
}

TTRLayout TTRLayout::Packed(int d) {
  TTRLayout l;
  l.d = d;
  l.packed = true;
  l.r = PackedBlocksPerRecord(d);
  return l;
}

size_t ValueOffset(const TTRLayout& layout, int i) {
  return (layout.packed || i < 12) ? 12 + 4 * size_t(i) : 64 + 4 * size_t(i - 12);
}

void DecodeRecord(const uint8_t* bytes, const TTRLayout& layout, TTRRecord& out) {
  assert(layout.d >= 0 && layout.d < kMaxVariables);
  out.jt = GetInt32(bytes);
  out.t = GetDouble(bytes + 4);
  out.values.resize(size_t(layout.d) + 1);
  for (int i = 0; i <= layout.d; ++i) {
    size_t off = ValueOffset(layout, i);
    assert(off + 4 <= layout.RecordBytes());
    out.values[size_t(i)] = GetSingle(bytes + off);
  }
}

std::vector<uint8_t> EncodePackedRecord(const TTRRecord& rec, int d) {
  assert(d >= 0 && rec.values.size() >= size_t(d) + 1);
  std::vector<uint8_t> out(size_t(PackedBlocksPerRecord(d)) * kBlockSize, 0);
  PutInt32(out.data(), rec.jt);
  PutDouble(out.data() + 4, rec.t);
  for (int i = 0; i <= d; ++i) PutSingle(out.data() + 12 + 4 * size_t(i), rec.values[size_t(i)]);
  return out;
}

}  // namespace krv::view
