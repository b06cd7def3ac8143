// Scattered small reads of a file through a read-only mapping of it.
//
// A mapping kept between readings turns a read of bytes already in the
// page cache into a load from memory: no system call and no kernel work
// once the page is mapped. The file stays another program's to change, so
// the mapping is only a faster way to the same bytes: the file's size and
// identity are checked on every reading, a grown file is mapped further,
// and a file cut short during a reading (a load past its end raises
// SIGBUS) makes that reading fail instead of ending the process. Whenever
// the mapping cannot serve a reading, the caller reads the ordinary way,
// which also names the reason of a failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "platform/block_file.h"

namespace krv::platform {

class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile() { Unmap(); }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // For each record offset at[k] and field offset fields[j], copies the 4
  // bytes at at[k] + fields[j] of the file `file` holds open to
  // out + 4 * (j * n + k): a field's words lie together. A word counts as
  // there only when the whole block of file.BlockSize() bytes holding it
  // is, as for a read of blocks. False when the mapping cannot serve them
  // all: the file cannot be mapped, its path names another file now, a
  // word is not there, or the file was cut short meanwhile; `out` is then
  // undefined and the bytes are to be read from `file`.
  bool GatherWords(const BlockFile& file, const uint64_t* at, size_t n, const uint32_t* fields, size_t m,
                   uint8_t* out) const;
  // Gives the mapping up (it is made again when next needed).
  void Unmap();

 private:
  bool Map(const BlockFile& file, const BlockFile::Stamp& now) const;
  void UnmapLocked() const;

  mutable std::mutex mutex_;
  mutable const uint8_t* base_ = nullptr;
  mutable size_t length_ = 0;
  mutable uint64_t dev_ = 0, ino_ = 0;
  // The state of the file last found unmappable, not tried again.
  mutable BlockFile::Stamp refused_;
};

// Runs `body(context)`, which loads from the mapped bytes [lo, lo + length);
// it may be cut off at any of those loads, so it holds no lock and makes no
// allocation meanwhile. True when it ran to its end; false
// when a load from those bytes raised SIGBUS (the mapped file is shorter
// now), the body then cut off at that load. Any other SIGBUS is handled
// as before this guard existed.
bool RunGuardedAgainstBusError(const uint8_t* lo, size_t length, void (*body)(void*), void* context);

}  // namespace krv::platform
