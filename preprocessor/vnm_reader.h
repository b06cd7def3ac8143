// Reading the variable map (.VNM) that WriteVariableMap writes: the one
// reader of its layout, linked by every program that reads a map.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace krv::pp {

// The largest map a reader takes, from what Sequist holds: at most 10,000
// variable lines (10 MB at 1 KiB each, though it keeps only 127
// characters of a line) and at most 150,000 nonzeros in its matrix. An
// incidence line takes 16 bytes; twenty lines per nonzero leave room for
// those that add none (fixing calls, repeated pairs, outputs no equation
// reads): 3,000,000 lines, 48 MB. Together under 64 MiB; a larger file
// is not a map Sequist could sequence, and is refused before it is read.
inline constexpr uint64_t kMaxVariableMapBytes = 64ull << 20;
static_assert(10000 * 1024 + 20 * 150000 * 16 < kMaxVariableMapBytes);

// The reason a map file larger than kMaxVariableMapBytes is refused,
// naming the file.
std::string MapTooLargeMessage(const std::string& path);

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
