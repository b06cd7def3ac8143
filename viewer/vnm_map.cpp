// The viewer's reading of the variable map.
#include "viewer/vnm_map.h"

#include <cassert>

#include "preprocessor/vnm_reader.h"
#include "sequencer/prb_names.h"

namespace krv::view {

// Only the first 87 characters of a map line are used.
constexpr size_t kLineLimit = 87;
constexpr size_t kNameLimit = 79;

// Length of the number field when `line` starts as a variable line with a
// number wider than the map's four columns ("10000 IO  _X..."), else 0.
static size_t WideNumberEnd(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && line[i] == ' ') ++i;
  size_t j = i;
  while (j < line.size() && line[j] >= '0' && line[j] <= '9') ++j;
  if (j == i || j <= 4) return 0;
  if (j + 3 > line.size() || line[j] != ' ') return 0;
  return j;
}

VNMEntry ParseVNMLine(std::string_view line) {
  VNMEntry e;
  size_t wide = WideNumberEnd(line);
  // Blank out the wide number's extra columns so the subscript move's
  // column limits and the name's column hold as in a four-digit line.
  std::string cols = wide ? "    " + std::string(line.substr(wide)) : std::string(line);
  if (cols.size() > kLineLimit) cols.resize(kLineLimit);
  cols = seq::MoveSubscript(cols);
  if (wide) {
    e.code = std::string(line.substr(0, wide)) + cols.substr(4, 3);
    while (!e.code.empty() && e.code[0] == ' ' && e.code.size() > 8) e.code.erase(0, 1);
  } else {
    e.code = cols.substr(0, 7);
  }
  if (cols.size() > 9) e.name = cols.substr(9, kNameLimit);
  if (cols.size() >= 6) e.role1 = cols[5];
  if (cols.size() >= 7) e.role2 = cols[6];
  return e;
}

uint8_t KindNumber(char role1, char role2) {
  if (role1 == 'I') return role2 == 'O' ? 0 : role2 == 'C' ? 1 : 3;
  if (role1 == 'C') return 2;
  return 4;
}

void ReadVNMEntries(std::string_view text, int d, std::vector<VNMEntry>& entries,
                    std::vector<uint8_t>& kinds) {
  assert(d >= 0);
  entries.assign(size_t(d) + 1, VNMEntry{});
  kinds.assign(size_t(d) + 1, 4);
  pp::VariableMapLines map = pp::ReadVariableMapLines(text);
  static const std::string kNone;
  for (int i = 0; i <= d; ++i) {
    const std::string& line = size_t(i) < map.variableLines.size() ? map.variableLines[size_t(i)] : kNone;
    entries[size_t(i)] = ParseVNMLine(line);
    kinds[size_t(i)] = KindNumber(entries[size_t(i)].role1, entries[size_t(i)].role2);
  }
}

}  // namespace krv::view
