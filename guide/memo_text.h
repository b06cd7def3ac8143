// An editor memo's text and the file it shows: bytes in, lines out.
//
// A memo holds the file's bytes one character per byte (Latin-1), with its
// lines separated by one line-feed character; that is also how the memo
// counts positions. Nothing else is interpreted, so a Ctrl-Z stays.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace krv::guide {

// The memo text of a file: CR LF, a bare LF and a bare CR each end a line
// (the window could not show a bare CR any other way); the line break after
// the last line adds no empty line.
std::string MemoTextFromFile(std::string_view bytes);

// The bytes a memo saves: every line followed by CR LF; an empty memo has
// no lines. A file of CR LF lines loaded and saved unchanged comes back
// byte for byte.
std::string FileBytesFromMemo(std::string_view text);

// Reads `path` (resolved case-blind) as memo text. When it cannot be read
// the result is empty and `error` (if given) gets the message to show,
// naming the file and the reason.
std::optional<std::string> LoadMemoFile(const std::string& path, std::string* error = nullptr);

// Saves memo text to `path` through the crash-safe writer. On failure the
// old file is untouched and the result is the message to show, naming the
// file and the reason; nothing on success.
std::optional<std::string> SaveMemoFile(const std::string& path, std::string_view text);

}  // namespace krv::guide
