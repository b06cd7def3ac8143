// Bytes gathered for a file descriptor into large writes, made through the
// system-call table and carried on past signals and short writes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace krv::platform {

class WriteBuffer {
 public:
  // Appends bytes; what is gathered is written to `fd` first when they do
  // not fit, and a piece as large as the buffer goes out at once. 0, or
  // the error number of the write that failed.
  int Append(int fd, std::string_view bytes);
  // Writes what is gathered and empties the buffer; 0 or the error number.
  int Flush(int fd);
  void Clear() { bytes_.clear(); }

 private:
  std::string bytes_;
};

// Writes all `size` bytes at `p` to `fd`; 0, or the error number (ENOSPC
// for a write that takes nothing).
int WriteWhole(int fd, const char* p, size_t size);

}  // namespace krv::platform
