// The solver's data-series store reader and writer against the series
// library: stores the library writes read the same through both, the
// solver's writes read back by the library, damaged stores refused and never
// followed, and a change of either cut short rolled back alike by both.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/little_endian.h"
#include "platform/user_prompts.h"
#include "series/dsf_format.h"
#include "series/series_store.h"
#include "series/tests/alternating_saves.h"
#include "runtime/tests/solver_verdicts.h"
#include "testing/cut_short.h"
#include "testing/temp_dir.h"

extern "C" {
int KrvProbeSeries(const char* file, const char* path, char* text, int room, int* used);
int KrvWriteOneValues(const char* file, const char* paths, const double* values, int count,
                      char* text, int room, int* used);
}

namespace krv::rt {
namespace {

using series::ColumnSlot;
using series::SeriesStore;

using Probe = SolverAnswer;

Probe ProbeSeries(const std::string& file, const std::string& path) {
  std::vector<char> buf(1 << 16);
  int used = 0;
  Probe p;
  p.code = KrvProbeSeries(file.c_str(), path.c_str(), buf.data(), int(buf.size()), &used);
  p.text.assign(buf.data(), size_t(std::min(used, int(buf.size()))));
  return p;
}


struct Shape {
  std::string path;
  std::vector<std::pair<int, double>> values;
};

std::vector<Shape> Shapes() {
  std::vector<Shape> s = {
      {".A.EMPTY", {}},
      {".A.ONE", {{0, 2.5}}},
      {".A.NEG", {}},
      {".A.GAPS", {}},
      {".A.HIGH", {{32000, -1.25}, {31990, 7}}},
      {".A.LONG", {}},
      {".A.TINY", {{3, 1e-39}, {4, 1e39}, {5, -0.0}}},
      {".A.B.C.D.DEEP", {{1, 1}, {2, 2}}},
      {".Top", {{0, 1}}},
  };
  for (int i = -40; i <= -10; ++i) s[2].values.push_back({i, i * 0.5});
  for (int i = 0; i <= 200; i += 3) s[3].values.push_back({i, i * 1.5 + 0.1});
  for (int i = 0; i <= 500; ++i) s[5].values.push_back({i, std::sin(i)});
  return s;
}

// The shapes, with DSDir A chained over several blocks and the records
// reused by an erase and a longer save.
void WriteShapes(const std::string& file_no_ext) {
  platform::ScriptedPrompts prompts;
  SeriesStore store;
  store.CreateDSF(file_no_ext);
  ColumnSlot& slot = store.ColumnSlots[0];
  auto save = [&](const Shape& sh) {
    for (size_t dot = sh.path.find('.', 1); dot != std::string::npos; dot = sh.path.find('.', dot + 1))
      store.MakeDSDir(sh.path.substr(0, dot), false);
    store.NewSeries(slot, false, "comment of " + sh.path);
    for (const auto& [i, v] : sh.values) store.PutVal(slot, int16_t(i), v);
    store.SaveSeries(slot, sh.path);
    ASSERT_FALSE(store.FailureFlag) << sh.path;
    store.FreeSeries(slot);
  };
  save({".A.GONE", {{0, 1}}});
  for (const Shape& sh : Shapes()) save(sh);
  store.EraseSeries(".A.GONE");
  Shape longer = Shapes()[1];
  for (int i = 1; i < 80; ++i) longer.values.push_back({i, i});
  save(longer);  // ONE again, over more blocks
  store.CloseDSF();
}

std::vector<std::string> Paths() {
  std::vector<std::string> p;
  for (const Shape& s : Shapes()) p.push_back(s.path);
  for (const char* extra : {".a.gaps", ".A.B.C.D.deep", ".A.GONE", ".A.B", ".NONE", ".A.NEG.X", ".top"})
    p.push_back(extra);
  return p;
}

TEST(DsfCross, StoresTheLibraryWritesReadTheSameThroughTheSolver) {
  testing::TempDir dir;
  WriteShapes(dir.File("S"));
  for (const std::string& path : Paths()) {
    SCOPED_TRACE(path);
    Probe lib = LibrarySeries(dir.File("S"), path), rt = ProbeSeries(dir.File("S.DSF"), path);
    EXPECT_EQ(rt.code, lib.code) << rt.text;
    if (lib.code == 0) {
      EXPECT_EQ(rt.text, lib.text);
    }
  }
  EXPECT_EQ(ProbeSeries(dir.File("S.DSF"), ".A.ONE").text.substr(0, 5), "0 79 ");
}

TEST(DsfCross, TheSolversWriteIsReadBackByTheLibrary) {
  testing::TempDir dir;
  WriteShapes(dir.File("S"));
  {
    platform::ScriptedPrompts prompts;
    SeriesStore store;
    store.AttachDSF(dir.File("S"));
    store.SetXSeries(".A.GAPS", ".A.LONG");
    ASSERT_FALSE(store.FailureFlag);
  }
  const std::string before = dir.Read("S.DSF");
  const std::string file = dir.File("S.DSF");
  std::vector<char> buf(4096);
  int used = 0;

  // A missing series: refused, nothing written.
  const double two[] = {1.0, 2.0};
  EXPECT_EQ(KrvWriteOneValues(file.c_str(), ".A.LONG\n.A.NOPE", two, 2, buf.data(), int(buf.size()), &used), 1);
  EXPECT_EQ(std::string(buf.data(), size_t(used)), ".A.NOPE is not there");
  EXPECT_EQ(dir.Read("S.DSF"), before);

  double values[] = {-3.75, 1e-40};
  ASSERT_EQ(KrvWriteOneValues(file.c_str(), ".A.LONG\n.a.empty", values, 2, buf.data(), int(buf.size()),
                              &used), 0) << std::string(buf.data(), size_t(used));
  const std::string after = dir.Read("S.DSF");
  EXPECT_EQ(after.size(), before.size());

  platform::ScriptedPrompts prompts;
  SeriesStore store;
  store.AttachDSF(dir.File("S"));  // read-write: a store grown or damaged would be "fixed" here
  ASSERT_FALSE(store.FailureFlag);
  EXPECT_TRUE(prompts.messages.empty());
  ColumnSlot& slot = store.ColumnSlots[0];
  store.OpenSeries(slot, ".A.LONG");
  ASSERT_FALSE(store.FailureFlag);
  EXPECT_EQ(store.GetVal(slot, 0), -3.75f);
  int16_t lo, hi;
  store.SeriesIndexRange(slot, lo, hi);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 0);
  EXPECT_EQ(slot.Header().xHead, 0);
  EXPECT_EQ(slot.Header().comment, "comment of .A.LONG");
  EXPECT_GE(slot.Header().stamp.year, 2020);
  EXPECT_EQ(slot.BlockCount(), 1);
  store.OpenSeries(store.ColumnSlots[1], ".A.EMPTY");
  EXPECT_EQ(store.GetVal(store.ColumnSlots[1], 0), 0.0f);  // below a single's range

  // Every other series reads as before.
  for (const std::string& path : Paths()) {
    if (path == ".A.LONG" || path == ".A.EMPTY") continue;
    testing::TempDir old;
    old.Write("S.DSF", before);
    EXPECT_EQ(LibrarySeries(dir.File("S"), path).text, LibrarySeries(old.File("S"), path).text) << path;
  }
  // And the library goes on saving into it.
  store.NewSeries(store.ColumnSlots[2], false, "");
  for (int i = 0; i < 40; ++i) store.PutVal(store.ColumnSlots[2], int16_t(i), i);
  store.SaveSeries(store.ColumnSlots[2], ".A.MORE");
  ASSERT_FALSE(store.FailureFlag);
  store.CloseDSF();
  EXPECT_EQ(ProbeSeries(file, ".A.LONG").text, "0 0 " + CellBits(-3.75f));
  EXPECT_EQ(ProbeSeries(file, ".A.MORE").text.substr(0, 5), "0 39 ");
}

// Random damage: the solver's reader refuses or reads, never crashes, and
// where both readers accept a series they read the same values.
// The solver reading a store (open, read, close) while another program
// saves the series over itself again and again, two generations in turn:
// every read shows one save whole, never a mix of the two, never refused.
TEST(DsfCross, TheSolverReadsOneWholeSaveOfAnotherProgram) {
  using namespace std::chrono_literals;
  const series::Generations gens{{62, 3100}};
  std::string whole[2];
  for (int g = 1; g <= 2; ++g) {
    whole[g - 1] = "0 " + std::to_string(gens.lengths[g - 1] - 1);
    for (int i = 0; i < gens.lengths[g - 1]; ++i) whole[g - 1] += " " + CellBits(float(g));
  }
  testing::TempDir dir;
  ASSERT_TRUE(series::CreateGenerationOne(dir, gens));
  testing::Program writer = series::StartAlternatingSaves(dir, gens, 120);
  int seen[3] = {0, 0, 0};  // by generation; 0: a mixed or refused read
  std::string firstBad;
  while (writer.Running()) {
    Probe p = ProbeSeries(dir.File("T.DSF"), ".S");
    int g = p.code != 0 ? 0 : p.text == whole[0] ? 1 : p.text == whole[1] ? 2 : 0;
    if (g == 0 && firstBad.empty()) firstBad = std::to_string(p.code) + " " + p.text.substr(0, 80);
    ++seen[g];
  }
  ASSERT_EQ(writer.WaitForExit(10s), 0);
  EXPECT_EQ(seen[0], 0) << "first: " << firstBad;
  EXPECT_GT(seen[1], 0);
  EXPECT_GT(seen[2], 0);
}

TEST(DsfCross, DamagedStoresAreRefusedOrReadAlike) {
  testing::TempDir dir;
  WriteShapes(dir.File("S"));
  const std::string good = dir.Read("S.DSF");
  std::mt19937 gen(1234);
  int refused = 0, compared = 0;
  for (int round = 0; round < 300; ++round) {
    std::string bad = good;
    if (round % 10 == 9) {
      bad.resize(size_t(gen() % (good.size() / 128)) * 128 + (gen() % 2) * 61);
    } else {
      int flips = 1 + int(gen() % 4);
      for (int f = 0; f < flips; ++f) {
        size_t at = gen() % bad.size();
        bad[at] = char(gen() % 3 == 0 ? 0xFF : gen());
      }
    }
    dir.Write("S.DSF", bad);
    for (const std::string& path : Paths()) {
      Probe rt = ProbeSeries(dir.File("S.DSF"), path);
      ASSERT_TRUE(rt.code >= 0 && rt.code <= 2) << round << " " << path;
      if (rt.code == 2) {
        ++refused;
        EXPECT_FALSE(rt.text.empty());
        continue;
      }
      Probe lib = LibrarySeries(dir.File("S"), path);
      if (rt.code == 0 && lib.code == 0) {
        ++compared;
        EXPECT_EQ(rt.text, lib.text) << "round " << round << " " << path;
      }
    }
  }
  EXPECT_GT(refused, 50);
  EXPECT_GT(compared, 500);
}

// The DSDir blocks of a sound store: from the root, each DSDir's chain.
std::vector<int32_t> DirBlocks(const std::string& bytes) {
  std::vector<int32_t> blocks, todo{1};
  while (!todo.empty()) {
    int32_t first = todo.back();
    todo.pop_back();
    for (int32_t rec = first; rec != 0;) {
      series::RecordBytes r;
      std::memcpy(r.data(), bytes.data() + size_t(rec) * 128, 128);
      series::DSDirBlock b;
      series::DecodeDirBlock(r, b);
      blocks.push_back(rec);
      for (const series::DSDirEntry& e : b.entries)
        if (e.Used() && e.IsDSDir()) todo.push_back(e.record);
      rec = b.link;
    }
  }
  return blocks;
}

// The link of a series' head or data record pointed at another record of
// the store, as one flipped bit would: a chain run into another series'
// records, onto a DSDir block or the header, or out of the file. For
// every path both readers give the same verdict, and where both read a
// series they read the same values; a series whose records are another's
// is refused by both.
TEST(DsfCross, LinksIntoOtherRecordsGetTheSameVerdict) {
  testing::TempDir dir;
  WriteShapes(dir.File("S"));
  const std::string good = dir.Read("S.DSF");
  const int32_t records = int32_t(good.size() / 128);
  const std::vector<int32_t> dirs = DirBlocks(good);
  std::mt19937 gen(77);
  int refused = 0;
  for (int round = 0; round < 150; ++round) {
    std::string bad = good;
    int32_t at;
    do at = 2 + int32_t(gen() % uint32_t(records - 2));
    while (std::find(dirs.begin(), dirs.end(), at) != dirs.end());
    int32_t to = round % 50 == 0 ? records + 3 : int32_t(gen() % uint32_t(records));
    platform::PutI32(bad, size_t(at) * 128, to);
    dir.Write("S.DSF", bad);
    for (const std::string& path : Paths()) {
      Probe rt = ProbeSeries(dir.File("S.DSF"), path), lib = LibrarySeries(dir.File("S"), path);
      ASSERT_EQ(rt.code, lib.code) << "round " << round << ": record " << at << " links to " << to << ", "
                                       << path << ": " << rt.text;
      if (rt.code == 0) {
        EXPECT_EQ(rt.text, lib.text) << "round " << round << " " << path;
      }
      refused += rt.code == 2;
    }
  }
  EXPECT_GT(refused, 50);
}

// What a reader finds in the store at `file_no_ext`: its size and every
// series of Paths() as the library reads it.
std::string Contents(const std::string& file_no_ext) {
  std::string all = std::to_string(testing::ReadIfThere(file_no_ext + ".DSF").value_or("").size());
  for (const std::string& path : Paths()) {
    Probe p = LibrarySeries(file_no_ext, path);
    all += "\n" + path + ": " + std::to_string(p.code) + " " + p.text;
  }
  return all;
}

// `left` (a store and its journal, as a change cut short left them) put
// under A and B; A attached by the library, B opened by the solver's
// reader, each rolling the journal back. Both must come to the same bytes.
std::string RecoveredAlike(testing::TempDir& dir, const std::vector<testing::FileState>& left) {
  for (const char* name : {"A", "B"}) {
    testing::PutState(dir.File(std::string(name) + ".DSF"), left[0]);
    testing::PutState(dir.File(std::string(name) + ".DSF-journal"), left[1]);
  }
  {
    platform::ScriptedPrompts prompts;
    SeriesStore store;
    store.AttachDSF(dir.File("A"));
    EXPECT_FALSE(store.FailureFlag) << (prompts.messages.empty() ? "" : prompts.messages[0]);
  }
  Probe rt = ProbeSeries(dir.File("B.DSF"), ".A.LONG");
  EXPECT_EQ(rt.code, 0) << rt.text;
  EXPECT_FALSE(dir.Has("A.DSF-journal"));
  EXPECT_FALSE(dir.Has("B.DSF-journal"));
  std::string a = dir.Read("A.DSF");
  EXPECT_TRUE(a == dir.Read("B.DSF")) << "the two roll-backs differ";
  return Contents(dir.File("A"));
}

// The library's save over a series cut short at any of its calls (killed
// before it): the solver's reader rolls the journal back exactly as the
// library does, to the old store or the new one.
TEST(DsfCross, TheLibrarysJournalIsRolledBackAlikeByTheSolver) {
  testing::TempDir dir;
  WriteShapes(dir.File("S"));
  const std::string bytes = dir.Read("S.DSF");
  const std::string before = Contents(dir.File("S"));
  auto save = [&](SeriesStore& store) {
    ColumnSlot& slot = store.ColumnSlots[0];
    store.NewSeries(slot, false, "longer");
    for (int i = 0; i < 900; ++i) store.PutVal(slot, int16_t(i), i * 0.25);
    store.SaveSeries(slot, ".A.LONG");
  };
  long calls;
  std::string after;
  {
    platform::ScriptedPrompts prompts;
    SeriesStore store;
    store.AttachDSF(dir.File("S"));
    calls = testing::CountCalls([&] { save(store); });
    ASSERT_FALSE(store.FailureFlag);
    store.CloseDSF();
    after = Contents(dir.File("S"));
  }
  ASSERT_NE(before, after);
  int olds = 0, news = 0;
  for (long k = 0; k < calls; ++k) {
    SCOPED_TRACE("killed before call " + std::to_string(k));
    dir.Write("S.DSF", bytes);
    std::vector<testing::FileState> left;
    {
      platform::ScriptedPrompts prompts;
      SeriesStore store;
      store.AttachDSF(dir.File("S"));
      left = testing::CutShortAt(k, true, {dir.File("S.DSF"), dir.File("S.DSF-journal")}, [&] { save(store); });
    }
    std::string found = RecoveredAlike(dir, left);
    ASSERT_TRUE(found == before || found == after) << found;
    (found == before ? olds : news)++;
  }
  EXPECT_GT(olds, 0);
  EXPECT_GT(news, 0);
}

// Runs the solver's write program on `file`, under strace with
// `inject` when it is not empty; the exit status, or 128 + the signal.
int RunSolverWrite(const std::string& file, const std::string& inject, const std::string& trace = "") {
  std::vector<std::string> args;
  if (!inject.empty() || !trace.empty()) {
    args = {KRV_STRACE, "-qq", "-o", trace.empty() ? "/dev/null" : trace};
    if (!inject.empty()) args.insert(args.end(), {"-e", "inject=" + inject});
  }
  args.insert(args.end(), {KRV_DSF_TOOL, file, ".A.LONG", "-3.75", ".a.empty", "1e-40"});
  pid_t pid = ::fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The solver's write of its estimates cut short at every system call it
// makes from opening the store on, the program killed there or the
// call failing as on a full disk (strace does both: Free Pascal makes its
// calls itself, past any library put in their way). Afterwards the
// library and the solver's reader roll back alike, to the old store or
// the new one; a write that ended well is there whole, one that reported
// a failure (or refused the store) has left the old store and no journal.
TEST(DsfCross, AKillOrAFullDiskAtAnyCallOfTheSolversWriteLeavesTheOldOrTheNewStore) {
  ASSERT_STRNE(KRV_STRACE, "") << "strace is needed here; tools/install-deps.sh installs it";
  testing::TempDir dir;
  WriteShapes(dir.File("S"));
  const std::string bytes = dir.Read("S.DSF");
  const std::string before = Contents(dir.File("S"));
  ASSERT_EQ(RunSolverWrite(dir.File("S.DSF"), "", dir.File("TRACE")), 0);
  const std::string after = Contents(dir.File("S"));
  ASSERT_NE(before, after);
  // The calls, from the store's opening on; each as its name and its place
  // among the calls of that name, as strace counts them. Those that only
  // ask for memory or the time leave the files as the call before them.
  std::vector<std::pair<std::string, int>> calls;
  {
    const std::vector<std::string> memoryOrTime = {"mmap", "munmap", "brk", "mremap", "time", "gettimeofday",
                                                   "clock_gettime", "getpid", "exit_group"};
    std::ifstream trace(dir.File("TRACE"));
    std::map<std::string, int> seen;
    bool started = false;
    for (std::string line; std::getline(trace, line);) {
      size_t paren = line.find('(');
      if (paren == std::string::npos || line.compare(0, 3, "+++") == 0) continue;
      std::string name = line.substr(0, paren);
      int n = ++seen[name];
      started = started || (name.compare(0, 4, "open") == 0 && line.find(dir.File("S.DSF")) != std::string::npos);
      if (started && std::find(memoryOrTime.begin(), memoryOrTime.end(), name) == memoryOrTime.end())
        calls.push_back({name, n});
    }
  }
  ASSERT_GT(calls.size(), 10u);
  int olds = 0, news = 0;
  for (const auto& [name, n] : calls) {
    for (bool killed : {true, false}) {
      std::string inject = name + (killed ? ":signal=KILL" : ":error=ENOSPC") + ":when=" + std::to_string(n);
      SCOPED_TRACE(inject);
      dir.Write("S.DSF", bytes);
      ::unlink(dir.File("S.DSF-journal").c_str());
      int status = RunSolverWrite(dir.File("S.DSF"), inject);
      std::vector<testing::FileState> left = {testing::ReadIfThere(dir.File("S.DSF")),
                                              testing::ReadIfThere(dir.File("S.DSF-journal"))};
      ASSERT_TRUE(left[0]);
      if (!killed) {
        // 1: refused (a record that could not be read), 2: not written.
        EXPECT_TRUE(status == 0 || status == 1 || status == 2) << status;
        if (status != 0) {
          EXPECT_EQ(*left[0], bytes);
          EXPECT_TRUE(!left[1] || left[1]->empty());
        }
      }
      std::string found = RecoveredAlike(dir, left);
      ASSERT_TRUE(found == before || found == after) << found;
      if (!killed) {
        EXPECT_EQ(found, status == 0 ? after : before);
      }
      (found == before ? olds : news)++;
    }
  }
  EXPECT_GT(olds, 0);
  EXPECT_GT(news, 0);
}

}  // namespace
}  // namespace krv::rt
