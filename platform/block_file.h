// A file of fixed-size records read and written in place by record number,
// one system call per run of records, and changed whole or not at all
// through a rollback journal (platform/block_journal.h). The trajectory
// reader (64-byte blocks) and the data-series stores (128-byte records)
// use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include <sys/types.h>

namespace krv::platform {

class BlockFile {
 public:
  enum class Mode { ReadOnly, ReadWrite };

  explicit BlockFile(size_t blockSize);
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

  // Whole blocks the file holds now (another program may change it),
  // with those a change has added.
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
  // Writes `count` blocks at block `first`; false on error. Inside a
  // change, into the change.
  bool WriteBlocks(int64_t first, int64_t count, const uint8_t* data);

  // ---- Changes that are there whole or not at all ----
  // Between BeginChange and CommitChange the writes are held (reads see
  // them). The commit puts the old bytes of every block the change
  // overwrites, with the file's size before it, into the journal beside
  // the file and syncs it (and the directory, for a new journal); then
  // writes the blocks, a call per run of consecutive blocks; syncs the
  // file; removes the journal. A change too large to hold goes out the
  // same way part by part, the journal kept until the commit. The caller
  // holds the lock (Lock) from before BeginChange to after the commit.
  //
  // BeginChange first rolls back a journal left there: under the lock,
  // nobody else is changing the file. False, with LastError(), when that
  // fails (the journal is kept), or outside a read-write file.
  bool BeginChange();
  // False, with LastError() (the system's reason for what failed first),
  // when the change could not be made whole: it is rolled back, or, where
  // even that fails, its journal is left for the next opener.
  bool CommitChange();
  // Drops the change: nothing of it stays in the file.
  void AbandonChange();
  bool InChange() const { return change_ != nullptr; }
  // The most a change holds before a part of it goes out (tests make it
  // small).
  void SetHoldLimit(size_t bytes) { holdLimit_ = bytes; }
  // A write of the change failed: it is rolled back already, and the
  // commit fails.
  bool ChangeFailed() const;

  // Rolls back a journal that a change cut short left beside the file,
  // when nobody holds the file's lock (a holder is changing it now: the
  // journal is its own). Through a descriptor of its own, opened for
  // writing, so a file opened read-only is rolled back too.
  // With `wait`, a holder of the lock is waited for instead (kBusy is
  // then never the answer): by then its change is whole or undone.
  enum class Recovery { kNone, kBusy, kRolledBack, kFailed };
  Recovery RecoverJournal(bool wait = false);
  const std::string& JournalName() const { return journal_; }

  // An exclusive advisory lock on the whole file (flock), so two programs
  // never interleave their changes; waits for the other holder.
  bool Lock();
  void Unlock();
  // A shared lock on the whole file, for reading it whole: waits while a
  // change holds the exclusive lock, and keeps changes out until Unlock.
  // A journal found under it was left by a change cut short, since a
  // change keeps its lock until its journal is gone: the
  // shared lock is let go, the journal rolled back (RecoverJournal,
  // waiting), and the shared lock taken again. Never taken by a holder of
  // the exclusive lock: flock would convert that lock, not nest in it.
  enum class ReadLock { kHeld, kLockFailed, kRestoreFailed };
  ReadLock LockShared();

  // The system's reason for the last failure ("No such file or directory").
  const std::string& LastError() const { return error_; }

 private:
  struct Change;
  // Journals and writes what the change holds; with `last`, also syncs
  // the file and removes the journal.
  bool Flush(bool last);
  bool JournalOldBlocks();
  void FailChange();  // rolls back what went out, keeps the first reason
  bool ReadInChange(int64_t first, int64_t count, uint8_t* out) const;

  bool Fail() const;
  // The byte place and length of `count` blocks from `first`; false when
  // out of range (block numbers come from file contents).
  bool ByteRange(int64_t first, int64_t count, off_t& offset, size_t& bytes) const;
  bool WriteAll(const uint8_t* data, size_t bytes, off_t offset);
  // All of `want` bytes moved by one system call after another.
  template <class Step>
  bool TransferAll(size_t want, const char* stalled, Step step) const;

  size_t blockSize_;
  int fd_ = -1;
  Mode mode_ = Mode::ReadOnly;
  std::string path_;
  std::string journal_;
  std::unique_ptr<Change> change_;
  size_t holdLimit_;
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
