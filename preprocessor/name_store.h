// The run's name store: names copied out of tokens and literals, kept for
// the whole run, and the check that rejects names with '_'.
#pragma once

#include <string>
#include <string_view>

#include "preprocessor/pass_context.h"

namespace krv::pp {

inline constexpr std::string_view kNameStoreFull = "NAME STORE FULL";

// Copy text (at most 80 characters) or a token's text into the store. A
// full store stops the run with a fatal error.
NameRef StoreLiteralName(PassContext& c, std::string_view text);
NameRef StoreTokenName(PassContext& c, const TokenNode& node);
// Equal lengths and characters, letter case significant.
bool NameEquals(const PassContext& c, std::string_view literal, const NameRef& ref);
// LogAppend of the name (at most 80 characters) and one blank.
void LogNameRef(PassContext& c, const NameRef& ref);
// A name with '_' is logged and reported as a syntax error.
void RejectUnderscoreName(PassContext& c, std::string_view name);
void RejectUnderscoreTokenName(PassContext& c, const NameRef& ref);

}  // namespace krv::pp
