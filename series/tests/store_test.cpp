// The store on real files: what two stores attached to one file do, the
// records it refuses, and the Log's text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <tuple>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/byte_io.h"
#include "platform/little_endian.h"
#include "platform/user_prompts.h"
#include "series/dsf_format.h"
#include "series/series_store.h"
#include "series/tests/alternating_saves.h"
#include "platform/block_journal.h"
#include "testing/cut_short.h"
#include "testing/failing_calls.h"
#include "testing/temp_dir.h"

namespace krv::series {
namespace {

using krv::testing::TempDir;

struct Fixture {
  TempDir dir;
  platform::ScriptedPrompts prompts;
  SeriesStore store;
  std::string Path(const std::string& name = "T") { return dir.File(name); }
  ColumnSlot& Col(int c) { return store.ColumnSlots[size_t(c)]; }
  void Fill(int c, int from, int to) {
    store.NewSeries(Col(c), false, "");
    for (int i = from; i <= to; ++i) store.PutVal(Col(c), int16_t(i), i);
  }
  // A new store holding the series `from`..`to` at `path`.
  void CreateWith(int from, int to, const std::string& path) {
    store.CreateDSF(Path());
    Fill(0, from, to);
    store.SaveSeries(Col(0), path);
  }
  std::string Bytes(const std::string& name = "T.DSF") { return dir.Read(name); }
  void Poke(size_t at, std::initializer_list<uint8_t> bytes, const std::string& name = "T.DSF") {
    std::string b = Bytes(name);
    for (uint8_t x : bytes) b[at++] = char(x);
    dir.Write(name, b);
  }
};

// Helmsman and Plotvane attached to one file: each change takes the next
// free record as it stands on disk, so neither overwrites the other.
TEST(TwoStores, ShareOneFileWithoutOverwriting) {
  Fixture f;
  SeriesStore other;
  f.store.CreateDSF(f.Path());
  other.AttachDSF(f.Path());
  ASSERT_FALSE(other.FailureFlag);

  f.Fill(0, 0, 40);
  f.store.SaveSeries(f.Col(0), ".A");
  other.NewSeries(other.ColumnSlots[0], false, "");
  for (int i = 0; i < 5; ++i) other.PutVal(other.ColumnSlots[0], int16_t(i), 100 + i);
  other.SaveSeries(other.ColumnSlots[0], ".B");  // would take records 2, 3 with a stale header
  ASSERT_FALSE(other.FailureFlag);
  f.store.MakeDSDir(".D");
  ASSERT_FALSE(f.store.FailureFlag);

  EXPECT_EQ(platform::GetI32(f.Bytes(), 4), 8);  // 2 root + A: 3 + B: 2 + D: 1
  EXPECT_EQ(f.Bytes().size(), 8u * 128);
  for (SeriesStore* s : {&f.store, &other}) {
    s->OpenSeries(s->ColumnSlots[5], ".A");
    ASSERT_FALSE(s->FailureFlag);
    EXPECT_EQ(s->GetVal(s->ColumnSlots[5], 40), 40);
    s->OpenSeries(s->ColumnSlots[6], ".B");
    ASSERT_FALSE(s->FailureFlag);
    EXPECT_EQ(s->GetVal(s->ColumnSlots[6], 4), 104);
    bool failure;
    DSDirEntry e;
    s->FindDSFEntry(".D", failure, e);
    EXPECT_TRUE(e.IsDSDir());
  }
  // An entry the other store erased is seen at once.
  other.EraseSeries(".A");
  f.store.OpenSeries(f.Col(7), ".A");
  EXPECT_TRUE(f.store.FailureFlag);
  EXPECT_EQ(f.prompts.messages.back(), ".A is not a series");
}

// The store keeps DSDir blocks and where a series lay from one operation
// to the next; what another store, or any other writer, changes in
// between is still what the next operation sees.
TEST(TwoStores, KeptBlocksFollowEveryChange) {
  Fixture f;
  SeriesStore other;
  f.store.CreateDSF(f.Path());
  f.store.MakeDSDir(".D");
  f.Fill(0, 0, 40);
  f.store.SaveSeries(f.Col(0), ".D.S");
  f.store.OpenSeries(f.Col(1), ".D.S");
  ASSERT_FALSE(f.store.FailureFlag);

  // In place: the same DSDir block gets the new series' entry.
  other.AttachDSF(f.Path());
  other.EraseSeries(".D.S");
  other.NewSeries(other.ColumnSlots[0], false, "");
  for (int i = 0; i < 5; ++i) other.PutVal(other.ColumnSlots[0], int16_t(i), 100 + i);
  other.SaveSeries(other.ColumnSlots[0], ".D.S");
  ASSERT_FALSE(other.FailureFlag);
  f.store.OpenSeries(f.Col(1), ".D.S");
  ASSERT_FALSE(f.store.FailureFlag);
  EXPECT_EQ(f.store.GetVal(f.Col(1), 4), 104);
  int16_t lo, hi;
  f.store.SeriesIndexRange(f.Col(1), lo, hi);
  EXPECT_EQ(hi, 4);

  // A writer that keeps record 0 and the size: the entry renamed by hand.
  bool failure;
  DSDirEntry d;
  f.store.FindDSFEntry(".D", failure, d);
  ASSERT_FALSE(failure);
  std::string b = f.Bytes();
  size_t name = 0;
  for (size_t k = 0; k < 4; ++k) {
    size_t at = size_t(d.record) * 128 + 4 + 31 * k;
    if (platform::GetI32(b, at) != -1 && b.substr(at + 4, 2) == std::string("\x01S", 2)) name = at + 4;
  }
  ASSERT_NE(name, 0u);
  f.Poke(name + 1, {'T'});
  f.store.FindDSFEntry(".D.T", failure, d);
  EXPECT_FALSE(failure);
  EXPECT_TRUE(d.Used());
  f.store.OpenSeries(f.Col(2), ".D.S");
  EXPECT_TRUE(f.store.FailureFlag);
}

// Whether the file system gives a file a new change time for a write
// made right after the time was looked at, however soon (Linux does
// since 6.13 on the common file systems); with coarser times a write
// within one clock tick of another goes unseen by any look.
bool FineChangeTimes(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0644);
  bool fine = fd >= 0;
  for (int k = 0; k < 5 && fine; ++k) {
    struct stat a, b;
    fine = ::fstat(fd, &a) == 0 && ::pwrite(fd, "x", 1, k) == 1 && ::fstat(fd, &b) == 0 &&
           (a.st_ctim.tv_sec != b.st_ctim.tv_sec || a.st_ctim.tv_nsec != b.st_ctim.tv_nsec);
  }
  if (fd >= 0) ::close(fd);
  return fine;
}

// A write in place by another program at once after this store's change,
// keeping the size and record 0: the store's look at the file that ends
// each change is what makes that write change the file's stamp, so the
// next operation reads afresh instead of trusting its kept blocks.
TEST(TwoStores, AWriteInPlaceJustAfterAChangeIsSeen) {
  Fixture f;
  if (!FineChangeTimes(f.Path("PROBE"))) GTEST_SKIP() << "the file system keeps coarse times";
  f.store.CreateDSF(f.Path());
  f.Fill(0, 0, 40);
  for (int round = 0; round < 20; ++round) {
    f.store.SaveSeries(f.Col(0), round % 2 ? ".T" : ".S");
    ASSERT_FALSE(f.store.FailureFlag);
    // The root's first entry renamed: S <-> T, in place.
    int fd = ::open(f.Path("T.DSF").c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, round % 2 ? "S" : "T", 1, 128 + 4 + 4 + 1), 1);
    ::close(fd);
    bool failure;
    DSDirEntry e;
    f.store.FindDSFEntry(round % 2 ? ".S" : ".T", failure, e);
    ASSERT_TRUE(e.Used()) << round;
  }
}

// Each save adds to a DSDir whose entries the store has just looked up
// by name: the next lookup finds the new entry, in any case of letters.
TEST(KeptBlocks, OwnSavesAreFoundAtOnce) {
  Fixture f;
  f.store.CreateDSF(f.Path());
  f.store.MakeDSDir(".D");
  for (int k = 0; k < 10; ++k) {  // three blocks of four entries
    f.Fill(0, 0, k);
    std::string name = ".D.S" + std::to_string(k);
    f.store.SaveSeries(f.Col(0), name);
    ASSERT_FALSE(f.store.FailureFlag) << name;
    f.store.OpenSeries(f.Col(1), name);
    ASSERT_FALSE(f.store.FailureFlag) << name;
    EXPECT_EQ(f.store.GetVal(f.Col(1), int16_t(k)), k) << name;
  }
  f.store.EraseSeries(".D.S4");
  f.store.OpenSeries(f.Col(1), ".d.s4");
  EXPECT_TRUE(f.store.FailureFlag);
  f.Fill(0, 0, 44);
  f.store.SaveSeries(f.Col(0), ".D.s9");  // over S9, not a second entry
  f.store.OpenSeries(f.Col(1), ".d.S9");
  ASSERT_FALSE(f.store.FailureFlag);
  EXPECT_EQ(f.store.GetVal(f.Col(1), 44), 44);
  f.store.ListDSFNames(".D.&");
  EXPECT_EQ(f.store.Log.Lines().size(), 9u);
}

// A save over a series reuses its records as the file holds them now:
// after its own saves (longer, shorter, longer again) and after another
// store has lengthened the series since this one last read it.
TEST(KeptBlocks, SavesOverASeriesFollowItsChain) {
  Fixture f;
  SeriesStore other;
  f.store.CreateDSF(f.Path());  // records 0, 1
  struct Step {
    int highest;      // values 0..highest: highest / 31 + 1 blocks
    size_t records;   // the file's records after the save
  };
  // 5 blocks: head 2, data 3-7; 2 blocks over 3-4; 6 blocks: 3, 4, 8-11.
  for (Step st : {Step{154, 8}, Step{40, 8}, Step{185, 12}}) {
    f.Fill(0, 0, st.highest);
    f.store.SaveSeries(f.Col(0), ".S");
    ASSERT_FALSE(f.store.FailureFlag) << st.highest;
    EXPECT_EQ(f.Bytes().size(), st.records * 128) << st.highest;
    EXPECT_EQ(size_t(platform::GetI32(f.Bytes(), 4)), st.records) << st.highest;
    f.store.OpenSeries(f.Col(1), ".S");
    ASSERT_FALSE(f.store.FailureFlag);
    EXPECT_EQ(f.Col(1).Cells().size(), size_t(st.highest / 31 + 1) * 31);
    EXPECT_EQ(f.store.GetVal(f.Col(1), int16_t(st.highest)), st.highest);
  }
  // The other store lengthens it by two blocks: 3, 4, 8-11, 12, 13.
  other.AttachDSF(f.Path());
  ASSERT_FALSE(other.FailureFlag);
  other.NewSeries(other.ColumnSlots[0], false, "");
  for (int i = 0; i <= 247; ++i) other.PutVal(other.ColumnSlots[0], int16_t(i), 1000 + i);
  other.SaveSeries(other.ColumnSlots[0], ".S");
  ASSERT_FALSE(other.FailureFlag);
  EXPECT_EQ(f.Bytes().size(), 14u * 128);
  // Nine blocks from this store: those eight records, then one new.
  f.Fill(0, 0, 250);
  f.store.SaveSeries(f.Col(0), ".S");
  ASSERT_FALSE(f.store.FailureFlag);
  EXPECT_EQ(f.Bytes().size(), 15u * 128);
  other.OpenSeries(other.ColumnSlots[1], ".S");
  ASSERT_FALSE(other.FailureFlag);
  for (int i : {0, 200, 247, 250}) EXPECT_EQ(other.GetVal(other.ColumnSlots[1], int16_t(i)), i);
}

// An open into a slot that holds a longer or a shorter series leaves
// exactly the new series' blocks there.
TEST(KeptBlocks, OpensOverOpenSeriesKeepNothingOfThem) {
  Fixture f;
  f.store.CreateDSF(f.Path());
  f.Fill(0, -20, 300);
  f.store.SaveSeries(f.Col(0), ".LONG");
  f.Fill(0, 5, 9);
  f.store.SaveSeries(f.Col(0), ".SHORT");
  for (const char* name : {".LONG", ".SHORT", ".LONG", ".LONG", ".SHORT"}) {
    f.store.OpenSeries(f.Col(1), name);
    ASSERT_FALSE(f.store.FailureFlag) << name;
    bool isLong = std::strcmp(name, ".LONG") == 0;
    int16_t lo, hi;
    f.store.SeriesIndexRange(f.Col(1), lo, hi);
    EXPECT_EQ(lo, isLong ? -20 : 5) << name;
    EXPECT_EQ(hi, isLong ? 300 : 9) << name;
    EXPECT_EQ(f.Col(1).Cells().size(), isLong ? 11u * 31 : 31u) << name;
    for (int i = lo; i <= hi; ++i) ASSERT_EQ(f.store.GetVal(f.Col(1), int16_t(i)), i) << name;
  }
}

// What a store that attaches `left` (the file and its journal, as a
// change cut short left them) finds there: the file as the attach leaves
// it, after rolling back whatever journal was there.
struct Recovered {
  std::string bytes;
  std::vector<std::string> messages;
  bool journalLeft = false;
};
Recovered Recover(TempDir& dir, const std::vector<testing::FileState>& left) {
  testing::PutState(dir.File("K.DSF"), left[0]);
  testing::PutState(dir.File("K.DSF-journal"), left[1]);
  Recovered r;
  platform::ScriptedPrompts shown;
  {
    SeriesStore store;
    store.AttachDSF(dir.File("K"));
    EXPECT_FALSE(store.FailureFlag);
  }
  r.messages = shown.messages;
  r.bytes = dir.Read("K.DSF");
  r.journalLeft = dir.Has("K.DSF-journal");
  return r;
}

// Every change of the store cut short at any of its system calls, the
// process killed just before the call or the call failing as on a full
// disk: a store attaching the file afterwards finds it exactly as before
// the change or exactly as the whole change leaves it, with no journal
// left and nothing to repair. A failure is reported, and leaves the file
// as before; a change that reports none is there whole. Saved over
// itself, a series that grows or shrinks, or two series saved as one
// change, are old or new as a whole.
TEST(SaveSafety, AKillOrAFullDiskAtAnyCallLeavesTheOldOrTheNewFile) {
  auto fill = [](SeriesStore& s, ColumnSlot& c, int highest, int plus) {
    s.NewSeries(c, false, "");
    for (int i = 0; i <= highest; ++i) s.PutVal(c, int16_t(i), i + plus);
  };
  struct Case {
    const char* what;
    std::function<void(SeriesStore&)> before;  // after .T was saved
    std::function<void(SeriesStore&)> change;
  } cases[] = {
      {"a series over itself, as long", [&](SeriesStore& s) { fill(s, s.ColumnSlots[0], 200, 0), s.SaveSeries(s.ColumnSlots[0], ".S"); },
       [&](SeriesStore& s) { fill(s, s.ColumnSlots[0], 200, 1000), s.SaveSeries(s.ColumnSlots[0], ".S"); }},
      {"a series over itself, shorter", [&](SeriesStore& s) { fill(s, s.ColumnSlots[0], 200, 0), s.SaveSeries(s.ColumnSlots[0], ".S"); },
       [&](SeriesStore& s) { fill(s, s.ColumnSlots[0], 40, 1000), s.SaveSeries(s.ColumnSlots[0], ".S"); }},
      {"a series over itself, longer", [&](SeriesStore& s) { fill(s, s.ColumnSlots[0], 40, 0), s.SaveSeries(s.ColumnSlots[0], ".S"); },
       [&](SeriesStore& s) { fill(s, s.ColumnSlots[0], 200, 1000), s.SaveSeries(s.ColumnSlots[0], ".S"); }},
      {"a new series", [](SeriesStore&) {}, [&](SeriesStore& s) { fill(s, s.ColumnSlots[0], 70, 1000), s.SaveSeries(s.ColumnSlots[0], ".N"); }},
      {"a new series in a fresh DSDir block",
       [&](SeriesStore& s) {
         fill(s, s.ColumnSlots[0], 3, 0);
         for (const char* p : {".O1", ".O2", ".O3"}) s.SaveSeries(s.ColumnSlots[0], p);
       },
       [&](SeriesStore& s) { fill(s, s.ColumnSlots[0], 70, 1000), s.SaveSeries(s.ColumnSlots[0], ".N"); }},
      {"a new DSDir", [](SeriesStore&) {}, [](SeriesStore& s) { s.MakeDSDir(".N"); }},
      {"two series in one held change",
       [&](SeriesStore& s) { fill(s, s.ColumnSlots[0], 100, 0), s.SaveSeries(s.ColumnSlots[0], ".S"); },
       [&](SeriesStore& s) {
         if (!s.HoldChanges()) return;
         fill(s, s.ColumnSlots[0], 160, 1000), s.SaveSeries(s.ColumnSlots[0], ".S");
         fill(s, s.ColumnSlots[1], 20, 2000), s.SaveSeries(s.ColumnSlots[1], ".U");
         s.CommitChanges();
       }},
  };
  const std::time_t clock = 1760000000;
  for (const Case& c : cases) {
    // The file before the change, and as the whole change leaves it.
    std::string before, after;
    long calls;
    {
      Fixture f;
      f.store.Now = [=] { return clock; };
      f.store.CreateDSF(f.Path());
      fill(f.store, f.Col(0), 100, 5000);
      f.store.SaveSeries(f.Col(0), ".T");
      c.before(f.store);
      f.store.CloseDSF();
      before = f.Bytes();
      f.store.AttachDSF(f.Path());
      calls = testing::CountCalls([&] { c.change(f.store); });
      ASSERT_FALSE(f.store.FailureFlag) << c.what;
      after = f.Bytes();
      ASSERT_NE(before, after) << c.what;
      EXPECT_FALSE(f.dir.Has("T.DSF-journal")) << c.what;
    }
    testing::CutTally tally = testing::ForEachCut(calls, [&](long k, bool killed) {
      SCOPED_TRACE(std::string(c.what) + (killed ? ", killed before call " : ", call failing: ") + std::to_string(k));
      Fixture f;
      f.store.Now = [=] { return clock; };
      f.dir.Write("T.DSF", before);
      f.store.AttachDSF(f.Path());
      EXPECT_FALSE(f.store.FailureFlag);
      std::vector<testing::FileState> left =
          testing::CutShortAt(k, killed, {f.Path("T.DSF"), f.Path("T.DSF-journal")}, [&] { c.change(f.store); });
      bool failed = f.store.FailureFlag;
      if (!killed && failed) {
        EXPECT_FALSE(f.prompts.messages.empty());
        if (!f.prompts.messages.empty()) {
          EXPECT_EQ(f.prompts.messages.back().rfind("I/O error ", 0), 0u) << f.prompts.messages.back();
          EXPECT_NE(f.prompts.messages.back().find("No space left on device"), std::string::npos)
              << f.prompts.messages.back();
        }
        // A series saved keeps its mark: it is not in the file.
        if (f.Col(0).IsOpen()) {
          EXPECT_TRUE(f.Col(0).modified);
        }
      }
      EXPECT_TRUE(left[0]);
      if (!left[0]) return false;
      Recovered r = Recover(f.dir, left);
      EXPECT_TRUE(r.messages.empty()) << r.messages.front();
      EXPECT_FALSE(r.journalLeft);
      EXPECT_TRUE(r.bytes == before || r.bytes == after) << "mixed: " << r.bytes.size() / 128 << " records";
      if (!killed) {
        EXPECT_EQ(r.bytes, failed ? before : after) << (failed ? "reported failed" : "reported done");
      }
      return r.bytes == before;
    });
    EXPECT_GT(tally.olds, 0) << c.what;
    EXPECT_GT(tally.news, 0) << c.what;
  }
}

// A change cut short whose journal is rolled back by another store
// already attached to the file: the next operation it makes looks at the
// file afresh, rolls the journal back and finds the old series.
TEST(SaveSafety, AStoreAttachedBeforeACrashRollsItsJournalBack) {
  Fixture f;
  f.store.CreateDSF(f.Path());
  f.Fill(0, 0, 100);
  f.store.SaveSeries(f.Col(0), ".S");
  SeriesStore other;
  other.AttachDSF(f.Path());
  other.OpenSeries(other.ColumnSlots[0], ".S");
  ASSERT_FALSE(other.FailureFlag);
  // Killed as the data went out: the journal is synced, the file half new.
  std::vector<testing::FileState> left;
  {
    f.Fill(0, 0, 300);
    testing::FailingCalls fail;
    bool taken = false;
    fail.before = [&](const char* name) {
      if (!taken && std::string(name) == "Sync" && f.dir.Has("T.DSF-journal") &&
          f.Bytes().size() > 10 * 128) {
        left = {testing::ReadIfThere(f.Path("T.DSF")), testing::ReadIfThere(f.Path("T.DSF-journal"))};
        taken = true;
      }
    };
    f.store.SaveSeries(f.Col(0), ".S");
    ASSERT_TRUE(taken);
  }
  testing::PutState(f.Path("T.DSF"), left[0]);
  testing::PutState(f.Path("T.DSF-journal"), left[1]);
  other.OpenSeries(other.ColumnSlots[1], ".S");
  ASSERT_FALSE(other.FailureFlag);
  int16_t lo, hi;
  other.SeriesIndexRange(other.ColumnSlots[1], lo, hi);
  EXPECT_EQ(hi, 100);
  for (int i = 0; i <= 100; ++i) ASSERT_EQ(other.GetVal(other.ColumnSlots[1], int16_t(i)), i);
  EXPECT_FALSE(f.dir.Has("T.DSF-journal"));
}

// A journal the store cannot roll back (here one that cannot be read) is
// refused with the reason, whichever way the file is attached, and the
// file is not read as it stands.
TEST(SaveSafety, AJournalThatCannotBeRolledBackIsRefused) {
  Fixture f;
  f.store.CreateDSF(f.Path());
  f.Fill(0, 0, 40);
  f.store.SaveSeries(f.Col(0), ".S");
  f.store.CloseDSF();
  ASSERT_EQ(::mkdir(f.Path("T.DSF-journal").c_str(), 0755), 0);
  for (bool readOnly : {true, false}) {
    f.prompts.messages.clear();
    if (readOnly)
      f.store.AttachDSFReadOnly(f.Path());
    else
      f.store.AttachDSF(f.Path());
    EXPECT_TRUE(f.store.FailureFlag);
    EXPECT_FALSE(f.store.IsAttached());
    ASSERT_EQ(f.prompts.messages.size(), 1u);
    EXPECT_EQ(f.prompts.messages[0].rfind("I/O error restoring " + f.Path("T.DSF"), 0), 0u)
        << f.prompts.messages[0];
  }
}

// The four ways a series is met: opened into column 1, saved over from
// column `from`, listed in detail, linked to an X series.
constexpr int kWaysToMeet = 4;
void Meet(Fixture& f, int way, const std::string& path, int from) {
  f.prompts.messages.clear();
  f.store.FailureFlag = false;
  switch (way) {
    case 0: f.store.OpenSeries(f.Col(1), path); break;
    case 1: f.store.SaveSeries(f.Col(from), path); break;
    case 2: f.store.ListSeriesDetails(path); break;
    case 3: f.store.SetXSeries("", path); break;
  }
}

// Both stores decide by the first four bytes which layout a file has: a
// file that merely begins like the magic, or is too short to hold it, is
// of the earlier layout, whose reader then refuses what it cannot read.
TEST(Layout, TheFirstFourBytesTellTheLayouts) {
  struct Case {
    const char* what;
    std::optional<std::string> bytes;  // none: no file there
    DSFLayout layout;
  };
  const std::string magic("\x50\x50\x50\x00", 4);
  const Case cases[] = {
      {"no file", std::nullopt, DSFLayout::kUnreadable},
      {"empty", "", DSFLayout::kEarlier},
      {"three bytes of the magic", magic.substr(0, 3), DSFLayout::kEarlier},
      {"an earlier header", std::string("\x00\x00\x00\x00\x05\x00", 6), DSFLayout::kEarlier},
      {"the magic with one byte changed", std::string("\x50\x50\x50\x01", 4), DSFLayout::kEarlier},
      {"the magic alone", magic, DSFLayout::kCurrent},
      {"a whole record 0", magic + std::string(124, '\0'), DSFLayout::kCurrent},
  };
  TempDir dir;
  for (const Case& c : cases) {
    std::string path = dir.File("F.DSF");
    std::remove(path.c_str());
    if (c.bytes) dir.Write("F.DSF", *c.bytes);
    EXPECT_EQ(ProbeDSFLayout(path), c.layout) << c.what;
  }
}

// Each damage below is refused with the message, the flag set, the file
// unchanged and the slot keeping the series it had. Damage of a series'
// records names the series.
TEST(DamagedFile, RefusedBeforeAnythingChanges) {
  struct Case {
    const char* what;
    size_t at;
    std::vector<uint8_t> bytes;
    bool ofTheSeries;
  } cases[] = {
      // Record 2 is .S's head, 3 and 4 its data records.
      {"data chain loops back", 3 * 128, {3, 0, 0, 0}, true},
      {"data link past the end", 3 * 128, {9, 0, 0, 0}, true},
      {"data chain cut short", 3 * 128, {0, 0, 0, 0}, true},
      {"first data record is record 1", 2 * 128, {1, 0, 0, 0}, true},
      {"highest beyond the chain", 2 * 128 + 6, {62, 0}, true},
      {"lowest above highest", 2 * 128 + 6, {20, 0, 30}, true},
      {"first offset out of a block", 2 * 128 + 8, {31}, true},
      {"comment longer than its field", 2 * 128 + 9, {109}, true},
      {"entry record out of the file", 128 + 4, {99, 0, 0, 0}, true},
      {"entry name longer than its field", 128 + 8, {26}, false},
      {"entry kind neither series nor DSDir", 128 + 4 + 30, {7}, false},
      {"root block links to itself", 128, {1, 0, 0, 0}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fixture f;
    f.CreateWith(0, 40, ".S");
    ASSERT_FALSE(f.store.FailureFlag);
    std::string b = f.Bytes();
    for (size_t i = 0; i < c.bytes.size(); ++i) b[c.at + i] = char(c.bytes[i]);
    f.dir.Write("T.DSF", b);
    f.Fill(1, 7, 7);
    for (int op = 0; op < kWaysToMeet; ++op) {
      Meet(f, op, op < 2 ? ".S" : "&", 0);
      EXPECT_TRUE(f.store.FailureFlag) << op;
      ASSERT_FALSE(f.prompts.messages.empty()) << op;
      EXPECT_EQ(f.prompts.messages[0], c.ofTheSeries ? "DSF file has been damaged: .S" : "DSF file has been damaged")
          << op;
      EXPECT_EQ(f.Bytes(), b) << op;
    }
    EXPECT_EQ(f.store.GetVal(f.Col(1), 7), 7);
  }
}

// One flipped bit in a link runs a series' chain into another's records:
// its head's first data record, or a data record's link, naming a record
// of the other series (its head or its data), of a DSDir or of the
// header. Both series are refused on opening, saving, listing and
// linking, naming the series; nothing is written; every other series
// still opens and saves, and a save of a fresh series goes on.
TEST(DamagedFile, ASeriesRunningIntoAnothersRecordsIsRefused) {
  // Records: 0 header, 1 root; .A head 2, data 3-5; .B head 6, data 7-9;
  // .D (a DSDir) 10, .D.C head 11, data 12.
  struct Case {
    const char* what;
    size_t at;   // a link: record * 128
    int32_t to;  // where it now points
    std::vector<std::string> refused;
  } cases[] = {
      {"a head into the other's data", 2 * 128, 8, {".A", ".B"}},
      {"a data link into the other's data", 4 * 128, 9, {".A", ".B"}},
      {"a data link to the other's head", 5 * 128, 6, {".A", ".B"}},
      {"a head onto a DSDir's block", 6 * 128, 10, {".B"}},
      {"a data link to the root block", 9 * 128, 1, {".B"}},
      {"a last data link onto the other's last", 12 * 128, 9, {".B", ".D.C"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fixture f;
    f.CreateWith(0, 80, ".A");
    f.Fill(0, 100, 180);
    f.store.SaveSeries(f.Col(0), ".B");
    f.store.MakeDSDir(".D");
    f.Fill(0, 200, 210);
    f.store.SaveSeries(f.Col(0), ".D.C");
    ASSERT_FALSE(f.store.FailureFlag);
    ASSERT_EQ(f.Bytes().size(), 13u * 128);
    std::string b = f.Bytes();
    platform::PutI32(b, c.at, c.to);
    f.dir.Write("T.DSF", b);
    for (const char* path : {".A", ".B", ".D.C"}) {
      bool refused = std::find(c.refused.begin(), c.refused.end(), path) != c.refused.end();
      for (int op = 0; op < kWaysToMeet; ++op) {
        SCOPED_TRACE(std::string(path) + " op " + std::to_string(op));
        f.Fill(2, 0, 5);
        Meet(f, op, path, 2);
        EXPECT_EQ(f.store.FailureFlag, refused);
        if (refused) {
          ASSERT_FALSE(f.prompts.messages.empty());
          EXPECT_EQ(f.prompts.messages[0], std::string("DSF file has been damaged: ") + path);
          EXPECT_EQ(f.Bytes(), b);
        }
      }
      if (!refused) b = f.Bytes();  // saved and linked over
    }
    f.Fill(2, 0, 50);
    f.store.SaveSeries(f.Col(2), ".N");
    EXPECT_FALSE(f.store.FailureFlag);
    f.store.OpenSeries(f.Col(3), ".N");
    EXPECT_FALSE(f.store.FailureFlag);
    EXPECT_EQ(f.store.GetVal(f.Col(3), 50), 50);
  }
}

// A DSDir entry naming record 0 holds no block to add an entry to.
TEST(DamagedFile, SavingIntoADSDirAtRecordZeroIsRefused) {
  Fixture f;
  f.store.CreateDSF(f.Path());
  f.store.MakeDSDir(".D");
  ASSERT_FALSE(f.store.FailureFlag);
  f.Poke(128 + 4, {0, 0, 0, 0});  // the root's first entry: .D
  std::string before = f.Bytes();
  f.Fill(0, 0, 5);
  f.store.SaveSeries(f.Col(0), ".D.S");
  EXPECT_TRUE(f.store.FailureFlag);
  ASSERT_FALSE(f.prompts.messages.empty());
  EXPECT_EQ(f.prompts.messages.back(), "DSF file has been damaged");
  EXPECT_EQ(f.Bytes(), before);
}

TEST(DamagedFile, ACycleOfDSDirsEndsTheWalk) {
  Fixture f;
  f.store.CreateDSF(f.Path());
  f.store.MakeDSDir(".A");
  f.store.MakeDSDir(".A.B");
  // B's first entry: a DSDir whose block is A's: a cycle A -> B -> A.
  size_t bBlock = 3 * 128;
  f.Poke(bBlock + 4, {2, 0, 0, 0, 1, 'C'});
  f.Poke(bBlock + 4 + 30, {1});
  for (const char* path : {"&", ".A.&", "&.C"}) {
    f.store.FailureFlag = false;
    f.store.ListDSFNames(path);
    EXPECT_TRUE(f.store.FailureFlag) << path;
  }
  f.store.ShowDSFTree(false);
  EXPECT_TRUE(f.store.FailureFlag);
  EXPECT_EQ(f.prompts.messages.back(), "DSF file has been damaged");
}

TEST(DamagedFile, FifteenLevelsAreTheDeepest) {
  Fixture f;
  f.store.CreateDSF(f.Path());
  std::string p;
  for (int i = 1; i <= 15; ++i) {
    p += ".D" + std::to_string(i);
    f.store.MakeDSDir(p);
    ASSERT_FALSE(f.store.FailureFlag) << p;
  }
  f.store.MakeDSDir(p + ".TOO");
  EXPECT_TRUE(f.store.FailureFlag);
  EXPECT_EQ(f.prompts.messages.back(), "Name syntax err");
  f.Fill(0, 1, 1);
  f.store.SaveSeries(f.Col(0), p + ".S");
  EXPECT_TRUE(f.store.FailureFlag);
  f.store.ListDSFNames("&");
  EXPECT_FALSE(f.store.FailureFlag);
  EXPECT_EQ(f.store.Log.Lines().back(), "(dir)" + p);
}

TEST(Log, ClearAddAppendAndSave) {
  Fixture f;
  SeriesLog& log = f.store.Log;
  EXPECT_EQ(log.Text(), "");  // never filled: an empty file
  ASSERT_TRUE(log.Save(f.dir.File("NEVER.TXT")));
  EXPECT_EQ(f.dir.Read("NEVER.TXT"), "");
  log.Clear();
  ASSERT_TRUE(log.Save(f.dir.File("CLEAR.TXT")));
  EXPECT_EQ(f.dir.Read("CLEAR.TXT"), "\r\n");
  log.AppendToLine("a");  // extends the one empty line
  log.AddLine("b");
  log.AppendToLine("c");
  EXPECT_EQ(log.Text(), "a\r\nbc\r\n");
  log.Reset();
  log.AppendToLine("x");  // no line yet: a new one
  EXPECT_EQ(log.Text(), "x\r\n");
}

// Which save a read of `slot` shows: its generation (1 or 2), or 0 for
// anything that is not one whole.
int WholeGeneration(SeriesStore& s, ColumnSlot& slot, const Generations& gens) {
  int16_t lo, hi;
  s.SeriesIndexRange(slot, lo, hi);
  int g = lo != 0 ? 0 : hi + 1 == gens.lengths[0] ? 1 : hi + 1 == gens.lengths[1] ? 2 : 0;
  for (int i = 0; g != 0 && i <= hi; ++i)
    if (s.GetVal(slot, int16_t(i)) != float(g)) g = 0;
  return g;
}

// Another program (the store's command-line driver) saves one series over
// itself again and again, two generations in turn, while this store opens
// it in a loop. Every read shows one save whole, never the new head with
// old records or the other way round, and none is refused as damaged: a
// chain that grows and shrinks with each save, chains longer than one read
// brings, and the same read-only.
TEST(ReadersAndWriters, EveryReadShowsOneWholeSave) {
  using namespace std::chrono_literals;
  struct Case {
    const char* what;
    Generations gens;
    bool readOnly;
  } cases[] = {
      {"a chain that grows and shrinks", {{62, 6200}}, false},
      {"chains longer than a read", {{20150, 31000}}, false},
      {"attached read-only", {{6200, 62}}, true},
  };
  constexpr int kSaves = 120;
  for (const Case& c : cases) {
    Fixture f;
    ASSERT_TRUE(CreateGenerationOne(f.dir, c.gens)) << c.what;
    if (c.readOnly)
      f.store.AttachDSFReadOnly(f.Path());
    else
      f.store.AttachDSF(f.Path());
    ASSERT_FALSE(f.store.FailureFlag) << c.what;

    testing::Program writer = StartAlternatingSaves(f.dir, c.gens, kSaves);
    int seen[3] = {0, 0, 0};  // by generation; 0: a mixed or refused read
    std::string firstBad;
    while (writer.Running()) {
      f.store.OpenSeries(f.Col(1), ".S");
      int g = f.store.FailureFlag ? 0 : WholeGeneration(f.store, f.Col(1), c.gens);
      if (g == 0 && firstBad.empty()) {
        int16_t lo = 0, hi = -1;
        if (!f.store.FailureFlag) f.store.SeriesIndexRange(f.Col(1), lo, hi);
        firstBad = f.store.FailureFlag ? "refused: " + f.store.LastFault
                                       : "values " + std::to_string(lo) + ".." + std::to_string(hi);
      }
      ++seen[g];
    }
    ASSERT_EQ(writer.WaitForExit(10s), 0) << c.what;
    EXPECT_EQ(seen[0], 0) << c.what << ", first: " << firstBad;
    EXPECT_GT(seen[1], 0) << c.what;
    EXPECT_GT(seen[2], 0) << c.what;
    // The last save is whole in the file too.
    f.store.OpenSeries(f.Col(1), ".S");
    ASSERT_FALSE(f.store.FailureFlag) << c.what;
    EXPECT_EQ(WholeGeneration(f.store, f.Col(1), c.gens), 1 + kSaves % 2) << c.what;
  }
}

}  // namespace
}  // namespace krv::series
