// The problem's SOSI file as the SOSI window shows it: loading (or creating
// it from the sample), saving, and positions between file and memo.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace krv::guide {

// Where `offset` of file bytes lies in the memo text made from them
// (MemoTextFromFile: a CR LF is one line break there).
size_t MemoPosition(const std::string& bytes, size_t offset);

// The memo text of `problemName`.SO. When there is none, asks "Create a
// new SOSI file for this problem??" and on OK copies `programDir`DSAMPLE.SO
// into place ("File problem" when that fails). Nothing when there is
// nothing to show: the memo keeps its text.
std::optional<std::string> LoadSosiFile(const std::string& problemName,
                                        const std::string& programDir);

// Saves memo text as `problemName`.SO; on failure says so, naming the file.
bool SaveSosiFile(const std::string& problemName, const std::string& memo);

}  // namespace krv::guide
