// Test trajectories.
#include "viewer/tests/ttr_fixture.h"

#include <cassert>
#include <vector>

#include "platform/little_endian.h"
#include "platform/text.h"
#include "viewer/ttr_copy.h"
#include "viewer/ttr_format.h"

using krv::platform::PutF32;
using krv::platform::PutF64;
using krv::platform::PutI32;

namespace krv::view::testing {

static TTRHeader SpecHeader(const TTRSpec& desc) {
  TTRHeader h;
  for (int i = 4; i < 12; ++i) h.bytes[size_t(i)] = uint8_t(0x40 + i);  // kept, not read
  for (int i = 56; i < 60; ++i) h.bytes[size_t(i)] = uint8_t(0x60 + i);
  h.SetMark(desc.mark);
  h.SetD(int16_t(desc.d));
  h.SetLastT(desc.time(desc.jtmax));
  h.SetLabel(desc.label);
  if (desc.mark == kMarkSplit32) {
    PutI32(h.bytes, 52, desc.jtmax);
    PutI32(h.bytes, 60, 0x7EEEEEEE);  // not JTmax in this format
  } else {
    h.SetJTmax(desc.jtmax);
  }
  return h;
}

std::string MakeTTRBytes(const TTRSpec& desc) {
  TTRHeader h = SpecHeader(desc);
  bool packed = desc.mark == kMarkPacked;
  int r = packed ? PackedBlocksPerRecord(desc.d) : SplitBlocksPerRecord(desc.d);
  std::string out(reinterpret_cast<const char*>(h.bytes.data()), kBlockSize);
  for (int32_t jt = 0; jt <= desc.jtmax; ++jt) {
    std::vector<uint8_t> rec(size_t(r) * kBlockSize, desc.filler);
    PutI32(rec, 0, desc.storedJT(jt));
    PutF64(rec, 4, desc.time(jt));
    for (int i = 0; i <= desc.d; ++i) {
      size_t off = (packed || i < 12) ? 12 + 4 * size_t(i) : 64 + 4 * size_t(i - 12);
      PutF32(rec, off, desc.value(jt, i));
    }
    out.append(reinterpret_cast<const char*>(rec.data()), rec.size());
  }
  return out;
}

void WritePackedTTR(const std::string& path, const TTRSpec& desc) {
  assert(desc.mark == kMarkPacked);
  TTRWriter w;
  bool ok = w.Create(path);
  TTRHeader h = SpecHeader(desc);
  ok = ok && w.WriteBlocks(0, h.bytes.data(), kBlockSize);
  for (int32_t jt = 0; jt <= desc.jtmax; ++jt) {
    TTRRecord rec;
    rec.jt = jt;
    rec.t = desc.time(jt);
    for (int i = 0; i <= desc.d; ++i) rec.values.push_back(desc.value(jt, i));
    ok = ok && WriteTTRRecord(w, desc.d, rec);
  }
  ok = ok && w.Commit();
  assert(ok);
  (void)ok;
}

std::string MakeVNM(const std::string& label, int d) {
  std::string out = label + "\r\n";
  for (int i = 0; i <= d; ++i)
    out += platform::PadLeft(platform::IntToString(i), 4) + " IO  _X.V" + platform::IntToString(i) +
           "\r\n";
  out += "     #\r\n\x1a";
  return out;
}

}  // namespace krv::view::testing
