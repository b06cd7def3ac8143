// The generated types file (.GTY): one Pascal record per model type and
// the compile label constant.
#pragma once

#include <cstdint>
#include <string>

#include "preprocessor/compile_label.h"
#include "preprocessor/text_buffer.h"
#include "preprocessor/type_chain.h"

namespace krv::pp {

// The body of the .GTY file: the records of every type after XVR (those
// holding a VARRAY left out when `vSwitch` is off) and the label line.
// Lines end with CR LF; the final byte 26 is the caller's.
std::string GeneratedTypesText(const TextBuffer& text, const TypeChain& chain, bool vSwitch,
                               const std::string& label);

}  // namespace krv::pp
