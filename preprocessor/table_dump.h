// The debug dump of the translator's tables into "DMPTABLE.txt".
#pragma once

#include <string>

#include "preprocessor/log_writer.h"
#include "preprocessor/mproc_tables.h"
#include "preprocessor/proc_tables.h"
#include "preprocessor/text_buffer.h"
#include "preprocessor/type_chain.h"

namespace krv::pp {

struct DumpSources {
  const TextBuffer& text;
  const TypeChain& types;
  const ProcTables& procs;
  const MprocTables& mprocs;
};

// The dump's text: one block per type (XVR first) and an empty line, then
// the equation procedures and the MPROCs with their call trees. Before a
// run it is the empty line alone. CR LF line ends.
std::string TableDumpText(const DumpSources& d);

// Writes "DMPTABLE.txt" in the current directory; a failure is logged as
// "DMP exception" and goes no further.
void DumpTables(const DumpSources& d, LogWriter& log);

}  // namespace krv::pp
