// A file of fixed-size records read and written in place by record number,
// one system call per run of records. The trajectory reader (64-byte
// blocks) and the data-series store (128-byte records) both use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <sys/types.h>

namespace krv::platform {

class BlockFile {
 public:
  enum class Mode { ReadOnly, ReadWrite };

  explicit BlockFile(size_t blockSize) : blockSize_(blockSize) {}
  ~BlockFile();
  BlockFile(const BlockFile&) = delete;
  BlockFile& operator=(const BlockFile&) = delete;

  // Opens `path` exactly as given; regular files only. False, with the
  // system's reason in LastError(), when it cannot be opened.
  bool Open(const std::string& path, Mode mode);
  void Close();
  // Opens the held path again in the same mode. When the path now names
  // another file (the old one deleted or renamed over and a new one written
  // there), that file is used from now on; the same file keeps its
  // descriptor (and any lock). False, with the file closed and the reason
  // in LastError(), when nothing can be opened there.
  bool Reopen();
  bool IsOpen() const { return fd_ >= 0; }
  bool IsReadOnly() const { return mode_ == Mode::ReadOnly; }
  const std::string& Path() const { return path_; }
  size_t BlockSize() const { return blockSize_; }

  // Whole blocks the file holds now (another program may change it).
  int64_t BlockCount() const;

  // What tells one state of the file from a later one without reading
  // it: its identity, size and last modification. Any write through any
  // descriptor changes it (to the file system's clock resolution).
  struct Stamp {
    uint64_t dev = 0, ino = 0;
    int64_t size = -1;
    int64_t mtimeNs = 0, ctimeNs = 0;
    bool operator==(const Stamp&) const = default;
  };
  // False, with LastError(), when the file cannot be examined.
  bool GetStamp(Stamp& out) const;

  // Reads `count` blocks from block `first`; false on a short read or error.
  bool ReadBlocks(int64_t first, int64_t count, uint8_t* out) const;
  // Many reads at once: each run's `count` blocks from block `first` into
  // its `out`. Runs that follow one another in the file, adjacent or a few
  // blocks apart, are read with one pread of the stretch that holds them;
  // every other run with a pread of its own. False on any short read or
  // error (the reason in LastError()); the runs' buffers are then
  // undefined.
  struct Run {
    int64_t first = 0, count = 0;
    uint8_t* out = nullptr;
  };
  bool ReadRuns(const Run* runs, size_t n) const;
  // Writes `count` blocks at block `first`; false on error.
  bool WriteBlocks(int64_t first, int64_t count, const uint8_t* data);

  // An exclusive advisory lock on the whole file (flock), so two programs
  // never interleave their changes; waits for the other holder.
  bool Lock();
  void Unlock();

  // The system's reason for the last failure ("No such file or directory").
  const std::string& LastError() const { return error_; }

 private:
  bool Fail() const;
  // The byte place and length of `count` blocks from `first`; false when
  // out of range (block numbers come from file contents).
  bool Place(int64_t first, int64_t count, off_t& offset, size_t& bytes) const;
  bool WriteAll(const uint8_t* data, size_t bytes, off_t offset);
  // All of `want` bytes moved by one system call after another.
  template <class Step>
  bool Whole(size_t want, const char* stalled, Step step) const;

  size_t blockSize_;
  int fd_ = -1;
  Mode mode_ = Mode::ReadOnly;
  std::string path_;
  mutable std::string error_;
};

// Holds a BlockFile's lock for a scope.
class BlockFileLock {
 public:
  explicit BlockFileLock(BlockFile& file) : file_(file), held_(file.Lock()) {}
  ~BlockFileLock() {
    if (held_) file_.Unlock();
  }
  BlockFileLock(const BlockFileLock&) = delete;
  BlockFileLock& operator=(const BlockFileLock&) = delete;

 private:
  BlockFile& file_;
  bool held_;
};

}  // namespace krv::platform
