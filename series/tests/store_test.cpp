// The store on real files: what two stores attached to one file do, the
// records it refuses, and the Log's text.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <tuple>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/byte_io.h"
#include "platform/user_prompts.h"
#include "series/dsf_format.h"
#include "series/series_store.h"
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
  std::string Bytes(const std::string& name = "T.DSF") { return dir.Read(name); }
  void Poke(size_t at, std::initializer_list<uint8_t> bytes, const std::string& name = "T.DSF") {
    std::string b = Bytes(name);
    for (uint8_t x : bytes) b[at++] = char(x);
    dir.Write(name, b);
  }
};

int32_t I32At(const std::string& b, size_t at) {
  int32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

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

  EXPECT_EQ(I32At(f.Bytes(), 4), 8);  // 2 root + A: 3 + B: 2 + D: 1
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
    if (I32At(b, at) != -1 && b.substr(at + 4, 2) == std::string("\x01S", 2)) name = at + 4;
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
    EXPECT_EQ(size_t(I32At(f.Bytes(), 4)), st.records) << st.highest;
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

// Runs `act` with the store's writes cut short at write `k` (from 0):
// killed just before it, giving the file as it stood then; or that write
// failing as on a full disk, giving the file as the failure left it.
std::string CutShortAt(Fixture& f, long k, bool killed, const std::function<void()>& act) {
  std::string left;
  {
    testing::FailingCalls fail;
    fail.only = "WriteAt";
    fail.error = ENOSPC;
    if (killed)
      fail.before = [&](const char* name) {
        if (std::string(name) == "WriteAt" && fail.counted() == k) left = f.Bytes();
      };
    else
      fail.failAt = k;
    act();
  }
  return killed ? left : f.Bytes();
}

// A fresh store attached to `bytes` as K.DSF, its messages kept apart.
struct Reattached {
  platform::ScriptedPrompts shown;
  SeriesStore store;
  Reattached(Fixture& f, const std::string& bytes) {
    f.dir.Write("K.DSF", bytes);
    store.AttachDSF(f.Path("K"));
  }
};

// A save cut short at any of its writes: the process killed just before
// it (the file as it stood then), or the write failing as on a full
// disk. Record 0 is written last, so once it counts the change the
// series is there whole; a series saved over in place with its size
// kept holds old or new values, block by block; every other series is
// untouched; and the file attaches as it is, or, after a kill that left
// records past its next free record, repaired as attaching repairs it.
TEST(SaveSafety, AKillOrAFailureAtAnyWriteLeavesASoundFile) {
  struct Case {
    const char* what;
    const char* path;
    int oldHighest, newHighest;  // -1: no such series before
  } cases[] = {
      {"over itself", ".S", 200, 200},
      {"over itself, shorter", ".S", 200, 40},
      {"over itself, longer", ".S", 40, 200},
      {"a new series", ".N", -1, 70},
  };
  auto fill = [](Fixture& f, int c, int highest, int plus) {
    f.store.NewSeries(f.Col(c), false, "");
    for (int i = 0; i <= highest; ++i) f.store.PutVal(f.Col(c), int16_t(i), i + plus);
  };
  {
    for (const Case& c : cases) {
      const std::string trace = c.what;
      // The file before the save, and how many writes the save makes.
      std::string before;
      long writes;
      {
        Fixture f;
        f.store.CreateDSF(f.Path());
        fill(f, 0, 100, 5000);
        f.store.SaveSeries(f.Col(0), ".T");
        if (c.oldHighest >= 0) {
          fill(f, 0, c.oldHighest, 0);
          f.store.SaveSeries(f.Col(0), c.path);
        }
        before = f.Bytes();
        fill(f, 0, c.newHighest, 1000);
        testing::FailingCalls count;
        count.only = "WriteAt";
        f.store.SaveSeries(f.Col(0), c.path);
        ASSERT_FALSE(f.store.FailureFlag) << trace;
        writes = count.counted();
      }
      ASSERT_GE(writes, 2) << trace;
      const int32_t oldCount = I32At(before, 40);
      for (long k = 0; k < writes; ++k) {
        for (bool killed : {true, false}) {
          SCOPED_TRACE(trace + (killed ? ", killed before write " : ", failing write ") +
                       std::to_string(k));
          Fixture f;
          f.dir.Write("T.DSF", before);
          f.store.AttachDSF(f.Path());
          ASSERT_FALSE(f.store.FailureFlag);
          fill(f, 0, c.newHighest, 1000);
          std::string left =
              CutShortAt(f, k, killed, [&] { f.store.SaveSeries(f.Col(0), c.path); });
          if (!killed) {
            EXPECT_TRUE(f.store.FailureFlag);
            ASSERT_FALSE(f.prompts.messages.empty());
            EXPECT_EQ(f.prompts.messages.back(),
                      "I/O error writing " + f.Path("T.DSF") + ": No space left on device");
          }
          ASSERT_FALSE(left.empty());
          // What a fresh store finds there.
          Reattached again(f, left);
          SeriesStore& fresh = again.store;
          platform::ScriptedPrompts& shown = again.shown;
          ASSERT_FALSE(fresh.FailureFlag);
          bool trailing = left.size() / 128 > size_t(I32At(left, 4));
          EXPECT_EQ(shown.messages, trailing ? std::vector<std::string>{"DSF file has been damaged, fixing it:"}
                                             : std::vector<std::string>{});
          ColumnSlot& t = fresh.ColumnSlots[1];
          fresh.OpenSeries(t, ".T");
          ASSERT_FALSE(fresh.FailureFlag);
          for (int i = 0; i <= 100; ++i) ASSERT_EQ(fresh.GetVal(t, int16_t(i)), i + 5000);
          ColumnSlot& s = fresh.ColumnSlots[2];
          bool counted = I32At(left, 40) != oldCount;
          if (counted) {
            fresh.OpenSeries(s, c.path);
            ASSERT_FALSE(fresh.FailureFlag);
            int16_t lo, hi;
            fresh.SeriesIndexRange(s, lo, hi);
            EXPECT_EQ(hi, c.newHighest);
            for (int i = 0; i <= c.newHighest; ++i) ASSERT_EQ(fresh.GetVal(s, int16_t(i)), i + 1000);
          } else if (c.oldHighest == c.newHighest) {
            fresh.OpenSeries(s, c.path);
            ASSERT_FALSE(fresh.FailureFlag);
            for (int i = 0; i <= c.newHighest; ++i) {
              float v = fresh.GetVal(s, int16_t(i));
              ASSERT_TRUE(v == i || v == i + 1000) << i;
            }
          }
          if (counted) { EXPECT_EQ(left.size() / 128, size_t(I32At(left, 4))); }
        }
      }
    }
  }
}

// A new entry, series or DSDir, cut short at any of its writes (killed
// just before it, or the write failing): the tree never names a record
// that is not yet written. Otherwise the next new series would take that
// record, and the two names would share its records from then on.
TEST(SaveSafety, ANewEntryNamesOnlyWrittenRecords) {
  struct Case {
    const char* what;
    bool dsdir;
    int others;  // series in the root besides .T; 3 fills its block
  } cases[] = {
      {"a new series", false, 0},
      {"a new series in a fresh DSDir block", false, 3},
      {"a new DSDir", true, 0},
      {"a new DSDir in a fresh DSDir block", true, 3},
  };
  auto fill = [](SeriesStore& s, ColumnSlot& c, int highest, int plus) {
    s.NewSeries(c, false, "");
    for (int i = 0; i <= highest; ++i) s.PutVal(c, int16_t(i), i + plus);
  };
  auto make = [&](SeriesStore& s, ColumnSlot& c, bool dsdir) {
    if (dsdir) {
      s.MakeDSDir(".N");
    } else {
      fill(s, c, 70, 1000);
      s.SaveSeries(c, ".N");
    }
  };
  for (const Case& c : cases) {
    std::string before;
    long writes;
    {
      Fixture f;
      f.store.CreateDSF(f.Path());
      fill(f.store, f.Col(0), 100, 5000);
      f.store.SaveSeries(f.Col(0), ".T");
      for (int k = 0; k < c.others; ++k) f.store.SaveSeries(f.Col(0), ".O" + std::to_string(k));
      before = f.Bytes();
      testing::FailingCalls count;
      count.only = "WriteAt";
      make(f.store, f.Col(1), c.dsdir);
      ASSERT_FALSE(f.store.FailureFlag) << c.what;
      writes = count.counted();
    }
    for (long k = 0; k < writes; ++k) {
      for (bool killed : {true, false}) {
        SCOPED_TRACE(std::string(c.what) + (killed ? ", killed before write " : ", failing write ") +
                     std::to_string(k));
        Fixture f;
        f.dir.Write("T.DSF", before);
        f.store.AttachDSF(f.Path());
        std::string left = CutShortAt(f, k, killed, [&] { make(f.store, f.Col(1), c.dsdir); });
        ASSERT_FALSE(left.empty());
        Reattached again(f, left);
        SeriesStore& fresh = again.store;
        ASSERT_FALSE(fresh.FailureFlag);
        fresh.ShowDSFTree(true);
        ASSERT_FALSE(fresh.FailureFlag) << "the tree reads whole";
        // Where the entry made it, what it names is whole.
        auto checkNew = [&] {
          bool failure;
          DSDirEntry e;
          fresh.FindDSFEntry(".N", failure, e);
          if (!e.Used()) return;
          if (c.dsdir) {
            ASSERT_TRUE(e.IsDSDir());
            EXPECT_TRUE(fresh.IsDSDirEmpty(e));
            ASSERT_FALSE(fresh.FailureFlag);
            return;
          }
          ColumnSlot& n = fresh.ColumnSlots[3];
          fresh.OpenSeries(n, ".N");
          ASSERT_FALSE(fresh.FailureFlag);
          for (int i = 0; i <= 70; ++i) ASSERT_EQ(fresh.GetVal(n, int16_t(i)), i + 1000);
        };
        checkNew();
        // The next new series gets records of its own.
        fill(fresh, fresh.ColumnSlots[0], 50, 7000);
        fresh.SaveSeries(fresh.ColumnSlots[0], ".M");
        ASSERT_FALSE(fresh.FailureFlag);
        checkNew();
        for (auto [path, highest, plus] : {std::tuple{".M", 50, 7000}, {".T", 100, 5000}}) {
          ColumnSlot& t = fresh.ColumnSlots[1];
          fresh.OpenSeries(t, path);
          ASSERT_FALSE(fresh.FailureFlag) << path;
          for (int i = 0; i <= highest; ++i) ASSERT_EQ(fresh.GetVal(t, int16_t(i)), i + plus) << path;
        }
      }
    }
  }
}

// Each damage below is refused with the message, the flag set, the file
// unchanged and the slot keeping the series it had.
TEST(DamagedFile, RefusedBeforeAnythingChanges) {
  struct Case {
    const char* what;
    size_t at;
    std::vector<uint8_t> bytes;
  } cases[] = {
      // Record 2 is .S's head, 3 and 4 its data records.
      {"data chain loops back", 3 * 128, {3, 0, 0, 0}},
      {"data link past the end", 3 * 128, {9, 0, 0, 0}},
      {"data chain cut short", 3 * 128, {0, 0, 0, 0}},
      {"first data record is record 1", 2 * 128, {1, 0, 0, 0}},
      {"highest beyond the chain", 2 * 128 + 6, {62, 0}},
      {"lowest above highest", 2 * 128 + 6, {20, 0, 30}},
      {"first offset out of a block", 2 * 128 + 8, {31}},
      {"comment longer than its field", 2 * 128 + 9, {109}},
      {"entry name longer than its field", 128 + 8, {26}},
      {"entry kind neither series nor DSDir", 128 + 4 + 30, {7}},
      {"root block links to itself", 128, {1, 0, 0, 0}},
      {"entry record out of the file", 128 + 4, {99, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fixture f;
    f.store.CreateDSF(f.Path());
    f.Fill(0, 0, 40);
    f.store.SaveSeries(f.Col(0), ".S");
    ASSERT_FALSE(f.store.FailureFlag);
    std::string b = f.Bytes();
    for (size_t i = 0; i < c.bytes.size(); ++i) b[c.at + i] = char(c.bytes[i]);
    f.dir.Write("T.DSF", b);
    f.Fill(1, 7, 7);
    for (int op = 0; op < 4; ++op) {
      f.prompts.messages.clear();
      f.store.FailureFlag = false;
      switch (op) {
        case 0: f.store.OpenSeries(f.Col(1), ".S"); break;
        case 1: f.store.SaveSeries(f.Col(0), ".S"); break;
        case 2: f.store.ListSeriesDetails("&"); break;
        case 3: f.store.SetXSeries("", "&"); break;
      }
      EXPECT_TRUE(f.store.FailureFlag) << op;
      ASSERT_FALSE(f.prompts.messages.empty()) << op;
      EXPECT_EQ(f.prompts.messages[0], "DSF file has been damaged") << op;
      EXPECT_EQ(f.Bytes(), b) << op;
    }
    EXPECT_EQ(f.store.GetVal(f.Col(1), 7), 7);
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

}  // namespace
}  // namespace krv::series
