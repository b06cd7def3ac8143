// The compile label: the one identity mark of a translation, carried by the
// types file (.GTY), the variable map (.VNM), the problem file and the
// solver. Its making, and its reading back from a types file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace krv::pp {

// The label's calendar fields; the seconds are counted in two-second steps.
struct LabelTime {
  int year = 1980, month = 1, day = 1, hour = 0, minute = 0, twoSeconds = 0;
};
LabelTime LabelTimeFromPackedStamp(uint32_t stamp);

// ">mm-dd-yyyy hh:mm:ss name": two-digit fields padded with blanks, the
// model name the last path component cut to 17 characters.
std::string CompileLabel(const LabelTime& time, const std::string& modelPath);

// The label of a translation dated `stamp` (the file date of TMPQTL.TMP)
// that no line of `taken` (a first line or label of a file on disk) holds: a translation within the same two
// seconds as one whose outputs are still on disk is dated two seconds on
// (and again, until the label is new), so that no two translations whose
// files can stand side by side share a label. Returns the stamp used.
uint32_t DistinctLabelStamp(uint32_t stamp, const std::string& modelPath,
                            const std::vector<std::string>& taken);

// The largest types file a reader of its label takes; a model's types
// stay far below it.
inline constexpr uint64_t kMaxTypesFileBytes = 16ull << 20;

// The types file's last line: "CONST _UCMPLABEL='" + label (each quote
// doubled) + "';", without its line end.
std::string LabelConstantLine(const std::string& label);

// The label that a types file's constant line holds; nothing when the file
// has no such line (an empty types file, or another file).
std::optional<std::string> LabelOfTypesFile(std::string_view bytes);

}  // namespace krv::pp
