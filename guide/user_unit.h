// The user unit KRVUSER.PAS that ties a problem's generated Pascal to the solver.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace krv::guide {

inline constexpr const char* kUserUnitName = "KRVUSER.PAS";
inline constexpr const char* kParkedUnitExt = ".DSU";

// The fresh 26-line unit of problem `name`, each line ended by CR LF.
std::string UserUnitText(const std::string& name);

// The problem whose unit this is: the name in its first line that includes
// a ".PSY" or ".psy" file (cut to 31 characters). Nothing when no line does.
// Lines are searched whole, so a long include path still names its owner.
std::optional<std::string> UserUnitOwner(std::string_view unitText);

}  // namespace krv::guide
