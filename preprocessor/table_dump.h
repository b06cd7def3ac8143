// The debug dump of the translator's tables into "DMPTABLE.txt".
#pragma once

#include <string>

#include "preprocessor/log_writer.h"
#include "preprocessor/text_buffer.h"
#include "preprocessor/type_chain.h"

namespace krv::pp {

// The dump's text: one block per type (XVR first), then an empty line.
// An empty chain (no run yet) gives the empty line alone. CR LF line ends.
std::string TableDumpText(const TextBuffer& text, const TypeChain& chain);

// Writes "DMPTABLE.txt" in the current directory; a failure is logged as
// "DMP exception" and goes no further.
void DumpTables(const TextBuffer& text, const TypeChain& chain, LogWriter& log);

}  // namespace krv::pp
