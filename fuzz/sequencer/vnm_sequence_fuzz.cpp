// Feeds arbitrary bytes to the whole sequencer pass as a variable map. The
// pass must end; what it writes must read back; and tracking solvable rows
// must order exactly as sweeping row by row does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "preprocessor/log_writer.h"
#include "sequencer/SEQCU1.h"
#include "sequencer/prb_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace krv::seq;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  krv::pp::LogWriter fastLog, literalLog;
  std::string fast, literal;
  bool ok = SequenceMap(bytes, fast, fastLog);
  OrderingOptions sweeps;
  sweeps.literalSweeps = true;
  bool okLiteral = SequenceMap(bytes, literal, literalLog, sweeps);
  if (ok != okLiteral || fast != literal || fastLog.Lines() != literalLog.Lines()) std::abort();
  if (!ok) return 0;
  PrbProblem p;
  if (!ReadPrb(fast, p).ok) std::abort();
  return 0;
}
