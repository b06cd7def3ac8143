// The desktop entry that starts Helmsman, and the README the installer shows beside it.
#include "setup/desktop_entry.h"

#include "platform/byte_io.h"
#include "platform/file_move.h"
#include "platform/file_resolver.h"
#include "platform/user_prompts.h"

namespace krv::setup {

namespace pf = krv::platform;

std::string DesktopStringValue(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

std::string DesktopExecArgument(const std::string& argument) {
  std::string quoted = "\"";
  for (char c : argument) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += c;
  }
  quoted += '"';
  return DesktopStringValue(quoted);
}

std::string DesktopEntryText(const std::string& mainDir) {
  const std::string pgm = pf::JoinPath(mainDir, "PGM");
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Helmsman\n"
         "Comment=Kravenor\n"
         "Exec=" + DesktopExecArgument(pf::JoinPath(pgm, "Helmsman")) + "\n"
         "Path=" + DesktopStringValue(pgm) + "\n"
         "Icon=" + DesktopStringValue(pf::JoinPath(mainDir, "KRV1.png")) + "\n"
         "Terminal=false\n";
}

// True when `text` is well-formed UTF-8, which a desktop entry must be.
static bool IsUtf8(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t more = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : 9;
    if (more == 9 || i + more >= text.size()) return false;
    for (size_t k = 1; k <= more; ++k)
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
    i += more + 1;
  }
  return true;
}

// Makes `dir` and every missing directory above it.
static void MakeDirectories(const std::string& dir) {
  for (size_t p = dir.find('/', 1); p != std::string::npos; p = dir.find('/', p + 1))
    pf::MakeDirectory(dir.substr(0, p));
  pf::MakeDirectory(dir);
}

bool CreateShellLink(const std::string& desktopDir, const std::string& mainDir) {
  const std::string file = pf::JoinPath(desktopDir, kDesktopEntryName);
  if (!IsUtf8(mainDir)) {
    pf::Prompts().ShowMessage("The desktop entry " + file +
                              " was not written: the main directory's name is not UTF-8.");
    return false;
  }
  MakeDirectories(desktopDir);
  if (!pf::WriteFileAtomic(file, DesktopEntryText(mainDir))) {
    pf::Prompts().ShowMessage("The desktop entry " + file + " could not be written.");
    return false;
  }
  if (!pf::SetFileMode(file, 0755)) {
    pf::Prompts().ShowMessage("The desktop entry " + file + " could not be made executable.");
    return false;
  }
  pf::Prompts().ShowMessage("Icon created");
  return true;
}

bool LoadReadme(const std::string& mainDir, std::string& text) {
  const std::string file = pf::JoinPath(mainDir, "README.txt");
  if (pf::ReadFileBytes(file, text)) return true;
  pf::Prompts().ShowMessage("Cannot read " + file + ": the file is missing or unreadable.");
  return false;
}

}  // namespace krv::setup
