// The shell's one test for a file: can it be opened for reading, and its stamp.
#pragma once

#include <cstdint>
#include <string>

namespace krv::guide {

// True when `name` (resolved case-blind) is a regular file that opens for
// reading; then `stamp` gets its packed two-second date. Otherwise `stamp`
// is left alone.
bool GetFileDate(const std::string& name, uint32_t& stamp);

}  // namespace krv::guide
