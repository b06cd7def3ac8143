// The terms of a change guard: X.D for a scalar, QTLC(count,@name) for a
// record, with the VARRAY's scalars counted for a variable-length type.
#pragma once

#include <string>

#include "preprocessor/text_buffer.h"
#include "preprocessor/type_chain.h"

namespace krv::pp {

std::string GuardTerm(const TextBuffer& text, const TypeChain& types, const std::string& name,
                      TypeRecord* type);

}  // namespace krv::pp
