// Column names and the cell texts of the worksheet grid.
#pragma once

#include <string>
#include <string_view>

#include "series/series_types.h"
#include "series/value_text.h"

namespace krv::series {

// "A ".."Z " for columns 0..25, "AA".."SP" for 26..509: always two characters.
std::string ColumnLetters(int column);

// The column a typed name selects: blanks in front skipped, upper-cased,
// characters after the second ignored, clamped to 0..highestColumn. An
// empty or blank text selects column A.
int ParseColumnLetters(std::string_view text, int highestColumn = kColumnCount - 1);

// Decimal display of a column: fixed places 0..9, or one of these.
constexpr int kSpecScientific = -1;
constexpr int kSpecFlexible = -2;

// The value right-aligned in `width` with `decimals` places (fixed notation).
std::string FormatFixed(int width, int decimals, double value);

// The "Flexible decimal position" text: about seven significant digits in
// fixed notation, E format when the magnitude leaves no room.
std::string FormatByMagnitude(int width, double value);

// A cell's text by its column's decimal display, at most 27 characters.
std::string FormatCellValue(int width, int digits, double value);

}  // namespace krv::series
