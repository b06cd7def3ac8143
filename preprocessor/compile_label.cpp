// The compile label and the types file's label constant.
#include "preprocessor/compile_label.h"

#include <algorithm>

#include "platform/file_resolver.h"
#include "platform/file_stamp.h"
#include "platform/text.h"

namespace krv::pp {

static constexpr std::string_view kConstantStart = "CONST _UCMPLABEL='";
static constexpr std::string_view kConstantEnd = "';";

LabelTime LabelTimeFromPackedStamp(uint32_t s) {
  LabelTime t;
  t.year = int(s >> 25) + 1980;
  t.month = int((s >> 21) & 15);
  t.day = int((s >> 16) & 31);
  t.hour = int((s >> 11) & 31);
  t.minute = int((s >> 5) & 63);
  t.twoSeconds = int(s & 31);
  return t;
}

static std::string Two(int v) { return platform::PadLeft(platform::IntToString(v), 2); }

std::string CompileLabel(const LabelTime& t, const std::string& modelPath) {
  std::string name = platform::BaseName(modelPath).substr(0, 17);
  return ">" + Two(t.month) + "-" + Two(t.day) + "-" +
         platform::PadLeft(platform::IntToString(t.year), 4) + " " + Two(t.hour) + ":" +
         Two(t.minute) + ":" + Two(t.twoSeconds) + " " + name;
}

uint32_t DistinctLabelStamp(uint32_t stamp, const std::string& modelPath,
                            const std::vector<std::string>& taken) {
  // A line carries a label where the label stands anywhere in it: the problem
  // file's first line holds it between marks of the problem file's own, and a
  // line that merely looks alike costs a two-second step, never a shared label.
  auto isTaken = [&](uint32_t s) {
    std::string label = CompileLabel(LabelTimeFromPackedStamp(s), modelPath);
    return std::any_of(taken.begin(), taken.end(),
                       [&](const std::string& line) { return line.find(label) != std::string::npos; });
  };
  // Each step leaves behind a label that some line holds, and a line holds at
  // most one label per label's length of its own (every label is longer than
  // its 21 characters of date and time).
  size_t steps = 0;
  for (const std::string& line : taken) steps += 1 + line.size() / 21;
  for (size_t step = 0; step < steps && isTaken(stamp); ++step)
    stamp = platform::PackLocalTime(platform::UnpackLocalTime(stamp) + 2);
  return stamp;
}

std::string LabelConstantLine(const std::string& label) {
  std::string line(kConstantStart);
  for (char ch : label) {
    line += ch;
    if (ch == '\'') line += '\'';  // a Pascal string literal doubles its quotes
  }
  line += kConstantEnd;
  return line;
}

std::optional<std::string> LabelOfTypesFile(std::string_view bytes) {
  // The constant is the last line that starts with it; a type's field line
  // never does.
  size_t at = bytes.rfind(kConstantStart);
  while (at != std::string_view::npos && at > 0 && bytes[at - 1] != '\n')
    at = bytes.rfind(kConstantStart, at - 1);
  if (at == std::string_view::npos) return std::nullopt;
  std::string label;
  for (size_t i = at + kConstantStart.size(); i < bytes.size(); ++i) {
    if (bytes[i] == '\r' || bytes[i] == '\n') break;
    if (bytes[i] != '\'') {
      label += bytes[i];
      continue;
    }
    if (i + 1 < bytes.size() && bytes[i + 1] == '\'') {
      label += '\'';
      ++i;
      continue;
    }
    if (bytes.substr(i, kConstantEnd.size()) == kConstantEnd) return label;
    break;
  }
  return std::nullopt;
}

}  // namespace krv::pp
