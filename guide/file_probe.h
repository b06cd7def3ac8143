// The shell's one test for a file: can it be opened for reading, and its stamp.
#pragma once

#include <cstdint>
#include <string>

namespace krv::guide {

// True when `name` (resolved case-blind) is a regular file that opens for
// reading; then `stamp` gets its packed two-second date. Otherwise `stamp`
// is left alone.
bool GetFileDate(const std::string& name, uint32_t& stamp);

// `name` as the modeller knows it: a relative name with the current (the
// problem's) directory before it, for messages.
std::string FullName(const std::string& name);

// The system's reason for the last failed call (strerror of errno).
std::string SystemReason();

// Why `name` cannot be read: the system's reason for opening it, or that it
// is not a regular file.
std::string ReadFailure(const std::string& name);

}  // namespace krv::guide
