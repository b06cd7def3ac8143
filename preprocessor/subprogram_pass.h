// Pass 1, part B: the procedures after the type part.
#pragma once

#include "preprocessor/pass_context.h"

namespace krv::pp {

// Writes the rest of the source to the intermediate file, ending with the
// current token (the end-of-file mark). Equation and model procedures are
// not translated yet: their text is copied unchanged and the log says so.
void RunSubprogramPass(PassContext& c);

}  // namespace krv::pp
