// WKS spreadsheets: records of a u16 opcode, a u16 body length and the
// body, little-endian, as in the published worksheet file format. Written
// whole in memory and saved through the crash-safe writer. Read from one
// byte image of the file: a parse that touches nothing but its sink turns
// the records into cells, columns and names, and a sink of the worksheet's
// puts them into the columns as they come.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/byte_io.h"
#include "platform/file_resolver.h"
#include "platform/hourglass.h"
#include "platform/little_endian.h"
#include "platform/text.h"
#include "series/worksheet_io.h"

namespace krv::series {

using platform::AppendU16;
using platform::GetF64;
using platform::GetI16;
using platform::GetU16;
using platform::PutF64;
using platform::PutU16;

namespace {

enum : uint16_t {
  kEOF = 1,
  kInteger = 13,
  kNumber = 14,
  kLabel = 15,
  kFormula = 16,
};
constexpr size_t kBodyMax = 2048;     // the longest record body a cell may have
constexpr size_t kCellHead = 5;       // format, column, row
constexpr size_t kLabelMax = 74;      // characters of a label kept as a name

void Record(std::string& out, unsigned opcode, const std::string& body) {
  AppendU16(out, uint16_t(opcode));
  AppendU16(out, uint16_t(body.size()));
  out += body;
}

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s += char(b);
  return s;
}
std::string Times(int n, const std::string& unit) {
  std::string s;
  for (int k = 0; k < n; ++k) s += unit;
  return s;
}

// The 632 bytes that open every written file: BOF of version 0x0404 and the
// sheet settings that spreadsheet programs expect before the cells.
const std::string& Preamble() {
  static const std::string bytes = [] {
    const std::string range = Bytes({0xFF, 0xFF, 0, 0});
    const std::string z(1, '\0');
    std::string graph = Times(26, range) + std::string(3, '\0') + std::string(6, '\3') +
                        std::string(13, '\0') + Bytes({0xE0, 0x37}) + std::string(6, '\0') +
                        Bytes({0xE0, 0x37}) + std::string(7, '\0') + Bytes({0xE0, 0x37}) +
                        std::string(6, '\0') + Bytes({0xE0, 0x37}) + std::string(280, '\0') +
                        Bytes({1, 2, 5, 5});
    std::string out;
    Record(out, 0, Bytes({4, 4}));     // BOF
    Record(out, 2, Bytes({0xFF}));     // CALCMODE
    Record(out, 5, z);                 // SYNC
    Record(out, 4, z);                 // SPLIT
    Record(out, 7, Bytes({0, 0, 0, 0, 0x7F, 0, 9, 0, 8, 0, 0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                          0, 0, 0, 4, 0, 4, 0, 0x48, 0, 0}));  // WINDOW1
    Record(out, 39, z);                // SETUP
    Record(out, 36, z);                // PROTEC
    Record(out, 37, z);                // FOOTER
    Record(out, 38, z);                // HEADER
    Record(out, 40, Bytes({0, 0, 0x50, 0, 0x42, 0, 2, 0, 2, 0}));  // MARGINS
    Record(out, 41, Bytes({0x27}));    // LABELFMT
    Record(out, 24, z + Times(6, range));  // TABLE
    Record(out, 25, Times(6, range) + z);  // ORANGE
    Record(out, 27, Times(2, range));      // SRANGE
    Record(out, 29, Times(2, range) + Bytes({0xFF}));  // KRANGE
    Record(out, 35, Times(2, range) + Bytes({0xFF}));  // KRANGE2
    Record(out, 45, graph);            // GRAPH
    return out;
  }();
  return bytes;
}


}  // namespace

void WriteWKSFile(SeriesStore& store, const std::string& path) {
  store.FailureFlag = false;
  platform::Hourglass hourglass;
  int lowest = 32766;
  for (int c = 0; c < kColumnCount; ++c) {
    ColumnSlot& s = store.ColumnSlots[size_t(c)];
    if (s.IsOpen() && !s.Header().Empty())
      lowest = std::min(lowest, s.Header().base + int(s.Header().firstOffset));
  }

  // The whole file is laid out in one buffer: labels first measured, then
  // every record written in place.
  const std::string& preamble = Preamble();
  size_t size = preamble.size() + 4;
  for (int c = 0; c < kColumnCount; ++c) {
    const ColumnSlot& s = store.ColumnSlots[size_t(c)];
    if (!s.IsOpen()) continue;
    if (s.Descriptor().path != kNoName)
      size += 4 + 6 + std::min(s.Descriptor().path.size() + 1, kShortMax);
    if (!s.Header().Empty())
      size += size_t(s.Header().highest - (s.Header().base + s.Header().firstOffset) + 1) * 17;
  }
  std::string out(size, '\0');
  char* p = out.data();
  std::memcpy(p, preamble.data(), preamble.size());
  p += preamble.size();
  auto u16 = [&p](unsigned v) {
    PutU16(p, 0, uint16_t(v));
    p += 2;
  };
  auto head = [&](unsigned opcode, unsigned length, int column, unsigned row) {
    u16(opcode);
    u16(length);
    *p++ = char(0xFF);
    u16(unsigned(column));
    u16(row);
  };

  long unwritten = 0;
  for (int c = 0; c < kColumnCount; ++c) {
    ColumnSlot& s = store.ColumnSlots[size_t(c)];
    if (!ColumnInUse(store, c)) continue;
    const std::string& name = s.Descriptor().path;
    if (name != kNoName) {
      std::string text = ("'" + name).substr(0, kShortMax);
      head(kLabel, unsigned(text.size() + 6), c, 0);
      std::memcpy(p, text.data(), text.size());
      p += text.size();
      *p++ = '\0';
    }
    const SeriesHeader& h = s.Header();
    if (h.Empty()) continue;
    const float* cells = s.Cells().data();
    for (int i = h.base + h.firstOffset; i <= h.highest; ++i) {
      long row = long(i) - lowest + 1;
      if (row > 0xFFFF) {
        ++unwritten;  // a column spanning every 16-bit index: no row left for it
        continue;
      }
      head(kNumber, 13, c, unsigned(row));
      PutF64(p, 0, cells[i - h.base]);  // a gap is the missing value, widened
      p += 8;
    }
  }
  u16(kEOF);
  u16(0);
  out.resize(size_t(p - out.data()));  // less only when values were left out

  if (!platform::WriteFileAtomic(path, out)) {
    store.ReportError("File ERR");
    store.FailureFlag = true;
  } else {
    for (int c = 0; c < kColumnCount; ++c)
      if (ColumnInUse(store, c)) store.ColumnSlots[size_t(c)].modified = false;
    if (unwritten > 0)
      store.ReportError(platform::BaseName(path) + ": " + platform::IntToString(unwritten) +
                        " values beyond the last row were not written");
  }
  if (store.Display) store.Display->RefreshColumnHeaders();
}

bool ReadImportFile(SeriesStore& store, const std::string& path, uint64_t maxBytes,
                    const char* format, std::string& bytes) {
  store.FailureFlag = false;
  switch (platform::ReadFileBytes(path, bytes, maxBytes)) {
    case platform::ReadOutcome::kRead:
      return true;
    case platform::ReadOutcome::kTooLarge:
      store.ReportError(platform::TooLargeMessage(path, format, maxBytes));
      break;
    default:
      store.ReportError("File error");
  }
  store.FailureFlag = true;
  return false;
}

// ---- Reading ----

namespace {

// The shortest body a cell record may have, by opcode: the cell's head and
// its value; 0 for a record that is not a cell.
constexpr size_t CellBodyMin(uint16_t opcode) {
  switch (opcode) {
    case kInteger: return kCellHead + 2;
    case kNumber: return kCellHead + 8;
    case kLabel: return kCellHead + 1;    // at least the alignment character
    case kFormula: return kCellHead + 8;  // the result; the formula follows it
    default: return 0;
  }
}

// A cell record whose body lies in the bytes, fits the worksheet and holds
// its value: a handler reads `value[0 .. size)` and nothing else.
struct CellRecord {
  const unsigned char* value;  // the body past the cell's head
  size_t size;
};

// The double of a NUMBER or FORMULA cell; NaN and infinities are gaps.
double DoubleValue(const unsigned char* value) {
  double v = GetF64(value);
  return std::isfinite(v) ? v : double(MissingValue);
}

// One handler for each kind of cell: what the cell gives.
double IntegerCell(CellRecord c) { return double(GetI16(c.value)); }
double NumberCell(CellRecord c) { return DoubleValue(c.value); }
double FormulaCell(CellRecord c) { return DoubleValue(c.value); }  // its result
// The label's text as a name: from the byte after the alignment character
// up to NUL, blanks turned into "_".
std::string LabelCell(CellRecord c) {
  const char* text = reinterpret_cast<const char*>(c.value + 1);
  std::string name(text, std::min(strnlen(text, c.size - 1), kLabelMax));
  for (char& ch : name)
    if (ch == ' ') ch = '_';
  return name;
}

}  // namespace

long ParseWKSCells(std::string_view bytes, WKSCellSink& sink) {
  // Cells of one column at consecutive indices make one run, no longer than
  // the indices (they end at INT16_MAX) nor than the bytes hold value cells
  // (an INTEGER's record is the shortest). A run is handed on before
  // anything that follows it, so the sink hears of everything in file order.
  const size_t runMax = std::min<size_t>(INT16_MAX, bytes.size() / (4 + CellBodyMin(kInteger)));
  const auto run = std::make_unique_for_overwrite<double[]>(runMax);
  double* runEnd = run.get();
  int runColumn = -1, runRow = 0;  // the run goes on with a cell of this column and row
  auto flush = [&] {
    int count = int(runEnd - run.get());
    if (count > 0) sink.Values(runColumn, int16_t(runRow + 1 - count), run.get(), count);
    runColumn = -1;
    runEnd = run.get();
  };
  std::array<bool, kColumnCount> seen{};
  auto appear = [&](int column) {
    if (seen[size_t(column)]) return;
    flush();
    seen[size_t(column)] = true;
    sink.Column(column);
  };

  const auto* next = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const end = next + bytes.size();
  long leftOut = 0;
  // Every bound is checked here: the record's frame against the bytes, then
  // a cell's body against its kind and the worksheet's tables. Fewer than
  // four bytes left hold no record.
  while (end - next >= 4) {
    uint16_t opcode = GetU16(next);
    if (opcode == kEOF) break;
    const size_t length = GetU16(next, 2), need = CellBodyMin(opcode);
    const unsigned char* body = next + 4;
    if (length > size_t(end - body)) {
      if (need) ++leftOut;  // the bytes end inside the cell
      break;
    }
    next = body + length;
    if (!need) continue;  // not a cell: skipped

    if (length - need > kBodyMax - need) {  // too short for its value, or too long
      ++leftOut;
      continue;
    }
    int column = GetU16(body, 1), row = GetU16(body, 3);
    if (column >= kColumnCount || row >= INT16_MAX) {  // index row + 1 beyond INT16_MAX
      ++leftOut;
      continue;
    }
    const CellRecord cell{body + kCellHead, length - kCellHead};
    double v;
    switch (opcode) {
      case kInteger: v = IntegerCell(cell); break;
      case kNumber: v = NumberCell(cell); break;
      case kFormula: v = FormulaCell(cell); break;
      default:  // kLabel
        appear(column);
        flush();
        sink.Name(column, LabelCell(cell));
        continue;
    }
    if (column != runColumn || row != runRow) [[unlikely]] {
      appear(column);
      flush();
      runColumn = column;
      runRow = row;
    }
    *runEnd++ = v;
    ++runRow;
  }
  flush();
  return leftOut;
}

namespace {

// Puts what the parse finds into the worksheet's columns.
class WorksheetCells : public WKSCellSink {
 public:
  WorksheetCells(SeriesStore& store, const std::string& path)
      : store_(store), comment_("from file " + path) {}
  void Column(int column) override { store_.NewSeries(Slot(column), false, comment_); }
  void Name(int column, const std::string& name) override {
    std::string& path = Slot(column).Descriptor().path;
    if (path == kNoName) path = name;  // the first label names it
  }
  void Values(int column, int16_t first, const double* values, int count) override {
    store_.PutValues(Slot(column), first, values, count);
  }

 private:
  ColumnSlot& Slot(int column) { return store_.ColumnSlots[size_t(column)]; }
  SeriesStore& store_;
  const std::string comment_;
};

}  // namespace

void LoadWKSCells(SeriesStore& store, std::string_view bytes, const std::string& path) {
  for (int c = 0; c < kColumnCount; ++c) {
    if (!ColumnInUse(store, c)) continue;
    if (store.Display) store.Display->ClearColumnDisplay(c);
    store.FreeSeries(store.ColumnSlots[size_t(c)]);
  }
  WorksheetCells cells(store, path);
  long leftOut = ParseWKSCells(bytes, cells);
  for (int c = 0; c < kColumnCount; ++c) {
    ColumnSlot& slot = store.ColumnSlots[size_t(c)];
    if (slot.IsOpen() && slot.Header().Empty()) store.FreeSeries(slot);  // a label alone
  }
  for (int c = 0; c < kColumnCount; ++c) {
    if (!ColumnInUse(store, c)) continue;
    store.ColumnSlots[size_t(c)].modified = false;
    if (store.Display) store.Display->ShowColumn(c);
  }
  if (store.Display) store.Display->RefreshColumnHeaders();
  store.FailureFlag = false;
  if (leftOut > 0)
    store.ReportError(platform::BaseName(path) + ": " + platform::IntToString(leftOut) +
                      " cells beyond the worksheet or damaged were left out");
}

void ReadWKSFile(SeriesStore& store, const std::string& path) {
  std::string bytes;
  // Nothing is cleared before the file is read: a refusal leaves the
  // worksheet as it was.
  if (!ReadImportFile(store, path, kWKSMaxBytes, "worksheet file", bytes)) return;
  platform::Hourglass hourglass;
  LoadWKSCells(store, bytes, path);
}

}  // namespace krv::series
