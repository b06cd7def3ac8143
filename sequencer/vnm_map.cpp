// The parts of a variable map (.VNM) that the sequencer reads.
#include "sequencer/vnm_map.h"

#include "platform/line_reader.h"
#include "platform/text.h"

namespace krv::seq {

using platform::IntToString;

static constexpr std::string_view kErrorMark = "***ERROR***";

// The terminator "     #" has '#' as its 6th character.
static bool IsTerminator(std::string_view line) { return line.size() >= 6 && line[5] == '#'; }

// Splits at blanks and tabs, as a free-format integer read does.
static std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

static VnmReadResult Fail(std::string message) { return {false, std::move(message)}; }

VnmReadResult ReadVariableMap(std::string_view bytes, VnmMap& out) {
  out = VnmMap{};
  platform::LineReader reader(bytes, true);
  std::string line;
  if (!reader.Next(line)) return Fail("Empty map: no title line");
  out.title = line.substr(0, kMapLineLimit);

  bool terminated = false;
  while (reader.Next(line)) {
    if (IsTerminator(line)) {
      terminated = true;
      break;
    }
    if (out.nameLines.size() == kMaxMapNames)
      return Fail("Too many variables: more than " + IntToString(kMaxMapNames));
    if (line.size() < 7)
      return Fail("Name line " + IntToString(static_cast<long long>(out.nameLines.size())) +
                  " has no kind letters");
    out.nameLines.push_back(line.substr(0, kMapLineLimit));
  }
  if (!terminated) return Fail("No \"     #\" line after the names: the map is incomplete");

  // A failed preprocessing pass marks the map; its incidences are not to
  // be trusted, whatever else the lines hold.
  std::string_view text = bytes.substr(0, bytes.find('\x1a'));
  if (text.find(kErrorMark, reader.Offset()) != std::string_view::npos)
    return Fail("Map marked " + std::string(kErrorMark) + ": preprocessing failed");

  const long long names = static_cast<long long>(out.nameLines.size());
  size_t lineNo = out.nameLines.size() + 2;
  while (reader.Next(line)) {
    ++lineNo;
    auto words = Words(line);
    if (words.empty()) continue;
    long long v[4];
    for (size_t k = 0; k < 4; ++k) {
      auto parsed = k < words.size() ? platform::ParseInt(words[k]) : std::nullopt;
      if (!parsed)
        return Fail("Invalid numeric format in line " + IntToString(static_cast<long long>(lineNo)));
      v[k] = *parsed;
    }
    for (size_t k = 0; k < 2; ++k)
      if (v[k] < 0 || v[k] >= names)
        return Fail("Line " + IntToString(static_cast<long long>(lineNo)) + " names variable " +
                    IntToString(v[k]) + ", not in the map");
    out.incidences.push_back({int(v[0]), int(v[1]), v[2], v[3]});
  }
  return {true, ""};
}

}  // namespace krv::seq
