// The byte fields that both layouts of the data-series file share: a
// length-prefixed string and a date stamp. The current layout's records and
// the earlier layout's (the viewer's) are laid out with these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "series/series_types.h"

namespace krv::series {

// A string field of `width` characters: a length byte, then the characters;
// a longer `s` is cut to `width`.
void PutString(uint8_t* p, const std::string& s, size_t width);
// False when the length byte exceeds `width`; `s` then holds `width`
// characters.
bool GetString(const uint8_t* p, size_t width, std::string& s);

// Year (int16), month, day, hour, minute: 6 bytes.
void PutStamp(uint8_t* p, const DateStamp& d);
DateStamp GetStamp(const uint8_t* p);

}  // namespace krv::series
