// Many scattered runs of blocks read at once, near ones together.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/block_file.h"
#include "testing/temp_dir.h"

using namespace krv::platform;
using krv::testing::TempDir;

namespace {

// Block b of the file holds bytes b, b+1, ... (mod 256).
std::string Blocks(int n, int size) {
  std::string s;
  for (int b = 0; b < n; ++b)
    for (int i = 0; i < size; ++i) s += char((b + i) & 0xFF);
  return s;
}

}  // namespace

// More runs than one hand-over holds, in no order, of various lengths and
// some empty; each lands in its own buffer.
TEST(BlockFileRuns, ScatteredRunsLandInTheirBuffers) {
  TempDir d;
  d.Write("F.DAT", Blocks(1000, 64));
  BlockFile f(64);
  ASSERT_TRUE(f.Open(d.File("F.DAT"), BlockFile::Mode::ReadOnly));
  std::vector<BlockFile::Run> runs;
  std::vector<std::vector<uint8_t>> bufs;
  bufs.reserve(300);
  for (int i = 0; i < 300; ++i) {
    int64_t first = (i * 337) % 990, count = i % 4;
    bufs.emplace_back(size_t(count) * 64 + 1, uint8_t(0xEE));
    runs.push_back({first, count, bufs.back().data()});
  }
  ASSERT_TRUE(f.ReadRuns(runs.data(), runs.size())) << f.LastError();
  for (size_t i = 0; i < runs.size(); ++i) {
    for (int64_t k = 0; k < runs[i].count * 64; ++k)
      ASSERT_EQ(bufs[i][size_t(k)], uint8_t((runs[i].first + k / 64 + k % 64) & 0xFF)) << i;
    EXPECT_EQ(bufs[i].back(), 0xEE) << i;  // nothing beyond the run
  }
}

// Runs close together in the file, as a plot's values in consecutive
// records are, read as one stretch: adjacent, a gap apart, one behind
// another, and a stretch broken by a run far ahead; each lands in its own
// buffer and nothing spills beyond it.
TEST(BlockFileRuns, NearRunsLandInTheirBuffers) {
  TempDir d;
  d.Write("F.DAT", Blocks(40000, 64));
  BlockFile f(64);
  ASSERT_TRUE(f.Open(d.File("F.DAT"), BlockFile::Mode::ReadOnly));
  struct Case {
    const char* what;
    std::vector<std::pair<int64_t, int64_t>> runs;  // first, count
  } cases[] = {
      {"adjacent", {{10, 1}, {11, 2}, {13, 1}}},
      {"gaps within a stretch", {{10, 2}, {14, 1}, {25, 3}}},
      {"one behind another", {{30, 1}, {20, 1}, {21, 1}}},
      {"near, far, near", {{5, 1}, {7, 1}, {500, 2}, {503, 1}}},
      {"longer than a stretch", {{0, 10000}, {10001, 10000}, {20002, 10000}}},
  };
  for (const Case& c : cases) {
    std::vector<BlockFile::Run> runs;
    std::vector<std::vector<uint8_t>> bufs;
    bufs.reserve(c.runs.size());
    for (auto [first, count] : c.runs) {
      bufs.emplace_back(size_t(count) * 64 + 1, uint8_t(0xEE));
      runs.push_back({first, count, bufs.back().data()});
    }
    ASSERT_TRUE(f.ReadRuns(runs.data(), runs.size())) << c.what << ": " << f.LastError();
    for (size_t i = 0; i < runs.size(); ++i) {
      for (int64_t k = 0; k < runs[i].count * 64; ++k)
        ASSERT_EQ(bufs[i][size_t(k)], uint8_t((runs[i].first + k / 64 + k % 64) & 0xFF)) << c.what << " " << i;
      EXPECT_EQ(bufs[i].back(), 0xEE) << c.what << " " << i;
    }
  }
  // A stretch that runs past the end fails, as its last run alone would.
  std::vector<uint8_t> a(64), b(128);
  BlockFile::Run last[] = {{39990, 1, a.data()}, {39999, 2, b.data()}};
  EXPECT_FALSE(f.ReadRuns(last, 2));
  EXPECT_EQ(f.LastError(), "unexpected end of file");
}

// A run past the end or out of range fails the whole read, with the reason.
TEST(BlockFileRuns, ARunPastTheEndOrOutOfRangeFails) {
  TempDir d;
  d.Write("F.DAT", Blocks(10, 64) + "part");
  BlockFile f(64);
  ASSERT_TRUE(f.Open(d.File("F.DAT"), BlockFile::Mode::ReadOnly));
  std::vector<uint8_t> a(64), b(128);
  BlockFile::Run pastEnd[] = {{1, 1, a.data()}, {9, 2, b.data()}};
  EXPECT_FALSE(f.ReadRuns(pastEnd, 2));
  EXPECT_EQ(f.LastError(), "unexpected end of file");
  BlockFile::Run negative[] = {{-1, 1, a.data()}};
  EXPECT_FALSE(f.ReadRuns(negative, 1));
  BlockFile::Run huge[] = {{INT64_MAX / 64, 1, a.data()}};
  EXPECT_FALSE(f.ReadRuns(huge, 1));
  BlockFile closed(64);
  BlockFile::Run one[] = {{0, 1, a.data()}};
  EXPECT_FALSE(closed.ReadRuns(one, 1));
  EXPECT_TRUE(f.ReadRuns(one, 1));
  EXPECT_EQ(a[5], 5);
}
