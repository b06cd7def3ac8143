// The rules of the worksheet's small dialogs.
#include "series/worksheet_dialogs.h"

#include "platform/text.h"
#include "platform/user_prompts.h"
#include "problem_editor/value_entry.h"
#include "series/worksheet_format.h"

namespace krv::series {

bool IsLegalSeriesName(std::string_view name) {
  name = name.substr(0, kShortMax);
  if (name.find_first_of("&*?") != std::string_view::npos) return false;
  size_t start = 0;
  while (true) {
    size_t dot = name.find('.', start);
    size_t end = dot == std::string_view::npos ? name.size() : dot;
    if (end - start > kComponentMax) return false;
    if (dot == std::string_view::npos) return true;
    start = dot + 1;
  }
}

std::string JoinDescription(std::string_view line1, std::string_view line2) {
  std::string c(line1);
  if (!line2.empty()) c += "\\" + std::string(line2);
  if (c.size() > kCommentMax) c.resize(kCommentMax);
  return c;
}

void SplitDescription(std::string_view comment, std::string& line1, std::string& line2) {
  size_t bs = comment.find('\\');
  if (bs == std::string_view::npos) {
    line1 = std::string(comment);
    line2.clear();
  } else {
    line1 = std::string(comment.substr(0, bs));
    line2 = std::string(comment.substr(bs + 1, kShortMax));
  }
}

NameDialogTexts NameDialogFill(SeriesStore& store, int column) {
  NameDialogTexts t;
  t.caption = "Edit Series Name and description for: " + ColumnLetters(column);
  ColumnSlot& slot = store.ColumnSlots[size_t(column)];
  if (!slot.IsOpen()) return t;
  t.name = slot.Descriptor().path;
  SplitDescription(slot.Header().comment, t.line1, t.line2);
  return t;
}

bool NameDialogAccept(SeriesStore& store, int column, std::string_view name,
                      std::string_view line1, std::string_view line2) {
  name = name.substr(0, kShortMax);
  if (!IsLegalSeriesName(name)) {
    store.ShowMessageStr("Name has illegal form");
    return false;
  }
  std::string comment = JoinDescription(line1, line2);
  ColumnSlot& slot = store.ColumnSlots[size_t(column)];
  if (slot.IsOpen())
    slot.Header().comment = comment;
  else
    store.NewSeries(slot, false, comment);
  if (slot.IsOpen()) slot.Descriptor().path = std::string(name);
  return true;
}

std::string RowUseText(int value) {
  return platform::PadLeft(platform::IntToString(value), 6);
}

bool RowUseAccept(SeriesStore& store, std::string_view low, std::string_view high) {
  auto number = [](std::string_view s) {
    size_t b = s.find_first_not_of(' ');
    return platform::ParseInt(b == std::string_view::npos ? std::string_view() : s.substr(b));
  };
  std::optional<long long> lo = number(low), hi = number(high);
  if (!lo || !hi) {
    platform::Prompts().Beep();
    return false;
  }
  if (*lo > *hi || *lo < -400 || *hi > 12000) {
    store.ShowMessageStr("Row use limits are out of range or low is bigger than high!");
    return false;
  }
  store.RowUseLow = int16_t(*lo);
  store.RowUseHigh = int16_t(*hi);
  return true;
}

std::string RealEntryText(double value) { return FormatByMagnitude(15, value); }

std::optional<double> RealEntryAccept(std::string_view text) {
  std::string t = pe::TrimBlanks(text.substr(0, 35));
  std::optional<double> v = pe::ParseRealValue(t);
  if (!v) platform::Prompts().Beep();
  return v;
}

}  // namespace krv::series
