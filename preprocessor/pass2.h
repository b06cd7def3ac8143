// Pass 2: the intermediate file becomes the .PSY file, each MPROC completed
// at its two segment marks; then the variable map is written.
#pragma once

#include <string>

#include "preprocessor/mproc_tables.h"
#include "preprocessor/pass_context.h"
#include "preprocessor/type_chain.h"

namespace krv::pp {

// Copies the intermediate text to the output, adding the state parameters
// at each MPROC's first mark and its change guard at the second.
void RewriteForPass2(PassContext& c, const TypeChain& types, const MprocTables& mprocs);

// Logs "continuing...", rewrites, and returns the variable map's text up to
// and including its incidence lines ("***ERROR***" and byte 26 are the
// caller's). Pass-2 errors set the error report's Pass2Failed flag.
std::string RunPass2(PassContext& c, const TypeChain& types, const MprocTables& mprocs,
                     const std::string& label);

}  // namespace krv::pp
