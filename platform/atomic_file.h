// Crash-safe file writing: the new contents go to a temporary file beside
// the target, are flushed to the disk and then renamed over the target, so
// at every moment the target is either the old file or the whole new one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/write_buffer.h"

namespace krv::platform {

class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile();  // a file neither committed nor aborted is abandoned
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Starts a new version of `path`. The name resolves case-blind (an
  // existing file keeps its spelling) and through symbolic links, so a
  // link keeps pointing at the file that now holds the new contents. A
  // read-only target is refused. False with Error() set on failure.
  bool Open(const std::string& path);

  // Appends bytes at the end of what was written so far.
  bool Write(std::string_view bytes);
  // Writes bytes at a byte offset (for block-structured formats).
  bool WriteAt(uint64_t offset, const void* bytes, size_t size);

  // Flushes the temporary file to the disk and closes it; the target is
  // not touched yet. Lets a group of files be prepared before any of them
  // replaces its old version.
  bool Finish();
  // Finishes if needed, renames the temporary file over the target and
  // flushes the directory entry. On failure the temporary file is removed
  // and the target is left as it was.
  bool Commit();
  // Removes the temporary file; the target is left as it was.
  void Abort();

  bool IsOpen() const { return !temp_.empty(); }
  // The path as given to Open and the file that will be replaced.
  const std::string& Path() const { return path_; }
  const std::string& Target() const { return target_; }
  // The first failure, naming the file and the system's reason, e.g.
  // "Cannot write OUT.GTY: No space left on device".
  const std::string& Error() const { return error_; }
  // The system's reason alone ("No space left on device").
  const std::string& Reason() const { return reason_; }

 private:
  bool Fail(int err);
  bool FlushBuffer();

  std::string path_, target_, temp_, error_, reason_;
  WriteBuffer buffer_;
  unsigned mode_ = 0;
  int fd_ = -1;
  bool failed_ = false;
  bool finished_ = false;
};

}  // namespace krv::platform
