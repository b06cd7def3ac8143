// Pass 1, part A: the XVTYPE part becomes the type chain and leaves the output.
#pragma once

#include "preprocessor/pass_context.h"
#include "preprocessor/type_chain.h"

namespace krv::pp {

// Copies the text before the first XVTYPE, XPROC or XDXPROC, builds the
// chain (XVR first) from the type part, and leaves the statement list on
// the token that ends it (VAR, TYPE, XPROC, XDXPROC, MPROC, PROCEDURE,
// FUNCTION, LABEL, CONST, or end of file without a type part).
void ParseXvtypePart(PassContext& c, TypeChain& chain);

}  // namespace krv::pp
