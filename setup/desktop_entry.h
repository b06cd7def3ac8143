// The desktop entry that starts Helmsman, and the README the installer shows beside it.
#pragma once

#include <string>

namespace krv::setup {

inline constexpr const char* kDesktopEntryName = "Helmsman.desktop";

// One Exec argument as the Desktop Entry rules want it: in double quotes,
// with '"', '`', '$' and '\' escaped by a backslash, '%' doubled, and then
// escaped once more as a string value (so a backslash becomes "\\\\").
std::string DesktopExecArgument(const std::string& argument);

// A string value: backslash, newline, tab and carriage return escaped.
std::string DesktopStringValue(const std::string& text);

// The entry's text for an installation in `mainDir`.
std::string DesktopEntryText(const std::string& mainDir);

// Writes `desktopDir`/Helmsman.desktop (making the directory when it is
// missing, replacing an older entry), mode 0755 so desktops launch it.
// Shows "Icon created" only when all of that worked; otherwise a message
// naming the file and what failed. True when written.
bool CreateShellLink(const std::string& desktopDir, const std::string& mainDir);

// Reads mainDir/README.txt as bytes into `text`; when it cannot be read,
// shows a message naming the file and returns false.
bool LoadReadme(const std::string& mainDir, std::string& text);

}  // namespace krv::setup
