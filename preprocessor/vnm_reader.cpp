// Reading the variable map (.VNM).
#include "preprocessor/vnm_reader.h"

#include "platform/byte_io.h"
#include "platform/line_reader.h"
#include "platform/text.h"

namespace krv::pp {

static constexpr std::string_view kErrorMark = "***ERROR***";

std::string MapTooLargeMessage(const std::string& path) {
  return platform::TooLargeMessage(path, "a variable map", kMaxVariableMapBytes);
}

bool IsMapTerminator(std::string_view line) { return line.size() >= 6 && line[5] == '#'; }

VariableMapLines ReadVariableMapLines(std::string_view bytes) {
  VariableMapLines out;
  platform::LineReader reader(bytes, true);
  std::string line;
  if (!reader.Next(line)) return out;
  out.empty = false;
  out.label = line;
  while (reader.Next(line)) {
    if (IsMapTerminator(line)) {
      out.terminated = true;
      break;
    }
    out.variableLines.push_back(line);
  }
  if (!out.terminated) return out;
  const size_t incidencesFrom = reader.Offset();
  while (reader.Next(line)) out.incidenceLines.push_back(line);
  std::string_view text = bytes.substr(0, bytes.find('\x1a'));
  out.errorMarked = text.find(kErrorMark, incidencesFrom) != std::string_view::npos;
  return out;
}

// Splits at blanks and tabs, as a free-format integer read does.
static std::vector<std::string_view> Words(std::string_view line, size_t most) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < line.size() && out.size() < most) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

bool IsBlankLine(std::string_view line) { return Words(line, 1).empty(); }

std::optional<MapIncidence> ParseIncidenceLine(std::string_view line) {
  auto words = Words(line, 4);
  if (words.size() < 4) return std::nullopt;
  long long v[4];
  for (size_t k = 0; k < 4; ++k) {
    auto parsed = platform::ParseInt(words[k]);
    if (!parsed) return std::nullopt;
    v[k] = *parsed;
  }
  return MapIncidence{v[0], v[1], v[2], v[3]};
}

}  // namespace krv::pp
