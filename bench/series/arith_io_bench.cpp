// Series arithmetic, WKS spreadsheets and text tables, each figure beside
// its yardstick measured in the same run:
//  - BinaryCalcs "+" over 12,401 rows against a loop over two
//    std::vector<float> with the same missing tests, and 24,802 rows
//    against 12,401;
//  - WriteWKSFile of 100 columns x 12,401 values (21 MB) against
//    WriteFileAtomic of the same bytes, ReadWKSFile against ReadFileBytes;
//  - WriteTXTTable of the same columns against formatting their values with
//    FormatAutoDecimals alone, ReadTXTTable against parsing the table's
//    fields with ParseSingleValue alone.
// "bench_series_arith_io --tiny" runs every step once on small sizes.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_size.h"
#include "platform/byte_io.h"
#include "platform/user_prompts.h"
#include "problem_editor/value_entry.h"
#include "series/series_arithmetic.h"
#include "series/value_text.h"
#include "series/worksheet_io.h"

using namespace krv;
using namespace krv::series;

namespace {

bool g_tiny = false;
volatile float g_sink;
volatile size_t g_sizeSink;

// The best of `reps` runs, in milliseconds: the machine is shared.
template <class F>
double Best(int reps, F&& f) {
  return krv::bench::BestSeconds(g_tiny ? 1 : reps, f) * 1e3;
}

void Figure(const char* what, double value, const char* yard, double yardstick, double limit) {
  double ratio = yardstick > 0 ? value / yardstick : 0;
  std::printf("%-36s %10.3f ms   %-40s %10.3f ms   %5.2fx (at most %.1fx)%s\n", what, value,
              yard, yardstick, ratio, limit, ratio <= limit || g_tiny ? "" : "  OVER");
}

void ArithmeticFigures(SeriesStore& store) {
  const int n = g_tiny ? 100 : 12401;
  ColumnSlot &a = store.ColumnSlots[0], &b = store.ColumnSlots[1], &t = store.ColumnSlots[2];
  std::vector<float> va(size_t(2 * n)), vb(size_t(2 * n)), vt(size_t(2 * n));
  store.NewSeries(a, false, "");
  store.NewSeries(b, false, "");
  for (int k = 0; k < 2 * n; ++k) {
    int i = k - n;
    float x = k % 97 == 0 ? MissingValue : float(k) * 0.25f;
    float y = k % 89 == 0 ? MissingValue : float(2 * n - k);
    store.PutVal(a, int16_t(i), x);
    store.PutVal(b, int16_t(i), y);
    va[size_t(k)] = x;
    vb[size_t(k)] = y;
  }
  const int passes = g_tiny ? 1 : 50;
  auto calc = [&](int lo, int hi) {
    store.RowUseLow = int16_t(lo);
    store.RowUseHigh = int16_t(hi);
    return Best(7, [&] {
      for (int p = 0; p < passes; ++p) BinaryCalcs(store, '+', t, a, b);
    }) / passes;
  };
  double one = calc(0, n - 1);
  double two = calc(-n, n - 1);
  double vec = Best(7, [&] {
    for (int p = 0; p < passes; ++p) {
      for (int k = n; k < 2 * n; ++k) {
        float x = va[size_t(k)], y = vb[size_t(k)];
        vt[size_t(k)] = IsMissing(x) || IsMissing(y) ? MissingValue : x + y;
      }
      g_sink = vt[size_t(n + p % n)];
    }
  }) / passes;
  std::printf("BinaryCalcs \"+\" over %d rows\n", n);
  Figure("  BinaryCalcs +", one, "two std::vector<float>, missing tests", vec, 4.0);
  Figure("  BinaryCalcs +, twice the rows", two, "BinaryCalcs +, once the rows", one, 2.1);
  store.FreeSeries(a);
  store.FreeSeries(b);
  store.FreeSeries(t);
}

void FileFigures(SeriesStore& store, const std::string& dir) {
  const int columns = g_tiny ? 3 : 100;
  const int n = g_tiny ? 50 : 12401;
  auto fill = [&] {
    for (int c = 0; c < columns; ++c) {
      ColumnSlot& s = store.ColumnSlots[size_t(c)];
      store.NewSeries(s, false, "");
      s.Descriptor().path = ".BENCH.C" + std::to_string(c);
      // The worksheet's rows, -400..12000.
      for (int i = -400; i < n - 400; ++i)
        store.PutVal(s, int16_t(i),
                     (i % 1000 == 7) ? double(MissingValue) : (c + 1) * 1.25 + i * 0.001);
    }
  };
  fill();
  store.RowUseLow = -400;
  store.RowUseHigh = int16_t(n - 401);
  const int reps = g_tiny ? 1 : 5;

  // WKS.
  const std::string wks = dir + "/B.WKS", copy = dir + "/COPY.WKS";
  double write = Best(reps, [&] { WriteWKSFile(store, wks); });
  std::string bytes;
  platform::ReadFileBytes(wks, bytes);
  double atomic = Best(reps, [&] { platform::WriteFileAtomic(copy, bytes); });
  double read = Best(reps, [&] { ReadWKSFile(store, wks); });
  double raw = Best(reps, [&] {
    std::string b;
    platform::ReadFileBytes(wks, b);
    g_sizeSink = b.size();
  });
  std::printf("WKS, %d columns x %d values (%.1f MB)\n", columns, n, double(bytes.size()) / 1e6);
  Figure("  WriteWKSFile", write, "WriteFileAtomic of the same bytes", atomic, 2.0);
  Figure("  ReadWKSFile", read, "ReadFileBytes of the file", raw, 4.0);

  // Text tables, of the same columns.
  fill();
  const std::string txt = dir + "/B.TXT";
  double writeTxt = Best(reps, [&] { WriteTXTTable(store, txt, true, 0, columns - 1); });
  double format = Best(reps, [&] {
    size_t total = 0;
    for (int c = 0; c < columns; ++c) {
      ColumnSlot& s = store.ColumnSlots[size_t(c)];
      for (float v : s.Cells()) total += FormatAutoDecimals(13, double(v)).size();
    }
    g_sizeSink = total;
  });
  std::string table;
  platform::ReadFileBytes(txt, table);
  // The data lines' fields, split beforehand: the yardstick only parses.
  std::vector<std::string_view> fields;
  std::string_view rest(table);
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line[0] == '*') continue;  // a name line
    for (size_t i = 0; i < line.size();) {
      if (line[i] == ' ' || line[i] == '\r') {
        ++i;
        continue;
      }
      size_t e = std::min(line.find_first_of(" \r", i), line.size());
      fields.push_back(line.substr(i, e - i));
      i = e;
    }
  }
  double readTxt = Best(reps, [&] { ReadTXTTable(store, txt, 0); });
  double parse = Best(reps, [&] {
    double sum = 0;
    for (std::string_view f : fields)
      if (auto v = pe::ParseSingleValue(f)) sum += *v;
    g_sink = float(sum);
  });
  std::printf("Text table, %d columns x %d values (%.1f MB, %zu fields)\n", columns, n,
              double(table.size()) / 1e6, fields.size());
  Figure("  WriteTXTTable", writeTxt, "FormatAutoDecimals of the values alone", format, 1.5);
  Figure("  ReadTXTTable", readTxt, "ParseSingleValue of the fields alone", parse, 2.0);
}

}  // namespace

int main(int argc, char** argv) {
  g_tiny = krv::bench::TinyRun(argc, argv);
  platform::ScriptedPrompts prompts;
  char tmpl[] = "/tmp/krv_arith_bench.XXXXXX";
  std::string dir = mkdtemp(tmpl);
  {
    SeriesStore store;
    ArithmeticFigures(store);
    FileFigures(store, dir);
  }
  std::filesystem::remove_all(dir);
  if (!prompts.messages.empty()) {
    std::fprintf(stderr, "unexpected message: %s\n", prompts.messages.front().c_str());
    return 1;
  }
  return 0;
}
