// The viewer's reading of the variable map: one code and name per
// variable, and the kind number that the selection filter uses.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace krv::view {

struct VNMEntry {
  std::string code;  // number and role letters, "   5 IO"
  std::string name;  // from "_X." on, subscripts moved
  char role1 = ' ';
  char role2 = ' ';
};

// Splits one variable line. Lines follow the map's columns; a number of
// five or more digits shifts the rest of its line, so the number, the role
// letters and the name are taken as fields.
VNMEntry ParseVNMLine(std::string_view line);

// 0 "IO", 1 "IC", 2 "CO" (any 'C' first), 3 other 'I' first, 4 the rest.
uint8_t KindNumber(char role1, char role2);

// Entries and kinds of variables 0..d from the map's variable lines (those
// between the compile label and the terminator); variables without a line
// read as empty.
void ReadVNMEntries(std::string_view text, int d, std::vector<VNMEntry>& entries,
                    std::vector<uint8_t>& kinds);

}  // namespace krv::view
