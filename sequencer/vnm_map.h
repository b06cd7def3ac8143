// The parts of a variable map (.VNM) that the sequencer reads.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace krv::seq {

// The most name lines the sequencer's tables take.
inline constexpr size_t kMaxMapNames = 10000;
// Characters kept of each name line as read.
inline constexpr size_t kMapLineLimit = 127;

struct VnmIncidence {
  int output = 0;  // variable index
  int input = 0;   // variable index
  long long fix = 0;   // not 0: the pair comes from a fixing call
  long long mode = 0;  // 1 integration call, 2 derivative call, else none
};

struct VnmMap {
  std::string title;                   // line 1, its first 127 characters
  std::vector<std::string> nameLines;  // each cut to 127 characters
  std::vector<VnmIncidence> incidences;
};

struct VnmReadResult {
  bool ok = false;
  std::string error;  // one log line saying what is wrong, when !ok
};

// Reads the map's bytes (a byte 26 ends them; CR LF or LF end lines).
// Refuses a map without its "     #" line, a map marked "***ERROR***",
// more than 10000 name lines, a name line too short for its kind letters,
// and an incidence line that does not start with four integers or names
// a variable the map does not have. Blank lines among the incidences are
// skipped.
VnmReadResult ReadVariableMap(std::string_view bytes, VnmMap& out);

}  // namespace krv::seq
