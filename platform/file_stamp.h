// Packed local-time file stamps with two-second resolution.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace krv::platform {

// Packs a local time: bits 25..31 year-1980, 21..24 month, 16..20 day,
// 11..15 hour, 5..10 minute, 0..4 seconds/2. Compared unsigned, later
// times give larger stamps.
uint32_t PackLocalTime(std::time_t t);
std::time_t UnpackLocalTime(uint32_t stamp);

// The stamp of the file `path` resolves to, or nothing when it is absent.
std::optional<uint32_t> PackedFileDate(const std::string& path);

// Sets the file's modification time to the stamp's time.
bool SetPackedFileDate(const std::string& path, uint32_t stamp);

}  // namespace krv::platform
