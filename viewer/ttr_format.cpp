// Byte layout of the trajectory file.
#include "viewer/ttr_format.h"
#include "platform/little_endian.h"

#include <cassert>
#include <cstring>

namespace krv::view {

using platform::GetF32;
using platform::GetF64;
using platform::GetI16;
using platform::GetI32;
using platform::PutF32;
using platform::PutF64;
using platform::PutI16;
using platform::PutI32;

bool IsKnownMark(int16_t mark) {
  return mark == kMarkPacked || mark == kMarkSplit || mark == kMarkSplit32;
}

int PackedBlocksPerRecord(int d) { return (d + 3) / 16 + 1; }
int SplitBlocksPerRecord(int d) { return (d + 4) / 16 + 1; }

int16_t TTRHeader::Mark() const { return GetI16(bytes, 0); }
void TTRHeader::SetMark(int16_t mark) { PutI16(bytes, 0, mark); }
int16_t TTRHeader::D() const { return GetI16(bytes, 2); }
void TTRHeader::SetD(int16_t d) { PutI16(bytes, 2, d); }
int32_t TTRHeader::JTmax() const { return GetI32(bytes, 60); }
void TTRHeader::SetJTmax(int32_t jtmax) { PutI32(bytes, 60, jtmax); }
double TTRHeader::LastT() const { return GetF64(bytes, 12); }
void TTRHeader::SetLastT(double t) { PutF64(bytes, 12, t); }

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
  out.jt = GetI32(bytes);
  out.t = GetF64(bytes, 4);
  out.values.resize(size_t(layout.d) + 1);
  for (int i = 0; i <= layout.d; ++i) {
    size_t off = ValueOffset(layout, i);
    assert(off + 4 <= layout.RecordBytes());
    out.values[size_t(i)] = GetF32(bytes, off);
  }
}

std::vector<uint8_t> EncodePackedRecord(const TTRRecord& rec, int d) {
  assert(d >= 0 && rec.values.size() >= size_t(d) + 1);
  std::vector<uint8_t> out(size_t(PackedBlocksPerRecord(d)) * kBlockSize, 0);
  PutI32(out, 0, rec.jt);
  PutF64(out, 4, rec.t);
  for (int i = 0; i <= d; ++i) PutF32(out, 12 + 4 * size_t(i), rec.values[size_t(i)]);
  return out;
}

}  // namespace krv::view
