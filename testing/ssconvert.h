// gnumeric's ssconvert as a second reader of the spreadsheets we write.
#pragma once

#include <string>

namespace krv::testing {

// The cells of the Lotus worksheet `file` as ssconvert writes them to CSV,
// or "(ssconvert failed: ...)". Its settings and caches go to a scratch
// home inside `scratchDir`, so it runs alike for root, without a display
// and without the user's settings (as in CI).
std::string SsconvertCsv(const std::string& file, const std::string& scratchDir);

}  // namespace krv::testing
