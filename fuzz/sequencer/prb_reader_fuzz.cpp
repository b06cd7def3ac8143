// Feeds arbitrary bytes to the problem-file reader; what it accepts must
// write back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sequencer/prb_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace krv::seq;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  PrbProblem p;
  PrbReadOptions older;
  older.acceptOlderLayout = true;
  older.ordering = PrbOrderingRule::CopyUnread;
  ReadPrb(bytes, p, older);
  if (!ReadPrb(bytes, p).ok) return 0;
  PrbWriteOptions keep;
  keep.keepStoredLines = true;
  std::string out, error;
  if (!WritePrb(p, out, error, keep) || out != bytes) std::abort();
  return 0;
}
