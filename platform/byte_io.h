// Whole-file byte reads and crash-safe whole-file writes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace krv::platform {

// Reads the file `path` resolves to into `out`; false when it cannot be read.
bool ReadFileBytes(const std::string& path, std::string& out);

enum class ReadOutcome { kRead, kUnreadable, kTooLarge };

// Reads like ReadFileBytes, but a file of more than `maxBytes` bytes is
// refused (kTooLarge) before anything is read, so a damaged or foreign
// file cannot take the memory; a file that grows past the limit while it is
// read is refused too. For kUnreadable, `reason` (when given) gets the
// system's reason.
ReadOutcome ReadFileBytes(const std::string& path, std::string& out, uint64_t maxBytes,
                          std::string* reason = nullptr);

// The first bytes of the file `path` resolves to, at most `maxBytes` of
// them (a line or a header); nothing when it cannot be read.
std::optional<std::string> ReadFileHead(const std::string& path, size_t maxBytes);

// The system's text for an error number ("Permission denied").
std::string SystemReason(int err);

// "NAME is larger than a FORMAT can be (N bytes; at most M)": the reason
// a reader gives for kTooLarge.
std::string TooLargeMessage(const std::string& path, const std::string& format, uint64_t maxBytes);

// Writes `data` through an AtomicFile, so a crash leaves either the old
// file or the new one. An existing file keeps the spelling it has on disk,
// its mode and any symbolic link to it. On failure `error` (when given)
// names the file and the reason, `reason` (when given) is the reason alone.
bool WriteFileAtomic(const std::string& path, const std::string& data, std::string* error = nullptr,
                     std::string* reason = nullptr);

}  // namespace krv::platform
