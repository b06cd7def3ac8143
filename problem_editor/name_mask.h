// Name masks over dotted variable names: segments, "&" ends, "*" and "?".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace krv::pe {

struct MaskSegment {
  std::string text;   // upper case, at most 27 characters
  bool star = false;  // the segment begins with "*": compared from its end
};

struct NameMask {
  bool anchored = false;  // began with "&": matched from the end of the name
  std::vector<MaskSegment> segments;
};

constexpr size_t kMaskSegmentMax = 27;
constexpr size_t kMaskTextMax = 87;
inline constexpr const char* kNameSyntaxErr = "Name syntax err";

// Parses `text` into `mask`; false on a syntax error, after which `mask`
// holds the segments parsed before it. With `report`, an error shows
// "Name syntax err". A text of blanks only gives an empty mask.
bool ParseNameMask(std::string_view text, NameMask& mask, bool report = true);

// Parses a mask the way a selection uses it: an empty mask becomes the
// single anchored "&", which matches every name.
bool SetNameMask(std::string_view text, NameMask& mask, bool report = true);

bool MatchMaskSegment(const MaskSegment& m, std::string_view n);

// Whether `name` (without the leading "_X.") matches. A name that itself
// breaks the syntax sets *splitError (when given) and is matched on the
// segments before the fault.
bool MatchVarName(const NameMask& mask, std::string_view name, bool* splitError = nullptr);

}  // namespace krv::pe
