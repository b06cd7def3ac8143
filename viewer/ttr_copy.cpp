// Writing trajectory files in the packed layout.
#include "viewer/ttr_copy.h"

#include <cassert>
#include <cstdint>

namespace krv::view {

TTRWriter::~TTRWriter() { Abort(); }

bool TTRWriter::Create(const std::string& path) { return file_.Open(path); }

bool TTRWriter::WriteBlocks(int64_t first, const uint8_t* data, size_t bytes) {
  if (first < 0 || first > INT64_MAX / kBlockSize) return false;
  return file_.WriteAt(uint64_t(first) * kBlockSize, data, bytes);
}

bool TTRWriter::Commit() { return file_.Commit(); }

void TTRWriter::Abort() { file_.Abort(); }

bool WriteTTRRecord(TTRWriter& out, int d, const TTRRecord& rec) {
  assert(rec.jt >= 0);
  std::vector<uint8_t> bytes = EncodePackedRecord(rec, d);
  return out.WriteBlocks(TTRLayout::Packed(d).FirstBlock(rec.jt), bytes.data(), bytes.size());
}

bool CopyTruncatedTTR(const TTRFile& source, const TTRLayout& layout, const TTRHeader& header,
                      int32_t j, const std::string& target) {
  assert(j >= 0);
  TTRWriter out;
  if (!out.Create(target)) {
    ReportFileError("creating", target);
    return false;
  }
  TTRHeader h = header;
  h.SetMark(kMarkPacked);
  if (!out.WriteBlocks(0, h.bytes.data(), kBlockSize)) {
    ReportFileError("writing", target);
    return false;
  }
  TTRRecord rec;
  bool jtErrorShown = false;
  for (int32_t jt = 0; jt <= j; ++jt) {
    std::vector<uint8_t> buf(layout.RecordBytes());
    if (!source.ReadBlocks(layout.FirstBlock(jt), layout.r, buf.data())) {
      ReportReadError(source, layout, layout.FirstBlock(jt) + layout.r);
      return false;
    }
    DecodeRecord(buf.data(), layout, rec);
    // One notice per copy: a damaged file must not raise a box per record.
    if (rec.jt != jt && !jtErrorShown) {
      ReportJTError(rec.jt, jt);
      jtErrorShown = true;
    }
    rec.jt = jt;
    if (!WriteTTRRecord(out, layout.d, rec)) {
      ReportFileError("writing", target);
      return false;
    }
  }
  h.SetLastT(rec.t);
  h.SetJTmax(j);
  if (!out.WriteBlocks(0, h.bytes.data(), kBlockSize) || !out.Commit()) {
    ReportFileError("writing", target);
    return false;
  }
  return true;
}

}  // namespace krv::view
