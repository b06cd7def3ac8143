// The data-series file's records as bytes.
#include "series/dsf_format.h"
#include "series/dsf_fields.h"

#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cstring>

#include "platform/little_endian.h"

namespace krv::series {

using platform::GetF32;
using platform::GetI16;
using platform::GetI32;
using platform::GetU32;
using platform::PutF32;
using platform::PutI16;
using platform::PutI32;
using platform::PutU32;

// A string field of `width` characters; the bytes past the length are zero.
void PutString(uint8_t* p, const std::string& s, size_t width) {
  size_t n = s.size() < width ? s.size() : width;
  p[0] = uint8_t(n);
  std::memcpy(p + 1, s.data(), n);
}
bool GetString(const uint8_t* p, size_t width, std::string& s) {
  size_t n = p[0];
  bool ok = n <= width;
  if (!ok) n = width;
  s.assign(reinterpret_cast<const char*>(p + 1), n);
  return ok;
}

void PutStamp(uint8_t* p, const DateStamp& d) {
  PutI16(p, 0, d.year);
  p[2] = d.month;
  p[3] = d.day;
  p[4] = d.hour;
  p[5] = d.minute;
}
DateStamp GetStamp(const uint8_t* p) {
  return DateStamp{GetI16(p), p[2], p[3], p[4], p[5]};
}

namespace {

constexpr size_t kEntrySize = 31;

}  // namespace

RecordBytes EncodeHeader(const DSFHeaderRecord& h) {
  RecordBytes r{};
  PutU32(r, 0, h.magic);
  PutI32(r, 4, h.nextFree);
  PutString(&r[8], h.name, kEntryNameMax);
  PutStamp(&r[34], h.created);
  PutU32(r, 40, h.changeCount);
  return r;
}

bool DecodeHeader(const RecordBytes& r, DSFHeaderRecord& h) {
  h.magic = GetU32(r, 0);
  h.nextFree = GetI32(r, 4);
  bool ok = GetString(&r[8], kEntryNameMax, h.name);
  h.created = GetStamp(&r[34]);
  h.changeCount = GetU32(r, 40);
  return ok;
}

RecordBytes EncodeDirBlock(const DSDirBlock& b) {
  RecordBytes r{};
  PutI32(r, 0, b.link);
  for (int k = 0; k < kEntriesPerBlock; ++k) {
    uint8_t* p = &r[4 + kEntrySize * size_t(k)];
    const DSDirEntry& e = b.entries[size_t(k)];
    PutI32(p, 0, e.record);
    PutString(p + 4, e.name, kEntryNameMax);
    p[30] = e.kind;
  }
  return r;
}

bool DecodeDirBlock(const RecordBytes& r, DSDirBlock& b) {
  bool ok = true;
  b.link = GetI32(r, 0);
  for (int k = 0; k < kEntriesPerBlock; ++k) {
    const uint8_t* p = &r[4 + kEntrySize * size_t(k)];
    DSDirEntry& e = b.entries[size_t(k)];
    e.record = GetI32(p);
    ok = GetString(p + 4, kEntryNameMax, e.name) && ok;
    e.kind = p[30];
    if (e.record != -1 && e.kind > kDSDirKind) ok = false;
  }
  return ok;
}

RecordBytes EncodeHead(const SeriesHeadRecord& h) {
  RecordBytes r{};
  PutI32(r, 0, h.firstData);
  PutI16(r, 4, h.header.base);
  PutI16(r, 6, h.header.highest);
  r[8] = h.header.firstOffset;
  PutString(&r[9], h.header.comment, kCommentMax);
  PutStamp(&r[118], h.header.stamp);
  PutI32(r, 124, h.header.xHead);
  return r;
}

bool DecodeHead(const RecordBytes& r, SeriesHeadRecord& h) {
  h.firstData = GetI32(r, 0);
  h.header.base = GetI16(r, 4);
  h.header.highest = GetI16(r, 6);
  h.header.firstOffset = r[8];
  bool ok = GetString(&r[9], kCommentMax, h.header.comment);
  h.header.stamp = GetStamp(&r[118]);
  h.header.xHead = GetI32(r, 124);
  return ok;
}

// A data record is a series' block as it stands in memory on a
// little-endian machine: one copy, where the byte loop would cost more
// than the system call that writes it.
void EncodeCells(int32_t link, const float* cells, RecordBytes& out) {
  PutI32(out, 0, link);
  if constexpr (std::endian::native == std::endian::little)
    std::memcpy(&out[4], cells, sizeof(float) * kBlockCells);
  else
    for (int k = 0; k < kBlockCells; ++k) PutF32(out, 4 + 4 * size_t(k), cells[k]);
}

void EncodeBlocks(const float* cells, const int32_t* records, int blocks, RecordBytes* out) {
  for (int k = 0; k < blocks; ++k)
    EncodeCells(k + 1 < blocks ? records[k + 1] : 0, cells + size_t(k) * kBlockCells, out[k]);
}

void DecodeCells(const RecordBytes& r, int32_t& link, float* cells) {
  link = GetI32(r, 0);
  if constexpr (std::endian::native == std::endian::little)
    std::memcpy(cells, &r[4], sizeof(float) * kBlockCells);
  else
    for (int k = 0; k < kBlockCells; ++k) cells[k] = GetF32(r, 4 + 4 * size_t(k));
}

int32_t DataLink(const RecordBytes& r) { return GetI32(r, 0); }

RecordBytes EncodeData(const DataRecord& d) {
  RecordBytes r{};
  EncodeCells(d.link, d.cells.data(), r);
  return r;
}

void DecodeData(const RecordBytes& r, DataRecord& d) { DecodeCells(r, d.link, d.cells.data()); }

DSFLayout ProbeDSFLayout(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return DSFLayout::kUnreadable;
  uint8_t magic[4] = {};
  ssize_t got = ::read(fd, magic, sizeof magic);
  ::close(fd);
  return got == ssize_t(sizeof magic) && GetU32(magic) == kDSFMagic ? DSFLayout::kCurrent : DSFLayout::kEarlier;
}

std::string DSFNameOf(const std::string& path) {
  size_t cut = path.find_last_of("/\\");
  std::string name = cut == std::string::npos ? path : path.substr(cut);
  return name.substr(0, kEntryNameMax);
}

}  // namespace krv::series
