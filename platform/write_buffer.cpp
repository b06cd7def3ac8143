// Buffered whole writes to a file descriptor.
#include "platform/write_buffer.h"

#include <cerrno>

#include "platform/system_calls.h"

namespace krv::platform {

namespace {

constexpr size_t kBufferSize = 1 << 16;

}  // namespace

int WriteWhole(int fd, const char* p, size_t size) {
  while (size > 0) {
    ssize_t n = Sys().Write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return ENOSPC;
    p += n;
    size -= size_t(n);
  }
  return 0;
}

int WriteBuffer::Flush(int fd) {
  if (bytes_.empty()) return 0;
  int err = WriteWhole(fd, bytes_.data(), bytes_.size());
  bytes_.clear();
  return err;
}

int WriteBuffer::Append(int fd, std::string_view bytes) {
  if (bytes_.size() + bytes.size() <= kBufferSize) {
    bytes_.append(bytes);
    return 0;
  }
  if (int err = Flush(fd)) return err;
  if (bytes.size() >= kBufferSize) return WriteWhole(fd, bytes.data(), bytes.size());
  bytes_.append(bytes);
  return 0;
}

}  // namespace krv::platform
