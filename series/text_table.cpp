// Text tables: optional name lines ("*    " and a series path), then one
// data line per index with one field per column, lines ended by CR LF (a
// bare LF reads as well). Gaps inside a column's range are written as the
// missing value, which reads back as a gap.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/byte_io.h"
#include "platform/file_resolver.h"
#include "platform/hourglass.h"
#include "platform/line_reader.h"
#include "platform/text.h"
#include "problem_editor/value_entry.h"
#include "series/value_text.h"
#include "series/worksheet_io.h"

namespace krv::series {

namespace {

constexpr int kLastRow = 12000;  // the worksheet's highest index
constexpr size_t kNameLineMax = 87;

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

bool BlankLine(std::string_view line) {
  for (char c : line)
    if (!IsBlank(c)) return false;
  return true;
}

// A data line begins, after blanks, control characters, "-" and ".", with
// a digit, or holds nothing else.
bool IsDataLine(std::string_view line) {
  for (char c : line.substr(0, kNameLineMax)) {
    if (IsBlank(c) || c == '-' || c == '.') continue;
    return c >= '0' && c <= '9';
  }
  return true;
}

// The fields of a line, separated by blanks and tabs.
void SplitFields(std::string_view line, std::vector<std::string_view>& fields) {
  fields.clear();
  size_t i = 0, n = line.size();
  while (i < n) {
    while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t b = i;
    while (i < n && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > b) fields.push_back(line.substr(b, i - b));
  }
}

// The worksheet's name of a column: "A " to "Z ", then "AA" to "SP".
std::string ColumnName(int c) {
  if (c < 26) return std::string(1, char('A' + c)) + " ";
  c -= 26;
  return std::string(1, char('A' + c / 26)) + char('A' + c % 26);
}

}  // namespace

void ReadTXTTable(SeriesStore& store, const std::string& path, int first) {
  std::string bytes;
  if (!ReadImportFile(store, path, kTXTMaxBytes, "text table", bytes)) return;
  platform::Hourglass hourglass;
  auto fail = [&](const std::string& text, bool always = false) {
    if (always)
      store.ShowMessageStr(text);
    else
      store.ReportError(text);
    store.FailureFlag = true;
  };

  // Name lines up to the first data line; blank lines before it are skipped
  // (they would otherwise make a table of no columns).
  std::vector<std::string> names;
  platform::LineReader reader(bytes);
  std::string line;
  size_t dataStart = bytes.size();
  bool dataFound = false;
  while (true) {
    size_t at = reader.Offset();
    if (!reader.Next(line)) break;
    if (BlankLine(line)) continue;
    if (IsDataLine(line)) {
      dataStart = at;
      dataFound = true;
      break;
    }
    std::string name = line.substr(0, kNameLineMax);
    if (name[0] == '&' || name[0] == '*' || name[0] == '?') name.erase(0, 1);
    SeriesStore::TrimToFirstWord(name);
    names.push_back(name.empty() ? std::string(kNoName) : name);
  }
  if (!dataFound) {
    fail("No Data in Txt file", true);
    return;
  }

  std::vector<std::string_view> fields;
  std::string_view data(bytes);
  data.remove_prefix(dataStart);
  platform::LineReader firstLine(data);
  firstLine.Next(line);
  SplitFields(line, fields);
  const int n = names.empty() ? int(fields.size()) : int(names.size());
  if (first < 0 || first > store.HighestColumn || n > store.HighestColumn - first + 1) {
    // Refused before any column is touched.
    fail(platform::BaseName(path) + ": " + platform::IntToString(n) +
         " columns do not fit from column " +
         (first >= 0 && first < kColumnCount ? ColumnName(first) : platform::IntToString(first)) +
         " on");
    return;
  }

  const std::string comment = "from file " + path;
  for (int k = 0; k < n; ++k) {
    int c = first + k;
    ColumnSlot& slot = store.ColumnSlots[size_t(c)];
    if (ColumnInUse(store, c)) {
      if (store.Display) store.Display->ClearColumnDisplay(c);
      store.FreeSeries(slot);
    }
    store.NewSeries(slot, false, comment);
    if (!names.empty()) slot.Descriptor().path = names[size_t(k)].substr(0, kShortMax);
  }

  // Data lines; each field is stored as it is read, so a fault keeps what
  // came before it.
  // Where the last text ends: blank lines after it end the table quietly.
  size_t lastText = std::string_view::npos;
  for (size_t k = data.size(); k > 0; --k)
    if (!IsBlank(data[k - 1])) {
      lastText = k - 1;
      break;
    }
  platform::LineReader lines(data);
  int index = store.RowUseLow;
  std::optional<int> lastIndex;
  bool inputError = false;
  while (lastText != std::string_view::npos && lines.Offset() <= lastText) {
    lines.Next(line);
    if (index > kLastRow) {
      fail(platform::BaseName(path) + ": lines past index " + platform::IntToString(kLastRow) +
           " were not read");
      break;
    }
    SplitFields(line, fields);
    bool stop = false;
    for (int k = 0; k < n && !stop; ++k) {
      if (size_t(k) >= fields.size()) {
        fail("Not enough numbers in a line ");
        stop = true;
        break;
      }
      std::optional<double> v = pe::ParseSingleValue(fields[size_t(k)]);
      if (!v) {
        fail("Error in input data");
        stop = inputError = true;
        break;
      }
      store.PutVal(store.ColumnSlots[size_t(first + k)], int16_t(index), *v);
      lastIndex = index;
    }
    if (stop) break;
    ++index;
  }
  bool failed = store.FailureFlag;

  if (!inputError) {
    if (lastIndex) store.RowUseHigh = int16_t(*lastIndex);
    if (store.Display) store.Display->ShowRowUseLimits();
  }
  for (int k = 0; k < n; ++k) {
    // After an input error the columns keep their modified mark: they hold
    // only part of the file.
    if (!inputError) store.ColumnSlots[size_t(first + k)].modified = false;
    if (store.Display) store.Display->ShowColumn(first + k);
  }
  if (store.Display) store.Display->RefreshColumnHeaders();
  store.FailureFlag = failed;
}

void WriteTXTTable(SeriesStore& store, const std::string& path, bool withNames, int first,
                   int last) {
  store.FailureFlag = false;
  platform::Hourglass hourglass;
  std::vector<ColumnSlot*> columns;
  for (int c = std::max(first, 0); c <= std::min(last, kColumnCount - 1); ++c)
    if (ColumnInUse(store, c)) columns.push_back(&store.ColumnSlots[size_t(c)]);

  std::string out;
  if (withNames)
    for (ColumnSlot* s : columns) out += "*    " + s->Descriptor().path + "\r\n";
  // Rows are laid out in place: 14 characters a field, blanks where a
  // column has no value, then CR LF. A field is 13 characters for every
  // value a single holds; a wider one still gets its whole text.
  size_t used = out.size();
  const size_t rowMax = columns.size() * 16 + 2;
  for (int i = store.RowUseLow; i <= store.RowUseHigh; ++i) {
    if (out.size() - used < rowMax)
      out.resize(std::max(out.size() * 2, used + rowMax * size_t(store.RowUseHigh - i + 1)));
    char* p = out.data() + used;
    for (ColumnSlot* s : columns) {
      const SeriesHeader& h = s->Header();
      if (h.Empty() || i < h.base + h.firstOffset || i > h.highest) {
        std::memset(p, ' ', 14);
        p += 14;
      } else {
        std::string f = FormatAutoDecimals(13, double(s->Cells()[size_t(i - h.base)]));
        *p++ = ' ';
        std::memcpy(p, f.data(), std::min(f.size(), size_t(15)));
        p += std::min(f.size(), size_t(15));
      }
    }
    *p++ = '\r';
    *p++ = '\n';
    used = size_t(p - out.data());
  }
  out.resize(used);

  if (!platform::WriteFileAtomic(path, out)) {
    store.ReportError("File ERR");
    store.FailureFlag = true;
  } else {
    for (ColumnSlot* s : columns) s->modified = false;
  }
  if (store.Display) store.Display->RefreshColumnHeaders();
}

}  // namespace krv::series
