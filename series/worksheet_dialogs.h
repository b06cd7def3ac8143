// The rules of the worksheet's small dialogs: series names, the two
// description lines, row-use limits, value entry and the number display.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "series/series_store.h"

namespace krv::series {

// Parts split at "." of at most 27 characters, none of "&", "*", "?".
// Empty parts and an empty name pass.
bool IsLegalSeriesName(std::string_view name);

constexpr size_t kDescriptionLineMax = 53;

// The comment of two description lines: line 1 + "\" + line 2, or line 1
// alone when line 2 is empty; at most 108 characters.
std::string JoinDescription(std::string_view line1, std::string_view line2);
// The two lines of a comment, split at its first "\".
void SplitDescription(std::string_view comment, std::string& line1, std::string& line2);

// What the name dialog shows for a column.
struct NameDialogTexts {
  std::string caption, name, line1, line2;
};
NameDialogTexts NameDialogFill(SeriesStore& store, int column);
// OK of the name dialog: false and "Name has illegal form" shown when the
// name breaks the rule; otherwise the series (made when the column has
// none) gets the comment and the name.
bool NameDialogAccept(SeriesStore& store, int column, std::string_view name,
                      std::string_view line1, std::string_view line2);

// The row-use dialog's texts and its OK: false when the dialog stays open
// (a beep for a text that is no integer, the message for bad limits).
std::string RowUseText(int value);
bool RowUseAccept(SeriesStore& store, std::string_view low, std::string_view high);

// The value entry: the text shown for a value, and the value of a typed
// text (nothing, and a beep, when it is no number).
std::string RealEntryText(double value);
std::optional<double> RealEntryAccept(std::string_view text);

// The number display list: item k is the decimal display k - 2.
inline constexpr const char* kNumberDisplayItems[12] = {
    "Flexible decimal position", "Scientific (E-) format", "0      Fixed places",
    "1", "2", "3", "4", "5", "6", "7", "8", "9"};

}  // namespace krv::series
