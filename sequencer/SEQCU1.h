// The sequencer pass: from a variable map (.VNM) to a problem file (.PRB).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "preprocessor/log_writer.h"
#include "sequencer/order_jacobian.h"

namespace krv::seq {

// The sequencer's one-line banner, shown above the log and at each pass.
inline constexpr char kBanner[] = "Sequist model sequencer 1.0";

// One pass. Logs the banner and the memory in use, reads the map at
// `inputPath`, orders it and writes the problem file to `outputPath`,
// then logs " ---FINISHED" and the memory in use. The problem file is
// written only when it is complete (through a temporary file), so a
// failed pass leaves any earlier problem file as it was. An earlier
// problem file that holds values is first kept as NAME.OLD.PRB (one log
// line says so); when that copy cannot be written, nothing is replaced.
// True when the problem file was written.
bool RunSequencer(const std::string& inputPath, const std::string& outputPath,
                  pp::LogWriter& log, const OrderingOptions& options = {});

// The pass without files: the problem file's bytes from the map's bytes,
// logging as RunSequencer does between its banner lines. False, with
// `prbBytes` empty, after a logged failure.
bool SequenceMap(std::string_view mapBytes, std::string& prbBytes, pp::LogWriter& log,
                 const OrderingOptions& options = {});

// True when a problem file's bytes hold anything the editor sets or the
// solver leaves: a block other than 'U' and 24 zero bytes. Bytes that do
// not read as a problem file count as holding values (nothing is assumed
// empty that cannot be read).
bool HoldsValues(std::string_view prbBytes);

// Where a replaced problem file with values is kept: NAME.PRB gives
// NAME.OLD.PRB (any other name gets ".OLD.PRB" appended).
std::string KeptProblemPathFor(const std::string& prbPath);

// Batch start with a base path (no extension): runs the pass on
// base + ".VNM" into base + ".PRB", or shows "FILE ERROR" when the map
// does not open. An empty argument does nothing. True when a pass ran.
bool RunFromCommandLine(const std::string& basePath, pp::LogWriter& log);

// The File command's choice of a map: shows the open dialog until a file
// that opens is chosen; nothing when the user cancels.
std::optional<std::string> ChooseMapFile();

// The problem file for a chosen map: the path up to its first ".VNM"
// (exactly so, upper case), or the whole path, followed by ".PRB".
std::string ProblemPathFor(const std::string& mapPath);

// Bytes of dynamic memory in use, as the log shows them.
long long MemoryInUse();

}  // namespace krv::seq
