// WKS spreadsheets: records of a u16 opcode, a u16 body length and the
// body, little-endian, as in the published worksheet file format. Written
// whole in memory and saved through the crash-safe writer; read from one
// byte image of the file.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/byte_io.h"
#include "platform/file_resolver.h"
#include "platform/hourglass.h"
#include "platform/text.h"
#include "series/worksheet_io.h"

namespace krv::series {

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

void PutU16(std::string& out, unsigned v) {
  out += char(v & 0xFF);
  out += char((v >> 8) & 0xFF);
}
uint16_t U16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }

// A number cell's whole record: opcode, length, the cell's head and the
// IEEE double.
constexpr size_t kNumberRecord = 4 + kCellHead + 8;

// The double of a number cell whose body starts at `body`; NaN and
// infinities are gaps.
double NumberValue(const unsigned char* body) {
  char b[8];
  std::memcpy(b, body + kCellHead, 8);
  if constexpr (std::endian::native == std::endian::big) std::reverse(b, b + 8);
  double v;
  std::memcpy(&v, b, 8);
  return std::isfinite(v) ? v : double(MissingValue);
}

void Record(std::string& out, unsigned opcode, const std::string& body) {
  PutU16(out, opcode);
  PutU16(out, unsigned(body.size()));
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
    p[0] = char(v & 0xFF);
    p[1] = char((v >> 8) & 0xFF);
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
      double v = cells[i - h.base];  // a gap is the missing value, widened
      char b[8];
      std::memcpy(b, &v, 8);
      if constexpr (std::endian::native == std::endian::big) std::reverse(b, b + 8);
      std::memcpy(p, b, 8);
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

void ReadWKSFile(SeriesStore& store, const std::string& path) {
  std::string bytes;
  // Nothing is cleared before the file is read: a refusal leaves the
  // worksheet as it was.
  if (!ReadImportFile(store, path, kWKSMaxBytes, "worksheet file", bytes)) return;

  platform::Hourglass hourglass;
  for (int c = 0; c < kColumnCount; ++c) {
    if (!ColumnInUse(store, c)) continue;
    if (store.Display) store.Display->ClearColumnDisplay(c);
    store.FreeSeries(store.ColumnSlots[size_t(c)]);
  }

  const std::string comment = "from file " + path;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  size_t pos = 0;
  long leftOut = 0;
  // Cells of one column at consecutive indices are stored as one run.
  ColumnSlot* runSlot = nullptr;
  int runFirst = 0;
  std::vector<double> run;
  auto flush = [&] {
    if (runSlot && !run.empty()) store.PutValues(*runSlot, int16_t(runFirst), run.data(), int(run.size()));
    run.clear();
  };
  while (n - pos >= 2) {
    uint16_t opcode = U16(p + pos);
    if (opcode == kEOF) break;
    if (n - pos < 4) break;
    size_t length = U16(p + pos + 2);
    pos += 4;
    bool cell = opcode >= kInteger && opcode <= kFormula;
    if (length > n - pos) {
      if (cell) ++leftOut;  // the file ends inside the record
      break;
    }
    const unsigned char* body = p + pos;
    pos += length;
    if (!cell) continue;

    size_t need = kCellHead + (opcode == kInteger ? 2 : opcode == kLabel ? 1 : 8);
    if (length > kBodyMax || length < need) {
      ++leftOut;
      continue;
    }
    int column = U16(body + 1);
    long index = long(U16(body + 3)) + 1;
    if (column >= kColumnCount || index > INT16_MAX) {
      ++leftOut;
      continue;
    }
    ColumnSlot& slot = store.ColumnSlots[size_t(column)];
    if (!slot.IsOpen()) store.NewSeries(slot, false, comment);
    if (opcode == kLabel) {
      if (slot.Descriptor().path != kNoName) continue;  // the first label names it
      const char* text = reinterpret_cast<const char*>(body + kCellHead + 1);
      size_t avail = length - kCellHead - 1;
      size_t len = strnlen(text, avail);
      std::string name(text, std::min(len, kLabelMax));
      for (char& ch : name)
        if (ch == ' ') ch = '_';
      slot.Descriptor().path = name;
      continue;
    }
    double v = opcode == kInteger ? double(int16_t(U16(body + kCellHead))) : NumberValue(body);
    if (&slot != runSlot || index != runFirst + long(run.size())) {
      flush();
      runSlot = &slot;
      runFirst = int(index);
    }
    run.push_back(v);
    // A column is mostly written as numbers at one index after another:
    // take those in a tight loop, with the same checks as above.
    for (long next = index + 1; next <= INT16_MAX && n - pos >= kNumberRecord; ++next) {
      const unsigned char* r = p + pos;
      if (U16(r) != kNumber || U16(r + 2) != kNumberRecord - 4 || U16(r + 5) != column ||
          long(U16(r + 7)) + 1 != next)
        break;
      run.push_back(NumberValue(r + 4));
      pos += kNumberRecord;
    }
  }
  flush();

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

}  // namespace krv::series
