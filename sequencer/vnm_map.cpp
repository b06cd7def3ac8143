// The parts of a variable map (.VNM) that the sequencer reads.
#include "sequencer/vnm_map.h"

#include "platform/text.h"
#include "preprocessor/vnm_reader.h"

namespace krv::seq {

using platform::IntToString;

VnmReadResult ReadVariableMap(std::string_view bytes, VnmMap& out) {
  auto fail = [](std::string message) { return VnmReadResult{false, std::move(message)}; };
  out = VnmMap{};
  pp::VariableMapLines map = pp::ReadVariableMapLines(bytes);
  if (map.empty) return fail("Empty map: no title line");
  out.title = map.label.substr(0, kMapLineLimit);

  for (const std::string& line : map.variableLines) {
    if (out.nameLines.size() == kMaxMapNames)
      return fail("Too many variables: more than " + IntToString(kMaxMapNames));
    if (line.size() < 7)
      return fail("Name line " + IntToString(static_cast<long long>(out.nameLines.size())) +
                  " has no kind letters");
    out.nameLines.push_back(line.substr(0, kMapLineLimit));
  }
  if (!map.terminated) return fail("No \"     #\" line after the names: the map is incomplete");
  // A failed preprocessing pass marks the map; its incidences are not to
  // be trusted, whatever else the lines hold.
  if (map.errorMarked) return fail("Map marked ***ERROR***: preprocessing failed");

  const long long names = static_cast<long long>(out.nameLines.size());
  size_t lineNo = out.nameLines.size() + 2;
  for (const std::string& line : map.incidenceLines) {
    ++lineNo;
    if (pp::IsBlankLine(line)) continue;
    std::optional<pp::MapIncidence> inc = pp::ParseIncidenceLine(line);
    if (!inc) return fail("Invalid numeric format in line " + IntToString(static_cast<long long>(lineNo)));
    for (long long v : {inc->output, inc->input})
      if (v < 0 || v >= names)
        return fail("Line " + IntToString(static_cast<long long>(lineNo)) + " names variable " +
                    IntToString(v) + ", not in the map");
    out.incidences.push_back({int(inc->output), int(inc->input), inc->fix, inc->mode});
  }
  return {true, ""};
}

}  // namespace krv::seq
