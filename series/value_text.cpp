// How the worksheet and its text tables write a value.
#include "series/value_text.h"

#include "problem_editor/FormatReal.h"

namespace krv::series {

std::string FormatAutoDecimals(int width, double value) { return pe::FormatReal(width, value); }

}  // namespace krv::series
