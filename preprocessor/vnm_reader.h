// Reading the variable map (.VNM) that WriteVariableMap writes: the one
// reader of its layout, linked by every program that reads a map.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace krv::pp {

// The map's lines in their sections. A byte 26 ends the text; CR LF or a
// bare LF ends a line.
struct VariableMapLines {
  std::string label;                        // line 1, the compile label
  std::vector<std::string> variableLines;   // lines 2.. up to the terminator
  bool terminated = false;                  // the "     #" line was found
  std::vector<std::string> incidenceLines;  // every line after the terminator
  // Preprocessing failed: "***ERROR***" stands after the terminator.
  bool errorMarked = false;
  bool empty = true;                        // not even a label line
};

// The terminator has '#' in column 6.
bool IsMapTerminator(std::string_view line);

// Splits the map's bytes into its sections.
VariableMapLines ReadVariableMapLines(std::string_view bytes);

// One incidence line: output and input variable numbers, fix flag, mode.
struct MapIncidence {
  long long output = 0;
  long long input = 0;
  long long fix = 0;   // not 0: the pair comes from a fixing call
  long long mode = 0;  // 1 integration call, 2 derivative call, else none
};

// The four integers an incidence line starts with, read in free format
// (blanks and tabs between them, the rest of the line skipped); nullopt
// when the line does not start with four integers.
std::optional<MapIncidence> ParseIncidenceLine(std::string_view line);

// True for a line with nothing but blanks and tabs.
bool IsBlankLine(std::string_view line);

}  // namespace krv::pp
