// Writing trajectory files in the packed layout: the record writer and the
// copy that keeps records 0..J of the attached file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "viewer/ttr_file.h"
#include "viewer/ttr_format.h"

namespace krv::view {

// A new file of 64-byte blocks, written through the platform's AtomicFile,
// so an interrupted write never leaves a half-written trajectory. An
// existing target keeps the spelling it has on disk.
class TTRWriter {
 public:
  TTRWriter() = default;
  ~TTRWriter();
  TTRWriter(const TTRWriter&) = delete;
  TTRWriter& operator=(const TTRWriter&) = delete;

  bool Create(const std::string& path);
  bool WriteBlocks(int64_t first, const uint8_t* data, size_t bytes);
  // Flushes and renames into place; false (target untouched) on failure.
  bool Commit();
  // Drops the temporary file.
  void Abort();
  const std::string& Target() const { return file_.Target(); }
  // The file and the system's reason for the last failure.
  const std::string& Error() const { return file_.Error(); }

 private:
  platform::AtomicFile file_;
};

// Writes record rec.jt in the packed layout for variables 0..d, at block
// rec.jt * R' + 1 with R' = (d + 3) div 16 + 1.
bool WriteTTRRecord(TTRWriter& out, int d, const TTRRecord& rec);

// Writes `target` as a packed-layout file holding records 0..j of
// `source`; `header` is the source header as held in memory. Reports its
// own failures and returns false; the target is then left as it was.
bool CopyTruncatedTTR(const TTRFile& source, const TTRLayout& layout, const TTRHeader& header,
                      int32_t j, const std::string& target);

}  // namespace krv::view
