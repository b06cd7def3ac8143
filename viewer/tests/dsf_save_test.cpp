// Saving trajectories as series, into a current-layout file through the
// series store and into an old-layout file in its own layout.
#include <gtest/gtest.h>

#include <algorithm>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/little_endian.h"
#include "platform/user_prompts.h"
#include "series/dsf_format.h"
#include "testing/cut_short.h"
#include "testing/failing_calls.h"
#include "testing/temp_dir.h"
#include "viewer/save_to_dsf.h"
#include "viewer/tests/ttr_fixture.h"
#include "viewer/ttr_format.h"

namespace krv::view {

using platform::GetF32;
using platform::GetI16;
using platform::GetI32;
using platform::PutI16;

namespace {

using krv::testing::TempDir;
using series::RecordBytes;

const char* const kLabel = ">12-10-2026 10: 5:29 RUN1";

struct Fixture {
  TempDir dir;
  platform::ScriptedPrompts prompts;
  ViewerState viewer;
  series::SeriesStore store;

  // RUN1.TTR: steps 0..jtmax at _T = 0.5 jt; variable i is 100 i + jt.
  explicit Fixture(std::vector<std::string> names = {"_X.TANK.LEVEL", "_X.TANK.FLOW"},
                   int32_t jtmax = 100) {
    testing::TTRSpec desc;
    desc.d = int(names.size()) - 1;
    desc.jtmax = jtmax;
    desc.label = kLabel;
    desc.value = [](int32_t jt, int i) { return float(100 * i + jt); };
    dir.Write("RUN1.TTR", testing::MakeTTRBytes(desc));
    std::string vnm = std::string(kLabel) + "\r\n";
    for (size_t i = 0; i < names.size(); ++i) {
      char code[32];
      std::snprintf(code, sizeof code, "%4zu IO  ", i);
      vnm += code + names[i] + "\r\n";
    }
    dir.Write("RUN1.VNM", vnm);
    EXPECT_EQ(viewer.Attach(dir.File("RUN1.TTR")), AttachStatus::Attached);
    for (size_t i = 0; i < names.size(); ++i) viewer.AddToDisplayList(int(i));
  }

  // A whole save as the window runs it, answering the questions: the file
  // is created when missing, the root written over when it exists.
  std::string Save(const std::string& file, const std::string& root, bool actual) {
    DSFSave save(viewer, store, actual);
    bool missing = false;
    if (!save.Open(dir.File(file), missing)) {
      if (!missing || !save.Create(dir.File(file))) return "not opened";
    }
    std::string name = root;
    if (!save.NameAcceptable(name)) return "name refused";
    if (save.MakeRoot(name) == DSFSave::RootResult::Failed) return "DSDir ERROR";
    save.WriteSeries();
    return save.Finish();
  }

  RecordBytes Record(const std::string& file, int n) {
    std::string b = dir.Read(file);
    RecordBytes r{};
    std::copy(b.begin() + 128 * n, b.begin() + 128 * (n + 1), r.begin());
    return r;
  }
  series::DSDirBlock Dir(const std::string& file, int n) {
    series::DSDirBlock b;
    EXPECT_TRUE(series::DecodeDirBlock(Record(file, n), b));
    return b;
  }
  series::SeriesHeadRecord Head(const std::string& file, int n) {
    series::SeriesHeadRecord h;
    EXPECT_TRUE(series::DecodeHead(Record(file, n), h));
    return h;
  }
  int32_t Link(const std::string& file, int n) { return GetI32(Record(file, n)); }
};

TEST(DSFSaveTest, Run1IsLaidOutRecordByRecordAndATransformedResaveReusesIt) {
  Fixture f;
  f.viewer.AddToDisplayList(0);  // listed twice: saved once
  ASSERT_EQ(f.Save("RES.DSF", "RUN1", true), "");
  ASSERT_EQ(f.dir.Read("RES.DSF").size(), 20u * 128);
  EXPECT_EQ(f.Dir("RES.DSF", 1).entries[0], (series::DSDirEntry{2, "RUN1", series::kDSDirKind}));
  series::DSDirBlock run1 = f.Dir("RES.DSF", 2);
  EXPECT_EQ(run1.entries[0], (series::DSDirEntry{3, "_T", series::kSeriesKind}));
  EXPECT_EQ(run1.entries[1], (series::DSDirEntry{8, "X", series::kDSDirKind}));
  EXPECT_EQ(f.Dir("RES.DSF", 8).entries[0].record, 9);
  series::DSDirBlock tank = f.Dir("RES.DSF", 9);
  EXPECT_EQ(tank.entries[0], (series::DSDirEntry{10, "LEVEL", series::kSeriesKind}));
  EXPECT_EQ(tank.entries[1], (series::DSDirEntry{15, "FLOW", series::kSeriesKind}));
  for (int head : {3, 10, 15}) {
    series::SeriesHeadRecord h = f.Head("RES.DSF", head);
    EXPECT_EQ(h.firstData, head + 1);
    EXPECT_EQ(h.header.base, 0);
    EXPECT_EQ(h.header.highest, 100);
    EXPECT_EQ(h.header.firstOffset, 0);
    EXPECT_EQ(h.header.xHead, head == 3 ? 0 : 3);
    EXPECT_EQ(h.header.comment, std::string("From problem label ") + kLabel);
    EXPECT_EQ(f.Link("RES.DSF", head + 3), head + 4);
    EXPECT_EQ(f.Link("RES.DSF", head + 4), 0);
  }
  series::DSFHeaderRecord header;
  ASSERT_TRUE(series::DecodeHeader(f.Record("RES.DSF", 0), header));
  EXPECT_EQ(header.name, "/RES.DSF");
  EXPECT_EQ(header.nextFree, 20);

  // The series store opens it with _T as X.
  series::SeriesStore reader;
  reader.AttachDSF(f.dir.File("RES"));
  ASSERT_FALSE(reader.FailureFlag);
  series::ColumnSlot t, level;
  reader.OpenSeries(t, ".RUN1._T");
  reader.OpenSeries(level, ".RUN1.X.TANK.LEVEL");
  ASSERT_FALSE(reader.FailureFlag);
  EXPECT_EQ(reader.GetVal(t, 40), 20.0f);
  EXPECT_EQ(reader.GetVal(level, 40), 40.0f);
  reader.CloseDSF();

  // Density 2, transformed, written over: same records, chains cut to 2.
  f.viewer.Range().density = 2;
  f.viewer.Range().Update();
  ASSERT_EQ(f.Save("RES.DSF", "RUN1", false), "");
  EXPECT_EQ(f.dir.Read("RES.DSF").size(), 20u * 128);
  for (int head : {3, 10, 15}) {
    series::SeriesHeadRecord h = f.Head("RES.DSF", head);
    EXPECT_EQ(h.header.highest, 50);
    EXPECT_EQ(f.Link("RES.DSF", head + 1), head + 2);
    EXPECT_EQ(f.Link("RES.DSF", head + 2), 0);
  }
}

TEST(DSFSaveTest, TransformedIndicesTakeTheDensityStepsAndHi) {
  Fixture f;
  TimeRange& r = f.viewer.Range();
  r.lo = 10;
  r.hi = 20;
  r.density = 3;
  r.Update();
  ASSERT_EQ(f.Save("RES.DSF", "RUN1", false), "");
  series::SeriesStore reader;
  reader.AttachDSF(f.dir.File("RES"));
  series::ColumnSlot t, flow;
  reader.OpenSeries(t, ".RUN1._T");
  reader.OpenSeries(flow, ".RUN1.X.TANK.FLOW");
  const int steps[] = {10, 13, 16, 19, 20};
  for (int k = 0; k < 5; ++k) {
    EXPECT_EQ(reader.GetVal(t, int16_t(k)), 0.5f * float(steps[k])) << k;
    EXPECT_EQ(reader.GetVal(flow, int16_t(k)), 100.0f + float(steps[k])) << k;
  }
  EXPECT_EQ(t.Header().highest, 4);
}

TEST(DSFSaveTest, BatchesHoldAtMost16384Blocks) {
  struct Case {
    int32_t hi;
    int size;
  } cases[] = {{29, 16384}, {30, 8192}, {0, 16384}, {32759, 16384 / 1057}};
  for (const Case& c : cases) {
    TimeRange r;
    r.hi = c.hi;
    r.Update();
    EXPECT_EQ(BatchSize(r), c.size) << c.hi;
  }
  // PutVal into an empty series at 40, then at 5: two blocks put in front.
  series::SeriesStore store;
  series::ColumnSlot s;
  store.NewSeries(s, false, "");
  store.PutVal(s, 40, 1.0);
  store.PutVal(s, 5, 2.0);
  EXPECT_EQ(s.Header().base, -22);
  EXPECT_EQ(s.Header().firstOffset, 27);
  EXPECT_EQ(s.Header().highest, 40);
  EXPECT_EQ(store.GetVal(s, 40), 1.0f);
}

TEST(DSFSaveTest, NamesThatCollideOrDoNotFitAreReportedAndTheRestSaved) {
  Fixture f({"_X.TANK.FLOW", "_X.TANK.FLOW_IN", "_X.TANK_FLOW", "_X." + std::string(26, 'L'),
             "_X." + std::string(90, 'P')});
  std::string msg = f.Save("RES.DSF", "RUN1", true);
  EXPECT_EQ(msg.rfind("4 series not saved in " + f.dir.File("RES.DSF") + ":", 0), 0u) << msg;
  EXPECT_NE(msg.find(".RUN1.X.TANK.FLOW "), std::string::npos) << msg;  // FLOW is a DSDir
  series::SeriesStore reader;
  reader.AttachDSF(f.dir.File("RES"));
  series::ColumnSlot in;
  reader.OpenSeries(in, ".RUN1.X.TANK.FLOW.IN");
  EXPECT_FALSE(reader.FailureFlag);
  EXPECT_EQ(reader.GetVal(in, 3), 103.0f);
}

// An old-layout file with an empty root: bytes 0..3 and 6..127 of the
// header are the file's own.
std::string OldFile(int16_t nextFree, int32_t records) {
  std::string h(128, char(0x5A));
  h.replace(0, 4, "OLD!");
  PutI16(h, 4, nextFree);
  std::string root(128, '\0');
  for (int k = 0; k < 4; ++k) PutI16(root, 4 + 31 * k, -1);  // no entry
  return h + root + std::string(size_t(records - 2) * 128, '\0');
}

TEST(DSFSaveTest, RootNamesBeyondTheLayoutsLimitAreRefused) {
  struct Case {
    size_t length;
    bool old;
    bool ok;
  } cases[] = {{25, false, true}, {26, false, false}, {27, true, true}, {28, true, false}};
  for (const Case& c : cases) {
    Fixture f;
    f.dir.Write("OLD.DSF", OldFile(2, 2));
    DSFSave save(f.viewer, f.store, true);
    bool missing;
    ASSERT_TRUE(c.old ? save.Open(f.dir.File("OLD.DSF"), missing)
                      : save.Create(f.dir.File("NEW.DSF")));
    std::string name(c.length, 'N');
    EXPECT_EQ(save.NameAcceptable(name), c.ok) << c.length;
  }
  Fixture f;
  DSFSave save(f.viewer, f.store, true);
  ASSERT_TRUE(save.Create(f.dir.File("NEW.DSF")));
  for (const char* bad : {"A.B", "A*", "A?", "&", ""}) {
    std::string name = bad;
    EXPECT_FALSE(save.NameAcceptable(name)) << bad;
  }
  std::string spaced = "  RUN 2";
  EXPECT_TRUE(save.NameAcceptable(spaced));
  EXPECT_EQ(spaced, "RUN");
}

TEST(OldDSFTest, SavesInItsOwnLayoutAndKeepsTheHeader) {
  Fixture f({"_X.TANK.LEVEL", "_X.TANK.FLOW", "_X." + std::string(27, 'L')});
  f.dir.Write("OLD.DSF", OldFile(2, 2));
  ASSERT_EQ(f.Save("OLD.DSF", "RUN1", true), "");
  std::string b = f.dir.Read("OLD.DSF");
  ASSERT_EQ(b.size(), 25u * 128);
  EXPECT_EQ(b.substr(0, 4), "OLD!");
  EXPECT_EQ(GetI16(b, 4), 25);
  EXPECT_EQ(b.substr(6, 122), std::string(122, char(0x5A)));
  OldDSDirBlock root, run1, tank;
  ASSERT_TRUE(DecodeOldDirBlock(f.Record("OLD.DSF", 1), root));
  EXPECT_EQ(root.entries[0].record, 2);
  EXPECT_EQ(root.entries[0].name, "RUN1");
  ASSERT_TRUE(DecodeOldDirBlock(f.Record("OLD.DSF", 2), run1));
  EXPECT_EQ(run1.entries[0].record, 3);
  EXPECT_EQ(run1.entries[1].record, 8);
  ASSERT_TRUE(DecodeOldDirBlock(f.Record("OLD.DSF", 9), tank));
  EXPECT_EQ(tank.entries[0].name, "LEVEL");
  EXPECT_EQ(tank.entries[0].record, 10);
  EXPECT_EQ(tank.entries[1].record, 15);
  OldSeriesHead h;
  ASSERT_TRUE(DecodeOldHead(f.Record("OLD.DSF", 10), h));
  EXPECT_EQ(h.firstData, 11);
  EXPECT_EQ(h.kind, 1);
  EXPECT_EQ(h.base, 0);
  EXPECT_EQ(h.highest, 100);
  EXPECT_EQ(h.offset, 0);
  EXPECT_EQ(h.xHead, 3);
  EXPECT_EQ(h.comment, std::string("From problem label ") + kLabel);
  RecordBytes data = f.Record("OLD.DSF", 11);
  EXPECT_EQ(GetI16(data), 12);
  EXPECT_EQ(data[3], 2);
  EXPECT_EQ(GetF32(data, 4 + 4 * 7), 7.0f);
  // The 27-character name fits this layout (not the current one).
  ASSERT_TRUE(DecodeOldDirBlock(f.Record("OLD.DSF", 8), tank));
  EXPECT_EQ(tank.entries[1].name, std::string(27, 'L'));

  // A shorter save over it reuses the chains' first records.
  f.viewer.Range().density = 4;
  f.viewer.Range().Update();
  ASSERT_EQ(f.Save("OLD.DSF", "RUN1", false), "");
  EXPECT_EQ(f.dir.Read("OLD.DSF").size(), 25u * 128);
  ASSERT_TRUE(DecodeOldHead(f.Record("OLD.DSF", 10), h));
  EXPECT_EQ(h.highest, 25);
  EXPECT_EQ(GetI16(f.Record("OLD.DSF", 11)), 0);
}

// Another program's change of the old-layout file at `path`, under its
// lock: the root gets a DSDir `name` in entry `slot`, pointing at a block
// at the file's end, written in two steps with a pause between (the
// entry first, pointing past the end; then the block and the next free
// record). The child has the lock when this returns.
pid_t AddDSDirUnderWay(const std::string& path, const std::string& name, int slot) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  pid_t child = ::fork();
  if (child != 0) {
    char x = 0;
    bool locked = child > 0 && ::read(ready[0], &x, 1) == 1;
    ::close(ready[0]);
    ::close(ready[1]);
    return locked ? child : -1;
  }
  int fd = ::open(path.c_str(), O_RDWR);
  if (fd < 0 || ::flock(fd, LOCK_EX) != 0 || ::write(ready[1], "x", 1) != 1) ::_exit(1);
  RecordBytes head, r1;
  if (::pread(fd, head.data(), 128, 0) != 128 || ::pread(fd, r1.data(), 128, 128) != 128) ::_exit(1);
  off_t end = ::lseek(fd, 0, SEEK_END);
  OldDSDirBlock root;
  DecodeOldDirBlock(r1, root);
  root.entries[size_t(slot)] = OldDSDirEntry{int16_t(end / 128), name, series::kDSDirKind};
  r1 = EncodeOldDirBlock(root);
  ::usleep(150 * 1000);
  if (::pwrite(fd, r1.data(), 128, 128) != 128) ::_exit(1);
  ::usleep(150 * 1000);  // half made: the entry points past the end
  RecordBytes fresh = EncodeOldDirBlock(OldDSDirBlock());
  PutI16(head, 4, int16_t(end / 128 + 1));
  if (::pwrite(fd, fresh.data(), 128, end) != 128 || ::pwrite(fd, head.data(), 128, 0) != 128) ::_exit(1);
  ::_exit(0);  // lets the lock go
}

// Attaching and looking a DSDir up wait for a change another program has
// under way, and then see all of it: never the file before it, nor the
// entry it wrote first pointing past the file's end.
TEST(OldDSFTest, ReadsWaitForAChangeUnderWayInAnotherProgram) {
  TempDir dir;
  dir.Write("OLD.DSF", OldFile(2, 2));
  const std::string path = dir.File("OLD.DSF");
  OldDSFStore old;
  pid_t child = AddDSDirUnderWay(path, "FIRST", 0);
  ASSERT_GT(child, 0);
  EXPECT_TRUE(old.AttachDSFOld(path)) << old.Error();
  EXPECT_EQ(old.LookDSDir(".FIRST"), OldDSFStore::DirResult::Existed) << old.Error();
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_EQ(status, 0);

  child = AddDSDirUnderWay(path, "SECOND", 1);
  ASSERT_GT(child, 0);
  EXPECT_EQ(old.LookDSDir(".SECOND"), OldDSFStore::DirResult::Existed) << old.Error();
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(old.NextFree(), 4);
  old.CloseDSFOld();
}

TEST(OldDSFTest, AFileOfNeitherLayoutIsRefusedUntouched) {
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"text", std::string(300, 'x')},
      {"short", "abc"},
      {"next free beyond the end", OldFile(9, 4)},
      {"next free below 2", OldFile(1, 4)},
      {"a root entry pointing outside the file", OldFile(3, 3)},
  };
  std::string& outside = cases[4].bytes;
  outside[128 + 4] = 50;
  outside[128 + 5] = 0;
  outside[128 + 6] = 1;
  outside[128 + 7] = 'A';
  for (const Case& c : cases) {
    Fixture f;
    f.dir.Write("BAD.DSF", c.bytes);
    EXPECT_EQ(f.Save("BAD.DSF", "RUN1", true), "not opened") << c.what;
    EXPECT_EQ(f.dir.Read("BAD.DSF"), c.bytes) << c.what;
    ASSERT_EQ(f.prompts.messages.size(), 1u) << c.what;
    EXPECT_NE(f.prompts.messages[0].find(f.dir.File("BAD.DSF")), std::string::npos) << c.what;
  }
}

RecordBytes RecordAt(const std::string& bytes, int n) {
  RecordBytes r{};
  std::copy(bytes.begin() + 128 * n, bytes.begin() + 128 * (n + 1), r.begin());
  return r;
}

// Damage below the root, which the attach does not walk: a DSDir entry
// naming the header (record 0) as its block. Every walk through it is
// refused as damage, naming the file, and nothing is written.
TEST(OldDSFTest, ADSDirEntryNamingTheHeaderIsDamage) {
  std::string bytes = OldFile(3, 3);
  OldDSDirBlock root, r;
  ASSERT_TRUE(DecodeOldDirBlock(RecordAt(bytes, 1), root));
  root.entries[0] = OldDSDirEntry{2, "R", series::kDSDirKind};
  r = root;
  r.entries[0] = OldDSDirEntry{0, "X", series::kDSDirKind};
  RecordBytes rb = EncodeOldDirBlock(root), xb = EncodeOldDirBlock(r);
  bytes.replace(128, 128, reinterpret_cast<const char*>(rb.data()), 128);
  bytes.replace(256, 128, reinterpret_cast<const char*>(xb.data()), 128);
  TempDir dir;
  dir.Write("D.DSF", bytes);
  series::SeriesStore store;
  store.MessagesOn = false;
  series::ColumnSlot slot;
  store.NewSeries(slot, false, "c");
  store.PutVal(slot, 0, 1.0);
  OldDSFStore old;
  ASSERT_TRUE(old.AttachDSFOld(dir.File("D.DSF"))) << old.Error();
  EXPECT_EQ(old.MakeDSDirOld(".R.X.Y"), OldDSFStore::DirResult::Failed);
  EXPECT_NE(old.Error().find("D.DSF is damaged"), std::string::npos) << old.Error();
  EXPECT_FALSE(old.SaveSeriesOld(slot, ".R.X.A", "c", {}));
  EXPECT_NE(old.Error().find("D.DSF is damaged"), std::string::npos) << old.Error();
  store.FreeSeries(slot);
  old.CloseDSFOld();
  EXPECT_EQ(dir.Read("D.DSF"), bytes);
}

// Plotvane's save cut short at any of its system calls, from attaching
// the file to closing it: the process killed just before the call, or the
// call failing as on a full disk. Whoever attaches the file afterwards
// finds it exactly as before the save or exactly as the whole save leaves
// it: a root with all its series, new or written over, longer or
// shorter, or none of them; never a root with some series old and some
// new. A save that reports nothing is there whole; one that reports its
// series not saved has left the file as it was. In either layout.
TEST(DSFSaveTest, AKillOrAFullDiskAtAnyCallLeavesTheWholeSaveOrNone) {
  struct Case {
    const char* what;
    bool old;
    const char* firstRoot;  // saved before, at density 2
    const char* root;       // this save, at `density`
    int density;
  } cases[] = {
      {"a new root", false, "RUN0", "RUN1", 1},
      {"over the root, longer", false, "RUN1", "RUN1", 1},
      {"over the root, shorter", false, "RUN1", "RUN1", 4},
      {"old layout, a new root", true, "RUN0", "RUN1", 1},
      {"old layout, over the root, longer", true, "RUN1", "RUN1", 1},
  };
  const std::time_t clock = 1760000000;
  auto prepare = [&](Fixture& f, const Case& c) {
    f.store.Now = [=] { return clock; };
    if (c.old) f.dir.Write("RES.DSF", OldFile(2, 2));
    f.viewer.Range().density = 2;
    f.viewer.Range().Update();
    ASSERT_EQ(f.Save("RES.DSF", c.firstRoot, false), "");
    f.viewer.Range().density = c.density;
    f.viewer.Range().Update();
  };
  auto recover = [&](Fixture& f, const Case& c, const std::vector<krv::testing::FileState>& left) {
    krv::testing::PutState(f.dir.File("K.DSF"), left[0]);
    krv::testing::PutState(f.dir.File("K.DSF-journal"), left[1]);
    if (c.old) {
      OldDSFStore old;
      EXPECT_TRUE(old.AttachDSFOld(f.dir.File("K.DSF"))) << old.Error();
      EXPECT_TRUE(old.CloseDSFOld()) << old.Error();
    } else {
      platform::ScriptedPrompts shown;
      series::SeriesStore store;
      store.AttachDSF(f.dir.File("K"));
      EXPECT_FALSE(store.FailureFlag);
      EXPECT_TRUE(shown.messages.empty()) << shown.messages.front();
    }
    EXPECT_FALSE(f.dir.Has("K.DSF-journal"));
    return f.dir.Read("K.DSF");
  };
  for (const Case& c : cases) {
    std::string before, after;
    long calls;
    {
      Fixture f;
      prepare(f, c);
      before = f.dir.Read("RES.DSF");
      std::string said;
      calls = krv::testing::CountCalls([&] { said = f.Save("RES.DSF", c.root, false); });
      ASSERT_EQ(said, "") << c.what;
      after = f.dir.Read("RES.DSF");
      ASSERT_NE(before, after) << c.what;
    }
    krv::testing::CutTally tally = krv::testing::ForEachCut(calls, [&](long k, bool killed) {
      SCOPED_TRACE(std::string(c.what) + (killed ? ", killed before call " : ", call failing: ") + std::to_string(k));
      Fixture f;
      f.store.Now = [=] { return clock; };
      f.dir.Write("RES.DSF", before);
      f.viewer.Range().density = c.density;
      f.viewer.Range().Update();
      std::string said;
      std::vector<krv::testing::FileState> left =
          krv::testing::CutShortAt(k, killed, {f.dir.File("RES.DSF"), f.dir.File("RES.DSF-journal")},
                                   [&] { said = f.Save("RES.DSF", c.root, false); });
      EXPECT_TRUE(left[0]);
      if (!left[0]) return false;
      std::string found = recover(f, c, left);
      EXPECT_TRUE(found == before || found == after) << "mixed: " << found.size() / 128 << " records";
      if (!killed) {
        EXPECT_EQ(found, said.empty() ? after : before) << said;
      }
      return found == before;
    });
    EXPECT_GT(tally.olds, 0) << c.what;
    EXPECT_GT(tally.news, 0) << c.what;
  }
}

// A link that runs one series' chain into another's records (here .R.A's
// first data record, now one of .R.B's): a save over either would write
// over the other's values, and linking them to an X writes into their
// heads. Each is refused, naming the series, and the file is left as it
// was; a series elsewhere is saved.
TEST(OldDSFTest, ASeriesRunningIntoAnothersRecordsIsRefused) {
  TempDir dir;
  dir.Write("O.DSF", OldFile(2, 2));
  series::SeriesStore store;
  store.MessagesOn = false;
  series::ColumnSlot slot;
  store.NewSeries(slot, false, "c");
  for (int i = 0; i <= 70; ++i) store.PutVal(slot, int16_t(i), float(i));
  int16_t aHead, bData;
  {
    OldDSFStore old;
    ASSERT_TRUE(old.AttachDSFOld(dir.File("O.DSF"))) << old.Error();
    ASSERT_EQ(old.MakeDSDirOld(".R"), OldDSFStore::DirResult::Made);
    ASSERT_TRUE(old.SaveSeriesOld(slot, ".R.A", "c", {}));
    ASSERT_TRUE(old.SaveSeriesOld(slot, ".R.B", "c", {}));
    ASSERT_TRUE(old.CloseDSFOld());
    OldDSDirBlock r;
    ASSERT_TRUE(DecodeOldDirBlock(RecordAt(dir.Read("O.DSF"), 2), r));
    aHead = r.entries[0].record;
    OldSeriesHead b;
    ASSERT_TRUE(DecodeOldHead(RecordAt(dir.Read("O.DSF"), r.entries[1].record), b));
    bData = b.firstData;
  }
  std::string bytes = dir.Read("O.DSF");
  bytes[size_t(aHead) * 128] = char(bData + 1);  // A's first data record: B's second
  bytes[size_t(aHead) * 128 + 1] = 0;
  dir.Write("O.DSF", bytes);
  OldDSFStore old;
  ASSERT_TRUE(old.AttachDSFOld(dir.File("O.DSF"))) << old.Error();
  for (const char* path : {".R.A", ".R.B"}) {
    EXPECT_FALSE(old.SaveSeriesOld(slot, path, "c", {})) << path;
    EXPECT_NE(old.Error().find(std::string("O.DSF is damaged (") + path + ")"), std::string::npos) << old.Error();
  }
  EXPECT_FALSE(old.SetXSeriesOld(store, "", ".R.&"));
  EXPECT_NE(old.Error().find("is damaged"), std::string::npos) << old.Error();
  EXPECT_EQ(dir.Read("O.DSF"), bytes);
  EXPECT_TRUE(old.SaveSeriesOld(slot, ".N", "c", {})) << old.Error();
  EXPECT_TRUE(old.CloseDSFOld());
  store.FreeSeries(slot);
}

TEST(OldDSFTest, StopsBeforeTheRecordNumbersWrap) {
  Fixture f;
  f.dir.Write("FULL.DSF", OldFile(32764, 32764));
  std::string msg = f.Save("FULL.DSF", "RUN1", true);
  // _T needs 7 records, one DSDir fits, the rest has no room.
  EXPECT_EQ(msg.rfind("3 series not saved", 0), 0u) << msg;
  std::string b = f.dir.Read("FULL.DSF");
  int16_t next = GetI16(b, 4);
  EXPECT_EQ(next, 32766);
  EXPECT_EQ(b.size(), size_t(next) * 128);
  OldDSFStore again;  // still a sound file of its layout
  EXPECT_TRUE(again.AttachDSFOld(f.dir.File("FULL.DSF"))) << again.Error();
}

}  // namespace
}  // namespace krv::view
