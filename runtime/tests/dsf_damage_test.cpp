// Small damaged stores on which the solver's store reader once went its own
// way: each is read by the solver (its readers built with checks, in their
// probe program) as the series library reads it, and the fit's write
// refuses a store where it would carry a value into another series.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/tests/reader_probe.h"
#include "runtime/tests/solver_verdicts.h"
#include "series/dsf_format.h"
#include "testing/temp_dir.h"

namespace krv::rt {
namespace {

using series::DSDirBlock;
using series::DSDirEntry;
using series::RecordBytes;

ReaderProbe& Solver() {
  static ReaderProbe probe;
  return probe;
}

DSDirEntry Series(const std::string& name, int32_t head) { return {head, name, series::kSeriesKind}; }
DSDirEntry Dir(const std::string& name, int32_t first) { return {first, name, series::kDSDirKind}; }

RecordBytes Block(int32_t link, std::vector<DSDirEntry> entries) {
  DSDirBlock b;
  b.link = link;
  for (size_t k = 0; k < entries.size(); ++k) b.entries[k] = entries[k];
  return series::EncodeDirBlock(b);
}

// A series head whose one data record holds `value` at index 0.
RecordBytes Head(int32_t firstData) {
  series::SeriesHeadRecord h;
  h.firstData = firstData;
  h.header.firstOffset = 0;
  return series::EncodeHead(h);
}

RecordBytes Data(float value) {
  series::DataRecord d;
  d.cells.fill(0.0f);
  d.cells[0] = value;
  return series::EncodeData(d);
}

// Record 0 counting the records, then the records from record 1 on.
std::string StoreOf(std::vector<RecordBytes> records) {
  series::DSFHeaderRecord h;
  h.name = "S.DSF";
  h.nextFree = int32_t(records.size() + 1);
  records.insert(records.begin(), series::EncodeHeader(h));
  std::string bytes;
  for (const RecordBytes& r : records) bytes.append(reinterpret_cast<const char*>(r.data()), r.size());
  return bytes;
}

RecordBytes WithByte(RecordBytes r, size_t at, uint8_t value) {
  r[at] = value;
  return r;
}

constexpr size_t kEntry = 31;  // bytes of a DSDir entry, from offset 4

struct Case {
  const char* what;
  std::string store;
  const char* path;
  int solver;  // 0 read, 1 not there, 2 refused
};

std::vector<Case> Cases() {
  return {
      {"a free entry's name runs past its field",
       StoreOf({WithByte(Block(0, {Series("Y", 2)}), 4 + kEntry + 4, 200), Head(3), Data(1)}), ".Y", 2},
      {"the block of the entry found links out of the file",
       StoreOf({Block(99, {Series("Y", 2)}), Head(3), Data(1)}), ".Y", 2},
      {"a DSDir entry leads to the header", StoreOf({Block(0, {Dir("A", 0)}), Head(3), Data(1)}),
       ".A.B", 2},
      {"a DSDir entry leads back to the root", StoreOf({Block(0, {Dir("A", 1), Series("B", 2)}), Head(3), Data(1)}),
       ".A.B", 2},
      {"a series and a DSDir of one name: the DSDir is gone into",
       StoreOf({Block(0, {Series("X", 2), Dir("x", 4)}), Head(3), Data(1), Block(0, {Series("S", 5)}),
                Head(6), Data(7)}),
       ".X.S", 0},
      {"an entry that is not followed leads out of the file",
       StoreOf({Block(0, {Series("Y", 2), Series("Z", 999)}), Head(3), Data(1)}), ".Y", 0},
  };
}

TEST(DsfDamage, TheSolverReadsDamagedStoresAsTheLibraryDoes) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.what);
    testing::TempDir dir;
    dir.Write("S.DSF", c.store);
    std::vector<SolverAnswer> a = Solver().Series(c.store, {c.path});
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].code, c.solver) << a[0].text;
    EXPECT_EQ(SeriesDifference(dir.File("S"), c.path, a[0]), "");
  }
}

// Two series holding one data record: the fit's estimate for one would
// become the other's value too. The write is refused, nothing written.
TEST(DsfDamage, TheFitsWriteRefusesSeriesThatShareRecords) {
  const std::string shared =
      StoreOf({Block(0, {Series("Y", 2), Series("Z", 4)}), Head(3), Data(1), Head(3)});
  const std::string apart =
      StoreOf({Block(0, {Series("Y", 2), Series("Z", 4)}), Head(3), Data(1), Head(5), Data(2)});
  auto [refused, unchanged] = Solver().WriteOneValues(shared, {".Y"}, {1.5});
  EXPECT_EQ(refused.code, 1) << refused.text;
  EXPECT_NE(refused.text.find("the series at record 2 runs into the records of another"), std::string::npos)
      << refused.text;
  EXPECT_EQ(unchanged, shared);

  auto [done, written] = Solver().WriteOneValues(apart, {".Y"}, {1.5});
  ASSERT_EQ(done.code, 0) << done.text;
  testing::TempDir dir;
  dir.Write("S.DSF", written);
  EXPECT_EQ(LibrarySeries(dir.File("S"), ".Y").text, "0 0 3FC00000");
  EXPECT_EQ(LibrarySeries(dir.File("S"), ".Z").text, "0 0 40000000");
}

}  // namespace
}  // namespace krv::rt
