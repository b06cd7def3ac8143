// The variable map (.VNM): every scalar model variable with its number,
// roles and dotted path, then the incidences of the equation calls.
#pragma once

#include <string>

#include "preprocessor/mproc_tables.h"
#include "preprocessor/syntax_error.h"
#include "preprocessor/text_buffer.h"
#include "preprocessor/type_chain.h"

namespace krv::pp {

inline constexpr int kMaxMapVariables = 10000;
inline constexpr const char* kMapScratchFile = "SAVI.TMP";
inline constexpr const char* kIncidenceScratchFile = "SAVIJ.TMP";

// The map's text from the label line to the last incidence line, CR LF
// line ends. Runs the tree walk from SYSTEM with the scratch files
// SAVI.TMP and SAVIJ.TMP in the current directory (deleted afterwards).
std::string WriteVariableMap(ErrorReport& errors, const TextBuffer& text, const TypeChain& types,
                             const MprocTables& mprocs, const std::string& label);

}  // namespace krv::pp
