// The generated types file (.GTY): one Pascal record per model type and
// the compile label constant.
#pragma once

#include <cstdint>
#include <string>

#include "preprocessor/text_buffer.h"
#include "preprocessor/type_chain.h"

namespace krv::pp {

// The label's calendar fields; the seconds are counted in two-second steps.
struct LabelTime {
  int year = 1980, month = 1, day = 1, hour = 0, minute = 0, twoSeconds = 0;
};
LabelTime LabelTimeFromPackedStamp(uint32_t stamp);

// ">mm-dd-yyyy hh:mm:ss name": two-digit fields padded with blanks, the
// model name the last path component cut to 17 characters.
std::string CompileLabel(const LabelTime& time, const std::string& modelPath);

// The body of the .GTY file: the records of every type after XVR (those
// holding a VARRAY left out when `vSwitch` is off) and the label line.
// Lines end with CR LF; the final byte 26 is the caller's.
std::string GeneratedTypesText(const TextBuffer& text, const TypeChain& chain, bool vSwitch,
                               const std::string& label);

}  // namespace krv::pp
