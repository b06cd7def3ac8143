// Whole-file byte reads and crash-safe whole-file writes.
#pragma once

#include <string>

namespace krv::platform {

// Reads the file `path` resolves to into `out`; false when it cannot be read.
bool ReadFileBytes(const std::string& path, std::string& out);

// Writes `data` to a temporary file beside `path`, flushes it and renames
// it into place, so a crash leaves either the old file or the new one. An
// existing file keeps the spelling it has on disk.
bool WriteFileAtomic(const std::string& path, const std::string& data);

}  // namespace krv::platform
