// Helmsman.TXT: the Free Pascal base directory and the compiler options.
#include "guide/configuration.h"

#include "platform/byte_io.h"
#include "platform/file_resolver.h"
#include "platform/line_reader.h"

namespace krv::guide {

namespace pf = krv::platform;

std::string MainDirOf(const std::string& programDir) {
  // The parent of the program directory: the same as dropping "PGM/" in an
  // installation, and still right for a program directory of another name.
  std::string dir = programDir;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  std::string parent = pf::DirName(dir);
  if (parent.empty()) return !dir.empty() && dir[0] == '/' ? "/" : "";
  return parent.back() == '/' ? parent : parent + "/";
}

std::string ReplaceHashes(std::string_view line, std::string_view fpcDir) {
  std::string out;
  std::string_view rest = line;
  for (;;) {
    size_t p = rest.find('#');
    if (p == std::string_view::npos) {
      out.append(rest);
      return out;
    }
    out.append(rest.substr(0, p));
    out.append(fpcDir);
    rest = rest.substr(p + 1, 1000);
  }
}

static bool IsBlank(char c) { return c == ' ' || c == '\t'; }

static void AppendWords(std::string_view text, std::vector<std::string>& words) {
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    size_t start = i;
    while (i < text.size() && !IsBlank(text[i])) ++i;
    if (i > start) words.emplace_back(text.substr(start, i - start));
  }
}

void ApplyConfiguration(std::string_view text, ShellState& state) {
  pf::LineReader reader(text, true);
  std::string line1, line2, line3;
  reader.Next(line1) && reader.Next(line2) && reader.Next(line3);

  const std::string unitPath = "-Fu" + state.MainDir + "PGM/units;";
  const std::string tail = ReplaceHashes(line3, line1);
  state.FpcDir = line1;
  state.CompileOptions = line2 + " " + unitPath + tail;

  // The unit path stays one argument even when the main directory holds a
  // blank; text that line 3 glues onto it without a blank belongs to it.
  state.compileWords.clear();
  AppendWords(line2, state.compileWords);
  size_t glued = 0;
  while (glued < tail.size() && !IsBlank(tail[glued])) ++glued;
  state.compileWords.push_back(unitPath + tail.substr(0, glued));
  AppendWords(std::string_view(tail).substr(glued), state.compileWords);
}

void ReadConfiguration(ShellState& state) {
  state.MainDir = MainDirOf(state.ProgramDir);
  std::string text;
  if (!pf::ReadFileBytes(pf::JoinPath(state.ProgramDir, kConfigFileName), text)) text.clear();
  ApplyConfiguration(text, state);
}

}  // namespace krv::guide
