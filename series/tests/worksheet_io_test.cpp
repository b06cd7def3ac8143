// WKS spreadsheets and text tables: the exact bytes written, what reading
// loads and where, the worksheet hooks called, every refusal, and ssconvert
// (gnumeric's converter) reading the files as another program would.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "platform/little_endian.h"
#include "platform/user_prompts.h"
#include "series/worksheet_io.h"
#include "series/tests/series_text.h"
#include "testing/ssconvert.h"
#include "testing/temp_dir.h"

namespace krv::series {
namespace {

class Recorder : public ColumnDisplay {
 public:
  void ClearColumnDisplay(int c) override { calls += "clear " + std::to_string(c) + ";"; }
  void ShowColumn(int c) override { calls += "show " + std::to_string(c) + ";"; }
  void RefreshColumnHeaders() override { calls += "headers;"; }
  void ShowRowUseLimits() override { calls += "rowuse;"; }
  std::string calls;
};

struct Fx {
  Fx() { store.Display = &display; }
  platform::ScriptedPrompts prompts;
  SeriesStore store;
  Recorder display;
  testing::TempDir dir;
  ColumnSlot& Col(int c) { return store.ColumnSlots[size_t(c)]; }
  void Set(int c, int lo, const std::string& values, const std::string& path = kNoName) {
    SetValues(store, Col(c), lo, values);
    Col(c).Descriptor().path = path;
  }
  // "path lo: v v - v", "path empty" or "free".
  std::string Dump(int c) {
    if (!Col(c).IsOpen()) return "free";
    return Col(c).Descriptor().path + " " + ValuesText(Col(c));
  }
  std::string Open() {  // the columns in use, by number
    std::string s;
    for (int c = 0; c < kColumnCount; ++c)
      if (ColumnInUse(store, c)) s += std::to_string(c) + " ";
    return s;
  }
};

std::string Hex(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s += char(b);
  return s;
}
std::string U16(unsigned v) {
  std::string s;
  platform::AppendU16(s, uint16_t(v));
  return s;
}
std::string F64(double v) {
  std::string s;
  platform::AppendF64(s, v);
  return s;
}
std::string Rec(unsigned op, const std::string& body) { return U16(op) + U16(unsigned(body.size())) + body; }
std::string Cell(unsigned op, int col, int row, const std::string& value) {
  return Rec(op, Hex({0xFF}) + U16(unsigned(col)) + U16(unsigned(row)) + value);
}
const std::string kEOF = Rec(1, "");

std::string Ssconvert(const std::string& file, const std::string& dir) {
  return testing::SsconvertCsv(file, dir);
}

// ---- Text tables ----

struct TextCase {
  const char* name;
  std::string text;  // "\n" is CR LF in one run, LF in the other
  int first;         // FirstSelCol
  std::vector<std::string> columns;  // dumps from `first` on
  const char* messages;
  int rowUseHigh;
  bool flag;
};

class TextRead : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextRead, WithCrLfAndBareLf) {
  for (const char* eol : {"\r\n", "\n"}) {
    const TextCase& c = GetParam();
    SCOPED_TRACE(std::strlen(eol) == 2 ? "CR LF" : "LF");
    Fx f;
    std::string text;
    for (char ch : c.text) text += ch == '\n' ? std::string(eol) : std::string(1, ch);
    f.dir.Write("t.txt", text);
    ReadTXTTable(f.store, f.dir.File("t.txt"), c.first);
    bool flag = f.store.FailureFlag;
    std::vector<std::string> got;
    for (size_t k = 0; k < c.columns.size(); ++k) got.push_back(f.Dump(c.first + int(k)));
    EXPECT_EQ(got, c.columns);
    std::string messages;
    for (const std::string& m : f.prompts.messages) messages += m + "|";
    EXPECT_EQ(messages, c.messages);
    EXPECT_EQ(f.store.RowUseHigh, c.rowUseHigh);
    EXPECT_EQ(flag, c.flag);
  }
}

const TextCase kTextCases[] = {
    {"NamedColumns", "*    A\n*    B\n1 2\n3 4\n", 0, {"A 0: 1 3", "B 0: 2 4", "free"}, "", 1,
     false},
    {"NoNamesWhenTheFirstLineIsANumber", "-1.5 2\n", 3,
     {"***noname*** 0: -1.5", "***noname*** 0: 2", "free"}, "", 0, false},
    {"OtherMarksAndTabs", "&first word\n? .P.S2\n1\t2 \t\n", 0,
     {"first 0: 1", ".P.S2 0: 2"}, "", 0, false},
    {"ShortLineStopsKeepingWhatCameBefore", "1 2\n3\n5 6\n", 0, {"***noname*** 0: 1 3",
     "***noname*** 0: 2"}, "Not enough numbers in a line |", 1, true},
    {"BlankLineInsideTheDataIsShort", "1\n\n2\n", 0, {"***noname*** 0: 1"},
     "Not enough numbers in a line |", 0, true},
    {"BlankLinesAtTheEndAreNoFault", "1 2\n  \n\n\t\n", 0,
     {"***noname*** 0: 1", "***noname*** 0: 2"}, "", 0, false},
    {"BlankLinesBeforeTheFirstDataLineAreSkipped", "\n   \n*    A\n\n7\n8\n", 0, {"A 0: 7 8"},
     "", 1, false},
    {"GapsReadBackAsGaps", " 3.400000E+38  1.000000E+00\n 2.5 3.400000E+38\n", 0,
     {"***noname*** 0: - 2.5", "***noname*** 0: 1 -"}, "", 1, false},
    {"ExtraFieldsAreIgnored", "*    A\n1 2 3\n", 0, {"A 0: 1", "free"}, "", 0, false},
    {"BadFieldKeepsWhatCameBeforeIt", "1 2\n3 x\n", 0,
     {"***noname*** 0: 1 3", "***noname*** 0: 2"}, "Error in input data|", 400, true},
    {"FieldBeyondTheSingleRange", "1 2\n3 1e39\n", 0,
     {"***noname*** 0: 1 3", "***noname*** 0: 2"}, "Error in input data|", 400, true},
    {"NamesWithoutData", "*    A\n*    B\n\n", 0, {"free", "free"}, "No Data in Txt file|", 400,
     true},
    {"EmptyFile", "", 0, {"free"}, "No Data in Txt file|", 400, true},
    {"MoreColumnsThanRemain", "1 2 3\n", 508, {"free", "free"}, "t.txt: 3 columns do not fit from column SO on|",
     400, true},
    {"LastColumnsFit", "1 2\n", 508, {"***noname*** 0: 1", "***noname*** 0: 2"}, "", 0, false},
};

INSTANTIATE_TEST_SUITE_P(Table, TextRead, ::testing::ValuesIn(kTextCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TextTable, ReadReplacesColumnsAndCallsTheHooks) {
  Fx f;
  f.Set(1, 0, "9 9 9", "OLD");
  f.Set(5, 0, "5", "KEPT");
  f.store.RowUseLow = 10;
  f.dir.Write("t.txt", "*    .N.A\n*    .N.B\n1 2\n3 4\n");
  ReadTXTTable(f.store, f.dir.File("t.txt"), 1);
  EXPECT_EQ(f.Dump(1), ".N.A 10: 1 3");
  EXPECT_EQ(f.Dump(2), ".N.B 10: 2 4");
  EXPECT_EQ(f.Dump(5), "KEPT 0: 5");
  EXPECT_EQ(f.store.RowUseHigh, 11);
  EXPECT_EQ(f.Col(1).Header().comment, "from file " + f.dir.File("t.txt"));
  EXPECT_FALSE(f.Col(1).modified);
  EXPECT_TRUE(f.Col(1).notSaved);
  EXPECT_EQ(f.display.calls, "clear 1;rowuse;show 1;show 2;headers;");
}

TEST(TextTable, RefusalsLeaveTheWorksheetUntouched) {
  Fx f;
  f.Set(508, 0, "1", "KEPT");
  f.dir.Write("wide.txt", "1 2 3\n");
  ReadTXTTable(f.store, f.dir.File("wide.txt"), 508);
  ReadTXTTable(f.store, f.dir.File("missing.txt"), 0);
  EXPECT_EQ(f.prompts.messages,
            (std::vector<std::string>{"wide.txt: 3 columns do not fit from column SO on",
                                      "File error"}));
  EXPECT_EQ(f.Open(), "508 ");
  EXPECT_EQ(f.Dump(508), "KEPT 0: 1");
  EXPECT_EQ(f.display.calls, "");
}

TEST(TextTable, LinesPastTheLastRowStopTheRead) {
  Fx f;
  f.store.RowUseLow = 11999;
  f.dir.Write("t.txt", "1\n2\n3\n4\n");
  ReadTXTTable(f.store, f.dir.File("t.txt"), 0);
  EXPECT_EQ(f.Dump(0), "***noname*** 11999: 1 2");
  EXPECT_EQ(f.store.RowUseHigh, 12000);
  EXPECT_EQ(f.prompts.messages,
            std::vector<std::string>{"t.txt: lines past index 12000 were not read"});
}

TEST(TextTable, WrittenBytesWithNamesGapsAndRaggedRanges) {
  Fx f;
  f.Set(2, 1, "1.5 - -0.125", ".P.S1");
  f.Set(3, 3, "7");
  f.Set(4, 0, "99", ".NOT.SELECTED");
  f.store.RowUseLow = 0;
  f.store.RowUseHigh = 4;
  WriteTXTTable(f.store, f.dir.File("t.txt"), true, 1, 3);
  EXPECT_FALSE(f.store.FailureFlag);
  EXPECT_EQ(f.dir.Read("t.txt"),
            "*    .P.S1\r\n"
            "*    ***noname***\r\n"
            "                            \r\n"
            "  1.500000E+00              \r\n"
            "  3.400000E+38              \r\n"
            " -1.250000E-01  7.000000E+00\r\n"
            "                            \r\n");
  EXPECT_FALSE(f.Col(2).modified);
  EXPECT_FALSE(f.Col(3).modified);
  EXPECT_TRUE(f.Col(4).modified);  // not selected
  EXPECT_EQ(f.display.calls, "headers;");
}

TEST(TextTable, RoundTripKeepsNamesValuesAndGaps) {
  Fx f;
  f.Set(0, -3, "1e-30 - 123456.7 -3.4e37", ".A.X");
  f.Set(1, -3, "0 1 2 3", ".A.Y");
  f.store.RowUseLow = -3;
  f.store.RowUseHigh = 0;
  WriteTXTTable(f.store, f.dir.File("r.txt"), true, 0, 1);
  std::string before0 = f.Dump(0), before1 = f.Dump(1);
  f.store.RowUseHigh = 400;
  ReadTXTTable(f.store, f.dir.File("r.txt"), 0);
  EXPECT_EQ(f.Dump(0), before0);
  EXPECT_EQ(f.Dump(1), before1);
  EXPECT_EQ(f.store.RowUseHigh, 0);
  EXPECT_TRUE(f.prompts.messages.empty());
}

TEST(TextTable, WriteFailureSaysFileErrAndKeepsMarks) {
  Fx f;
  f.Set(0, 0, "1");
  WriteTXTTable(f.store, f.dir.File("no/such/dir/t.txt"), false, 0, 0);
  EXPECT_TRUE(f.store.FailureFlag);
  EXPECT_EQ(f.prompts.messages, std::vector<std::string>{"File ERR"});
  EXPECT_TRUE(f.Col(0).modified);
}

// ---- WKS ----

// ".P.S1" at 5..7, ".P.S2" at 7, and an unnamed column with a gap at 6.
void ThreeColumns(Fx& f) {
  f.Set(0, 5, "1 2 3", ".P.S1");
  f.Set(1, 7, "4", ".P.S2");
  f.Set(2, 5, "5 - 6");
}

TEST(WKS, WrittenFile) {
  Fx f;
  ThreeColumns(f);
  WriteWKSFile(f.store, f.dir.File("T.WKS"));
  EXPECT_FALSE(f.store.FailureFlag);
  std::string b = f.dir.Read("T.WKS");
  ASSERT_EQ(b.size(), 787u);
  EXPECT_EQ(b.substr(0, 6), Hex({0, 0, 2, 0, 4, 4}));  // BOF, version 0x0404
  // The preamble's fingerprint, from a second implementation of SHA-256.
  f.dir.Write("pre", b.substr(0, 632));
  std::string cmd = "sha256sum '" + f.dir.File("pre") + "'";
  FILE* p = popen(cmd.c_str(), "r");
  char sum[65] = {};
  ASSERT_TRUE(p && std::fread(sum, 1, 64, p) == 64);
  pclose(p);
  EXPECT_EQ(std::string(sum, 8), "33bdad00");
  EXPECT_EQ(std::string(sum + 57, 7), "f1eb51d");
  std::string cells = Cell(15, 0, 0, "'.P.S1" + Hex({0})) + Cell(14, 0, 1, F64(1)) +
                      Cell(14, 0, 2, F64(2)) + Cell(14, 0, 3, F64(3)) +
                      Cell(15, 1, 0, "'.P.S2" + Hex({0})) + Cell(14, 1, 3, F64(4)) +
                      Cell(14, 2, 1, F64(5)) + Cell(14, 2, 2, F64(double(MissingValue))) +
                      Cell(14, 2, 3, F64(6)) + kEOF;
  EXPECT_EQ(b.substr(632), cells);
  for (int c = 0; c < 3; ++c) EXPECT_FALSE(f.Col(c).modified);
  EXPECT_EQ(f.display.calls, "headers;");
}

TEST(WKS, ReadingBackMovesIndicesByTwoMinusTheLowest) {
  // The two directions keep their row conventions: index i is written to
  // row i - L + 1 and row r is read to index r + 1.
  Fx f;
  ThreeColumns(f);
  f.Set(9, 12500, "8");  // above the worksheet's rows, still a 16-bit index
  WriteWKSFile(f.store, f.dir.File("T.WKS"));
  ReadWKSFile(f.store, f.dir.File("t.wks"));  // found case-blind
  EXPECT_FALSE(f.store.FailureFlag);
  EXPECT_EQ(f.Dump(0), ".P.S1 2: 1 2 3");
  EXPECT_EQ(f.Dump(1), ".P.S2 4: 4");
  EXPECT_EQ(f.Dump(2), "***noname*** 2: 5 - 6");
  EXPECT_EQ(f.Dump(9), "***noname*** 12497: 8");
  EXPECT_EQ(f.Col(0).Header().comment, "from file " + f.dir.File("t.wks"));
  EXPECT_FALSE(f.Col(0).modified);
  EXPECT_EQ(f.display.calls,
            "headers;clear 0;clear 1;clear 2;clear 9;show 0;show 1;show 2;show 9;headers;");
  EXPECT_TRUE(f.prompts.messages.empty());
}

const std::string kWK1 = Rec(0, Hex({6, 4})) + Cell(13, 2, 0, U16(7)) +
                         Cell(15, 1, 0, "'Only label" + Hex({0})) +
                         Cell(15, 2, 3, "'Flow rate" + Hex({0})) +
                         Cell(16, 2, 1, F64(2.5) + U16(10) + Hex({0}) + F64(2.5) + Hex({3})) +
                         Cell(14, 2, 2, F64(-0.125)) + kEOF;

TEST(WKS, ReadsAWK1File) {
  Fx f;
  f.Set(7, 0, "1", "GONE");
  f.dir.Write("F.WK1", kWK1);
  ReadWKSFile(f.store, f.dir.File("F.WK1"));
  EXPECT_EQ(f.Open(), "2 ");
  EXPECT_EQ(f.Dump(2), "Flow_rate 1: 7 2.5 -0.125");
  EXPECT_TRUE(f.prompts.messages.empty());
  EXPECT_FALSE(f.store.FailureFlag);
}

TEST(WKS, CellsBeyondTheTablesAreLeftOutAndCounted) {
  Fx f;
  std::string big(2049 - 5, 'x');
  std::string nan = F64(std::nan(""));
  std::string file = Rec(0, Hex({4, 4})) + Cell(14, 0, 0, F64(1)) +
                     Cell(14, 510, 0, F64(2)) +           // beyond column SP
                     Cell(14, 1, 32767, F64(3)) +         // index 32768
                     Cell(14, 1, 65535, F64(3)) +         // index 65536
                     Cell(14, 0, 32766, F64(4)) +         // index 32767: kept
                     Cell(15, 3, 0, big) +                // body over 2048 bytes
                     Cell(14, 0, 1, F64(5).substr(0, 7)) + // too short for its value
                     Cell(13, 0, 2, Hex({1})) +           // too short for its value
                     Rec(14, Hex({0xFF, 0, 0})) +         // too short for its place
                     Cell(14, 0, 3, nan) +                // a gap
                     Cell(16, 0, 4, F64(-INFINITY)) +     // a gap
                     Rec(99, std::string(3000, 'y')) +    // not a cell: skipped quietly
                     Cell(14, 0, 5, F64(6)) + kEOF;
  f.dir.Write("B.WKS", file);
  ReadWKSFile(f.store, f.dir.File("B.WKS"));
  EXPECT_EQ(f.Open(), "0 ");
  int16_t lo, hi;
  f.store.SeriesIndexRange(f.Col(0), lo, hi);
  EXPECT_EQ(lo, 1);
  EXPECT_EQ(hi, 32767);
  EXPECT_EQ(f.store.GetVal(f.Col(0), 1), 1);
  EXPECT_TRUE(IsMissing(f.store.GetVal(f.Col(0), 4)));
  EXPECT_TRUE(IsMissing(f.store.GetVal(f.Col(0), 5)));
  EXPECT_EQ(f.store.GetVal(f.Col(0), 6), 6);
  EXPECT_EQ(f.store.GetVal(f.Col(0), 32767), 4);
  EXPECT_EQ(f.prompts.messages,
            std::vector<std::string>{"B.WKS: 7 cells beyond the worksheet or damaged were left out"});
  EXPECT_FALSE(f.store.FailureFlag);
}

TEST(WKS, EndsOfFileInsideARecord) {
  struct Case {
    std::string tail;
    int leftOut;
  } cases[] = {
      {"", 0},                                      // no EOF record
      {Hex({14}), 0},                               // half an opcode
      {Hex({14, 0, 13}), 0},                        // half a length
      {Cell(14, 0, 9, F64(1)).substr(0, 10), 1},    // a cut cell
  };
  for (const Case& c : cases) {
    Fx f;
    f.dir.Write("C.WKS", Cell(14, 0, 0, F64(1)) + c.tail);
    ReadWKSFile(f.store, f.dir.File("C.WKS"));
    EXPECT_EQ(f.Dump(0), "***noname*** 1: 1");
    EXPECT_EQ(f.prompts.messages.size(), size_t(c.leftOut));
  }
}

// Numbers at one index after another are gathered into one run; whatever
// ends a run must be read as any other cell is.
TEST(WKS, RunsOfNumbersEndWhereTheirCellsStopFollowing) {
  auto run = [](int col, int row, std::initializer_list<double> values) {
    std::string out;
    for (double v : values) out += Cell(14, col, row++, F64(v));
    return out;
  };
  struct Case {
    const char* what;
    std::string cells;
    std::string dump0, dump1;
    size_t leftOut;
    bool cut = false;  // no EOF record after a cell cut short
  } cases[] = {
      {"another column at the next row", run(0, 0, {1, 2}) + run(1, 2, {7}) + run(0, 3, {4, 5}),
       "1: 1 2 - 4 5", "3: 7", 0},
      {"a row skipped", run(0, 0, {1, 2}) + run(0, 3, {4}), "1: 1 2 - 4", "", 0},
      {"a row met again", run(0, 0, {1, 2}) + run(0, 0, {9}), "1: 9 2", "", 0},
      {"an integer cell inside", run(0, 0, {1}) + Cell(13, 0, 1, U16(5)) + run(0, 2, {3}), "1: 1 5 3", "",
       0},
      {"a longer body inside", run(0, 0, {1}) + Cell(14, 0, 1, F64(2) + Hex({0})) + run(0, 2, {3}),
       "1: 1 2 3", "", 0},
      {"gaps inside", run(0, 0, {1, std::nan(""), INFINITY, 4}), "1: 1 - - 4", "", 0},
      {"past the highest index", run(0, 32765, {1, 2, 3}), "32766: 1 2", "", 1},
      {"the file ends inside one", run(0, 0, {1, 2}) + run(0, 2, {3}).substr(0, 16), "1: 1 2", "", 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fx f;
    f.dir.Write("R.WKS", Rec(0, Hex({4, 4})) + c.cells + (c.cut ? "" : kEOF));
    ReadWKSFile(f.store, f.dir.File("R.WKS"));
    EXPECT_EQ(f.Dump(0), "***noname*** " + c.dump0);
    if (!c.dump1.empty()) { EXPECT_EQ(f.Dump(1), "***noname*** " + c.dump1); }
    EXPECT_EQ(f.prompts.messages.size(), c.leftOut);
  }
}

// What the parse hands on, in the order it does, from bytes in memory.
class SinkLog : public WKSCellSink {
 public:
  void Column(int c) override { log += "column " + std::to_string(c) + ";"; }
  void Name(int c, const std::string& name) override {
    log += "name " + std::to_string(c) + " " + name + ";";
  }
  void Values(int c, int16_t first, const double* v, int count) override {
    log += "values " + std::to_string(c) + " " + std::to_string(first) + ":";
    for (int k = 0; k < count; ++k) log += " " + FormatValue(v[k]);
    log += ";";
  }
  static std::string FormatValue(double v) {
    if (v == double(MissingValue)) return "-";
    std::ostringstream s;
    s << v;
    return s.str();
  }
  std::string log;
};

TEST(WKS, TheParseHandsOnColumnsNamesAndRunsInFileOrder) {
  struct Case {
    const char* what;
    std::string bytes;
    const char* log;
    long leftOut;
  } cases[] = {
      {"the WK1 fixture", kWK1,
       "column 2;values 2 1: 7;column 1;name 1 Only_label;name 2 Flow_rate;"
       "values 2 2: 2.5 -0.125;",
       0},
      {"every label handed on, a run cut by one, damage counted",
       Cell(14, 4, 0, F64(1)) + Cell(15, 4, 5, "'A b" + Hex({0, 'x'})) + Cell(14, 4, 1, F64(NAN)) +
           Cell(15, 4, 6, "'C" + Hex({0})) + Cell(15, 5, 0, "'" + std::string(80, 'n')) +
           Cell(14, 510, 0, F64(2)) + Cell(13, 4, 2, Hex({0xFE, 0xFF})) + kEOF +
           Cell(14, 6, 0, F64(3)),
       "column 4;values 4 1: 1;name 4 A_b;values 4 2: -;name 4 C;column 5;name 5 "
       "nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn;"
       "values 4 3: -2;",
       1},
      {"no bytes", "", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SinkLog sink;
    EXPECT_EQ(ParseWKSCells(c.bytes, sink), c.leftOut);
    EXPECT_EQ(sink.log, c.log);
  }
}

TEST(WKS, AFileThatCannotBeOpenedLeavesTheWorksheet) {
  Fx f;
  f.Set(4, 0, "1 2", "KEPT");
  ReadWKSFile(f.store, f.dir.File("NONE.WKS"));
  EXPECT_TRUE(f.store.FailureFlag);
  EXPECT_EQ(f.prompts.messages, std::vector<std::string>{"File error"});
  EXPECT_EQ(f.Dump(4), "KEPT 0: 1 2");
  EXPECT_EQ(f.display.calls, "");
}

TEST(WKS, WriteFailureSaysFileErrAndKeepsMarks) {
  Fx f;
  f.Set(0, 0, "1");
  WriteWKSFile(f.store, f.dir.File("no/dir/T.WKS"));
  EXPECT_TRUE(f.store.FailureFlag);
  EXPECT_EQ(f.prompts.messages, std::vector<std::string>{"File ERR"});
  EXPECT_TRUE(f.Col(0).modified);
}

// ---- ssconvert reads what we write, and reads the WK1 fixture as we do ----

TEST(Ssconvert, ReadsTheWrittenFileCellForCell) {
  Fx f;
  ThreeColumns(f);
  WriteWKSFile(f.store, f.dir.File("T.WKS"));
  EXPECT_EQ(Ssconvert(f.dir.File("T.WKS"), f.dir.path()),
            ".P.S1,.P.S2,\n"
            "1,,5\n"
            "2,,3.399999952144364249E+38\n"  // the gap, as the single 3.4e38
            "3,4,6\n");
}

TEST(Ssconvert, ReadsTheWK1FixtureAsTheWorksheetDoes) {
  Fx f;
  f.dir.Write("F.WK1", kWK1);
  EXPECT_EQ(Ssconvert(f.dir.File("F.WK1"), f.dir.path()),
            // Columns B and C (the empty column A is not written): C1..C3
            // are the values the worksheet puts at indices 1..3 of column C.
            "\"Only label\",7\n"
            ",2.5\n"
            ",-0.125\n"
            ",\"Flow rate\"\n");
}

}  // namespace
}  // namespace krv::series
