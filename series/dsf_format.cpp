// The data-series file's records as bytes.
#include "series/dsf_format.h"
#include "series/dsf_fields.h"

#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cstring>

namespace krv::series {

namespace {

void Put32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}
uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void Put16(uint8_t* p, int16_t v) {
  p[0] = uint8_t(uint16_t(v));
  p[1] = uint8_t(uint16_t(v) >> 8);
}
int16_t Get16(const uint8_t* p) { return int16_t(uint16_t(p[0] | p[1] << 8)); }

}  // namespace

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
  Put16(p, d.year);
  p[2] = d.month;
  p[3] = d.day;
  p[4] = d.hour;
  p[5] = d.minute;
}
DateStamp GetStamp(const uint8_t* p) {
  return DateStamp{Get16(p), p[2], p[3], p[4], p[5]};
}

namespace {

void PutFloat(uint8_t* p, float f) {
  uint32_t v;
  std::memcpy(&v, &f, 4);
  Put32(p, v);
}
float GetFloat(const uint8_t* p) {
  uint32_t v = Get32(p);
  float f;
  std::memcpy(&f, &v, 4);
  return f;
}

constexpr size_t kEntrySize = 31;

}  // namespace

RecordBytes EncodeHeader(const DSFHeaderRecord& h) {
  RecordBytes r{};
  Put32(&r[0], h.magic);
  Put32(&r[4], uint32_t(h.nextFree));
  PutString(&r[8], h.name, kEntryNameMax);
  PutStamp(&r[34], h.created);
  Put32(&r[40], h.changeCount);
  return r;
}

bool DecodeHeader(const RecordBytes& r, DSFHeaderRecord& h) {
  h.magic = Get32(&r[0]);
  h.nextFree = int32_t(Get32(&r[4]));
  bool ok = GetString(&r[8], kEntryNameMax, h.name);
  h.created = GetStamp(&r[34]);
  h.changeCount = Get32(&r[40]);
  return ok;
}

RecordBytes EncodeDirBlock(const DSDirBlock& b) {
  RecordBytes r{};
  Put32(&r[0], uint32_t(b.link));
  for (int k = 0; k < kEntriesPerBlock; ++k) {
    uint8_t* p = &r[4 + kEntrySize * size_t(k)];
    const DSDirEntry& e = b.entries[size_t(k)];
    Put32(p, uint32_t(e.record));
    PutString(p + 4, e.name, kEntryNameMax);
    p[30] = e.kind;
  }
  return r;
}

bool DecodeDirBlock(const RecordBytes& r, DSDirBlock& b) {
  bool ok = true;
  b.link = int32_t(Get32(&r[0]));
  for (int k = 0; k < kEntriesPerBlock; ++k) {
    const uint8_t* p = &r[4 + kEntrySize * size_t(k)];
    DSDirEntry& e = b.entries[size_t(k)];
    e.record = int32_t(Get32(p));
    ok = GetString(p + 4, kEntryNameMax, e.name) && ok;
    e.kind = p[30];
    if (e.record != -1 && e.kind > kDSDirKind) ok = false;
  }
  return ok;
}

RecordBytes EncodeHead(const SeriesHeadRecord& h) {
  RecordBytes r{};
  Put32(&r[0], uint32_t(h.firstData));
  Put16(&r[4], h.header.base);
  Put16(&r[6], h.header.highest);
  r[8] = h.header.firstOffset;
  PutString(&r[9], h.header.comment, kCommentMax);
  PutStamp(&r[118], h.header.stamp);
  Put32(&r[124], uint32_t(h.header.xHead));
  return r;
}

bool DecodeHead(const RecordBytes& r, SeriesHeadRecord& h) {
  h.firstData = int32_t(Get32(&r[0]));
  h.header.base = Get16(&r[4]);
  h.header.highest = Get16(&r[6]);
  h.header.firstOffset = r[8];
  bool ok = GetString(&r[9], kCommentMax, h.header.comment);
  h.header.stamp = GetStamp(&r[118]);
  h.header.xHead = int32_t(Get32(&r[124]));
  return ok;
}

// A data record is a series' block as it stands in memory on a
// little-endian machine: one copy, where the byte loop would cost more
// than the system call that writes it.
void EncodeCells(int32_t link, const float* cells, RecordBytes& out) {
  Put32(&out[0], uint32_t(link));
  if constexpr (std::endian::native == std::endian::little)
    std::memcpy(&out[4], cells, sizeof(float) * kBlockCells);
  else
    for (int k = 0; k < kBlockCells; ++k) PutFloat(&out[4 + 4 * size_t(k)], cells[k]);
}

void EncodeBlocks(const float* cells, const int32_t* records, int blocks, RecordBytes* out) {
  for (int k = 0; k < blocks; ++k)
    EncodeCells(k + 1 < blocks ? records[k + 1] : 0, cells + size_t(k) * kBlockCells, out[k]);
}

void DecodeCells(const RecordBytes& r, int32_t& link, float* cells) {
  link = int32_t(Get32(&r[0]));
  if constexpr (std::endian::native == std::endian::little)
    std::memcpy(cells, &r[4], sizeof(float) * kBlockCells);
  else
    for (int k = 0; k < kBlockCells; ++k) cells[k] = GetFloat(&r[4 + 4 * size_t(k)]);
}

int32_t DataLink(const RecordBytes& r) { return int32_t(Get32(&r[0])); }

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
  return got == ssize_t(sizeof magic) && Get32(magic) == kDSFMagic ? DSFLayout::kCurrent : DSFLayout::kEarlier;
}

std::string DSFNameOf(const std::string& path) {
  size_t cut = path.find_last_of("/\\");
  std::string name = cut == std::string::npos ? path : path.substr(cut);
  return name.substr(0, kEntryNameMax);
}

}  // namespace krv::series
