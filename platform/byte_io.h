// Whole-file byte reads and crash-safe whole-file writes.
#pragma once

#include <string>

namespace krv::platform {

// Reads the file `path` resolves to into `out`; false when it cannot be read.
bool ReadFileBytes(const std::string& path, std::string& out);

// Writes `data` through an AtomicFile, so a crash leaves either the old
// file or the new one. An existing file keeps the spelling it has on disk,
// its mode and any symbolic link to it. On failure `error` (when given)
// names the file and the reason.
bool WriteFileAtomic(const std::string& path, const std::string& data, std::string* error = nullptr);

}  // namespace krv::platform
