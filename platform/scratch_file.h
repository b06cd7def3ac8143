// Plain writing of a run's scratch files: written in place and closed, not
// flushed to the disk, since the run that writes one deletes or rewrites it.
#pragma once

#include <string>
#include <string_view>

#include "platform/write_buffer.h"

namespace krv::platform {

class ScratchFile {
 public:
  ScratchFile() = default;
  ~ScratchFile();  // a file not closed is removed
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  // Creates `path` or empties it. The name resolves case-blind (an
  // existing file keeps its spelling); a read-only file is refused, as the
  // crash-safe writer refuses one. False with Error() set on failure.
  bool Open(const std::string& path);
  // Appends bytes at the end of what was written so far.
  bool Write(std::string_view bytes);
  // Writes what is buffered and closes the file.
  bool Close();
  // Removes a file not yet closed.
  void Abort();

  bool IsOpen() const { return fd_ >= 0; }
  // The first failure, naming the file and the system's reason, e.g.
  // "Cannot write SAVI.TMP: No space left on device".
  const std::string& Error() const { return error_; }

 private:
  bool Fail(int err);
  bool FlushBuffer();

  std::string path_, target_, error_;
  WriteBuffer buffer_;
  int fd_ = -1;
  bool created_ = false;  // written by this object and not yet closed
  bool failed_ = false;
};

// Writes `data` as the whole of the scratch file `path`; on failure the
// file is removed and `error` (when given) names the file and the reason.
bool WriteScratchFile(const std::string& path, std::string_view data, std::string* error = nullptr);

}  // namespace krv::platform
