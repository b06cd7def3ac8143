// The trajectory file: the three record layouts, the record writer, the
// plots' reading of single values and the truncated copy.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "platform/little_endian.h"
#include "platform/user_prompts.h"
#include "testing/temp_dir.h"
#include "viewer/PlotU.h"
#include "viewer/tests/ttr_fixture.h"
#include "viewer/ttr_copy.h"
#include "viewer/ttr_file.h"
#include "viewer/ttr_format.h"

namespace krv::view {

using platform::GetF32;
using platform::GetF64;
using platform::GetI32;
using platform::PutF32;
using platform::PutF64;
using platform::PutI32;

namespace {

using krv::testing::TempDir;
using testing::MakeTTRBytes;
using testing::TTRSpec;

TEST(TTRLayoutTest, BlocksPerRecordFollowTheRecordSize) {
  struct Case {
    int d, packed, split;
  } cases[] = {{0, 1, 1}, {11, 1, 1}, {12, 1, 2}, {13, 2, 2}, {27, 2, 2}, {28, 2, 3},
               {10999, 688, 688}};
  for (const Case& c : cases) {
    EXPECT_EQ(PackedBlocksPerRecord(c.d), c.packed) << c.d;
    EXPECT_EQ(SplitBlocksPerRecord(c.d), c.split) << c.d;
    // The record must fit its blocks exactly: 16 + 4D packed, 20 + 4D split.
    EXPECT_GE(c.packed * 64, 16 + 4 * c.d);
    EXPECT_LT((c.packed - 1) * 64, 16 + 4 * c.d);
    EXPECT_GE(c.split * 64, 20 + 4 * c.d);
    EXPECT_LT((c.split - 1) * 64, 20 + 4 * c.d);
  }
}

struct OpenedFile {
  TempDir dir;
  TTRFile file;
  TTRHeader header;
  TTRLayout layout;
  explicit OpenedFile(const std::string& bytes) {
    dir.Write("T.TTR", bytes);
    EXPECT_TRUE(file.Open(dir.File("T.TTR")));
    EXPECT_TRUE(file.ReadHeader(header));
    header.Normalize();
    layout = TTRLayout::ForHeader(header);
  }
};

// Every layout gives the same times and values, across the split gap.
TEST(ReadTTRRecordTest, AllLayoutsReadTheSameValues) {
  for (int16_t mark : {kMarkPacked, kMarkSplit, kMarkSplit32}) {
    for (int d : {0, 5, 11, 12, 13, 40}) {
      TTRSpec desc;
      desc.mark = mark;
      desc.d = d;
      desc.jtmax = 3;
      OpenedFile f(MakeTTRBytes(desc));
      EXPECT_EQ(f.header.JTmax(), 3);
      EXPECT_EQ(f.layout.packed, mark == kMarkPacked);
      platform::ScriptedPrompts prompts;
      TTRRecord rec;
      for (int32_t jt = 0; jt <= 3; ++jt) {
        ASSERT_TRUE(ReadTTRRecord(f.file, f.layout, jt, rec));
        EXPECT_EQ(rec.jt, jt);
        EXPECT_DOUBLE_EQ(rec.t, 0.5 * jt);
        ASSERT_EQ(rec.values.size(), size_t(d) + 1);
        for (int i = 0; i <= d; ++i)
          ASSERT_EQ(rec.values[size_t(i)], float(100 * jt + i)) << mark << " d=" << d << " i=" << i;
        double t = -1;
        ASSERT_TRUE(ReadTTRTime(f.file, f.layout, jt, t));
        EXPECT_DOUBLE_EQ(t, 0.5 * jt);
      }
      EXPECT_TRUE(prompts.messages.empty());
    }
  }
}

TEST(ReadTTRRecordTest, Mark32000TakesJTmaxFromOffset52) {
  TTRSpec desc;
  desc.mark = kMarkSplit32;
  desc.jtmax = 4;
  OpenedFile f(MakeTTRBytes(desc));
  EXPECT_EQ(GetI32(f.header.bytes, 52), 4);
  EXPECT_EQ(f.header.JTmax(), 4);
}

TEST(ReadTTRRecordTest, WrongStoredNumberIsReportedAndTheRecordStillUsed) {
  TTRSpec desc;
  desc.jtmax = 6;
  desc.storedJT = [](int32_t jt) { return jt == 5 ? 7 : jt; };
  OpenedFile f(MakeTTRBytes(desc));
  platform::ScriptedPrompts prompts;
  TTRRecord rec;
  ASSERT_TRUE(ReadTTRRecord(f.file, f.layout, 5, rec));
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0], "TTR JT ERROR!7 5");
  EXPECT_DOUBLE_EQ(rec.t, 2.5);
  EXPECT_EQ(rec.values[2], 502.0f);
}

TEST(ReadTTRRecordTest, MissingBlocksAreAnErrorNotAnOverrun) {
  TTRSpec desc;
  desc.d = 40;
  desc.jtmax = 1;
  std::string bytes = MakeTTRBytes(desc);
  bytes.resize(bytes.size() - 10);
  OpenedFile f(bytes);
  platform::ScriptedPrompts prompts;
  TTRRecord rec;
  EXPECT_TRUE(ReadTTRRecord(f.file, f.layout, 0, rec));
  EXPECT_FALSE(ReadTTRRecord(f.file, f.layout, 1, rec));
  EXPECT_FALSE(ReadTTRRecord(f.file, f.layout, 1LL << 40, rec));
  EXPECT_EQ(prompts.messages.size(), 2u);
  EXPECT_EQ(f.file.BlockCount(), 1 + 3 + 2);  // the last record's third block is cut
}

TEST(WriteTTRRecordTest, WritesPackedRecordsWithZeroPaddingAtTheirBlocks) {
  TempDir dir;
  TTRWriter w;
  ASSERT_TRUE(w.Create(dir.File("W.TTR")));
  int d = 20;  // R' = 2: 96 bytes of data, 32 of padding
  for (int32_t jt : {1, 0}) {
    TTRRecord rec;
    rec.jt = jt;
    rec.t = 1.25 + jt;
    for (int i = 0; i <= d; ++i) rec.values.push_back(float(i) + 0.5f * float(jt));
    ASSERT_TRUE(WriteTTRRecord(w, d, rec));
  }
  ASSERT_TRUE(w.Commit());
  std::string bytes = dir.Read("W.TTR");
  ASSERT_EQ(bytes.size(), size_t(64 * (1 + 2 * 2)));
  const uint8_t* rec1 = reinterpret_cast<const uint8_t*>(bytes.data()) + 64 * 3;
  EXPECT_EQ(GetI32(rec1), 1);
  EXPECT_DOUBLE_EQ(GetF64(rec1, 4), 2.25);
  EXPECT_EQ(GetF32(rec1, 12 + 4 * 20), 20.5f);
  for (size_t k = 16 + 4 * size_t(d); k < 128; ++k) EXPECT_EQ(rec1[k], 0) << k;
}

TEST(WriteTTRRecordTest, AnAbandonedWriterLeavesTheTargetAsItWas) {
  TempDir dir;
  dir.Write("KEEP.TTR", "old");
  {
    TTRWriter w;
    ASSERT_TRUE(w.Create(dir.File("KEEP.TTR")));
    uint8_t block[64] = {1};
    ASSERT_TRUE(w.WriteBlocks(0, block, 64));
  }
  EXPECT_EQ(dir.Read("KEEP.TTR"), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

// The expected copy of records 0..j of a file made from `desc`.
static std::string ExpectedCopy(const TTRSpec& desc, const TTRHeader& source, int32_t j) {
  TTRHeader h = source;
  h.SetMark(kMarkPacked);
  h.SetLastT(desc.time(j));
  h.SetJTmax(j);
  std::string out(reinterpret_cast<const char*>(h.bytes.data()), 64);
  int r = PackedBlocksPerRecord(desc.d);
  for (int32_t jt = 0; jt <= j; ++jt) {
    std::string rec(size_t(r) * 64, '\0');
    uint8_t* p = reinterpret_cast<uint8_t*>(rec.data());
    PutI32(p, 0, jt);
    PutF64(p, 4, desc.time(jt));
    for (int i = 0; i <= desc.d; ++i) PutF32(p, 12 + 4 * i, desc.value(jt, i));
    out += rec;
  }
  return out;
}

TEST(CopyTruncatedTTRTest, EveryLayoutCopiesToThePackedLayoutByteForByte) {
  for (int16_t mark : {kMarkPacked, kMarkSplit, kMarkSplit32}) {
    for (int32_t j : {0, 2, 4}) {
      TTRSpec desc;
      desc.mark = mark;
      desc.d = 14;
      desc.jtmax = 4;
      OpenedFile f(MakeTTRBytes(desc));
      std::string target = f.dir.File("COPY.TTR");
      ASSERT_TRUE(CopyTruncatedTTR(f.file, f.layout, f.header, j, target));
      std::string copy = f.dir.Read("COPY.TTR");
      EXPECT_EQ(copy, ExpectedCopy(desc, f.header, j)) << mark << " j=" << j;
      // No byte of the source's gap or padding survives.
      EXPECT_EQ(copy.find(std::string(4, char(0xAB))), std::string::npos);
      if (mark == kMarkSplit32) {
        // Offsets 52..59 keep the source bytes (its JTmax and the unread four).
        EXPECT_EQ(GetI32(copy, 52), 4);
        EXPECT_EQ(GetI32(copy, 60), j);
      }
    }
  }
}

TEST(CopyTruncatedTTRTest, TheCopyReadsBackAsThePackedLayout) {
  TTRSpec desc;
  desc.mark = kMarkSplit;
  desc.d = 30;
  desc.jtmax = 5;
  OpenedFile f(MakeTTRBytes(desc));
  ASSERT_TRUE(CopyTruncatedTTR(f.file, f.layout, f.header, 3, f.dir.File("C.TTR")));
  TTRFile copy;
  ASSERT_TRUE(copy.Open(f.dir.File("C.TTR")));
  TTRHeader h;
  ASSERT_TRUE(copy.ReadHeader(h));
  EXPECT_EQ(h.Mark(), kMarkPacked);
  EXPECT_EQ(h.JTmax(), 3);
  EXPECT_EQ(h.Label(), desc.label);
  EXPECT_DOUBLE_EQ(h.LastT(), 1.5);
  TTRRecord rec;
  ASSERT_TRUE(ReadTTRRecord(copy, TTRLayout::ForHeader(h), 3, rec));
  EXPECT_EQ(rec.values[30], 330.0f);
}

// The plots (and saves) read only the blocks holding their values, for
// many steps at once: every layout, variables next to each other, far
// apart in a wide record, on either side of the split gap, one listed
// twice, density and hi, and more runs than one batch of the file holds.
TEST(ReadPlotPointsTest, ValuesAtThePlotStepsInEveryLayout) {
  struct Case {
    int16_t mark;
    int d;
    int32_t jtmax, lo, hi, density;
    std::vector<int> vars;
  } cases[] = {
      {kMarkPacked, 3, 2, 0, 2, 1, {2}},
      {kMarkPacked, 2000, 40, 0, 40, 1, {0, 400, 800, 1200, 1600, 2000}},
      {kMarkSplit, 40, 30, 3, 29, 4, {11, 12, 40, 11}},
      {kMarkSplit32, 13, 9, 0, 9, 2, {0, 13}},
      {kMarkPacked, 1000, 600, 0, 600, 1, {1, 300, 600, 999}},
  };
  for (const Case& c : cases) {
    TTRSpec desc;
    desc.mark = c.mark;
    desc.d = c.d;
    desc.jtmax = c.jtmax;
    OpenedFile f(MakeTTRBytes(desc));
    TimeRange range;
    range.lo = c.lo;
    range.hi = c.hi;
    range.density = c.density;
    range.Update();
    std::vector<std::vector<float>> got(c.vars.size());
    std::vector<std::vector<float>*> into;
    for (auto& g : got) into.push_back(&g);
    platform::ScriptedPrompts prompts;
    ASSERT_TRUE(ReadPlotPoints(f.file, f.layout, range, c.vars, into)) << c.d;
    EXPECT_TRUE(prompts.messages.empty());
    std::vector<int32_t> steps = PlotSteps(range);
    for (size_t v = 0; v < c.vars.size(); ++v) {
      ASSERT_EQ(got[v].size(), steps.size());
      for (size_t k = 0; k < steps.size(); ++k)
        ASSERT_EQ(got[v][k], desc.value(steps[k], c.vars[v])) << "d " << c.d << " var " << c.vars[v] << " k " << k;
    }
  }
}

// A wrong stored record number is reported once per reading, however many
// records carry one, and the values are used all the same; a file cut
// short is an input/output error naming it.
TEST(ReadPlotPointsTest, WrongRecordNumbersAreReportedOnceAndAShortFileFails) {
  TTRSpec desc;
  desc.d = 300;
  desc.jtmax = 20;
  desc.storedJT = [](int32_t jt) { return jt >= 6 ? jt + 1 : jt; };
  OpenedFile f(MakeTTRBytes(desc));
  TimeRange range;
  range.hi = 20;
  range.density = 3;
  range.Update();
  std::vector<float> near, far;
  {
    platform::ScriptedPrompts prompts;
    ASSERT_TRUE(ReadPlotPoints(f.file, f.layout, range, {1, 290}, {&near, &far}));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0], "TTR JT ERROR!7 6");
    EXPECT_EQ(far[2], desc.value(6, 290));
    EXPECT_EQ(near.back(), desc.value(20, 1));
  }
  std::string bytes = MakeTTRBytes(desc);
  bytes.resize(bytes.size() - 64 * size_t(f.layout.r) + 8);  // the last record cut
  OpenedFile cut(bytes);
  platform::ScriptedPrompts prompts;
  EXPECT_FALSE(ReadPlotPoints(cut.file, cut.layout, range, {290}, {&far}));
  ASSERT_FALSE(prompts.messages.empty());
  EXPECT_EQ(prompts.messages.back(),
            "I/O error reading " + cut.dir.File("T.TTR") + ": the file ends inside record 20");
}

TEST(CopyTruncatedTTRTest, WrongRecordNumbersAreReportedOnceAndCorrected) {
  TTRSpec desc;
  desc.jtmax = 50;
  desc.storedJT = [](int32_t) { return -1; };
  OpenedFile f(MakeTTRBytes(desc));
  platform::ScriptedPrompts prompts;
  ASSERT_TRUE(CopyTruncatedTTR(f.file, f.layout, f.header, 50, f.dir.File("C.TTR")));
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0], "TTR JT ERROR!-1 0");
  std::string copy = f.dir.Read("C.TTR");
  EXPECT_EQ(GetI32(copy, 64 * 51), 50);
}

TEST(CopyTruncatedTTRTest, AFailedReadLeavesNoTarget) {
  TTRSpec desc;
  desc.jtmax = 3;
  std::string bytes = MakeTTRBytes(desc);
  OpenedFile f(bytes.substr(0, 64 * 3));
  platform::ScriptedPrompts prompts;
  EXPECT_FALSE(CopyTruncatedTTR(f.file, f.layout, f.header, 3, f.dir.File("C.TTR")));
  EXPECT_FALSE(f.dir.Has("C.TTR"));
  EXPECT_EQ(prompts.messages.size(), 1u);
}

}  // namespace
}  // namespace krv::view
