// Scattered reads through a kept mapping of a file that another program
// may grow, rewrite, cut short or replace meanwhile.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/block_file.h"
#include "platform/mapped_file.h"
#include "testing/temp_dir.h"

using namespace krv::platform;
using krv::testing::TempDir;

namespace {

// Byte i of the file is (i * 7 + salt) mod 256.
std::string Bytes(size_t n, int salt) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char((i * 7 + size_t(salt)) & 0xFF);
  return s;
}

uint32_t WordAt(size_t i, int salt) {
  uint32_t w = 0;
  for (size_t b = 0; b < 4; ++b) w |= uint32_t(((i + b) * 7 + size_t(salt)) & 0xFF) << (8 * b);
  return w;
}

// The words the gather gives, field by field.
std::vector<uint32_t> Gathered(const MappedFile& map, const BlockFile& file, const std::vector<uint64_t>& at,
                               const std::vector<uint32_t>& fields, bool& ok) {
  std::vector<uint32_t> out(at.size() * fields.size());
  ok = map.GatherWords(file, at.data(), at.size(), fields.data(), fields.size(),
                       reinterpret_cast<uint8_t*>(out.data()));
  return out;
}

void ExpectWords(const std::vector<uint32_t>& got, const std::vector<uint64_t>& at,
                 const std::vector<uint32_t>& fields, int salt) {
  for (size_t j = 0; j < fields.size(); ++j)
    for (size_t k = 0; k < at.size(); ++k)
      ASSERT_EQ(got[j * at.size() + k], WordAt(at[k] + fields[j], salt)) << "record " << k << " field " << j;
}

}  // namespace

// The words land field by field; the mapping follows the file as it grows,
// is rewritten in place and is cut short, mid-page too, where a read past
// the new end fails instead of giving the zeros a mapping shows there.
TEST(MappedFile, GathersWordsAndFollowsTheFile) {
  TempDir d;
  const size_t record = 79 * 64;  // records of whole blocks straddle pages
  d.Write("F.DAT", Bytes(40 * record, 1));
  BlockFile f(64);
  ASSERT_TRUE(f.Open(d.File("F.DAT"), BlockFile::Mode::ReadOnly));
  MappedFile map;
  std::vector<uint64_t> at;
  for (uint64_t k : {0, 39, 7, 7, 20}) at.push_back(k * record);
  std::vector<uint32_t> fields{0, 4996, 1, 4093, 2048};
  bool ok = false;
  std::vector<uint32_t> got = Gathered(map, f, at, fields, ok);
  ASSERT_TRUE(ok);
  ExpectWords(got, at, fields, 1);

  // Grown: records past the first mapping's end.
  d.Write("F.DAT", Bytes(90 * record, 1));
  std::vector<uint64_t> later{85 * record, 2 * record, 89 * record};
  got = Gathered(map, f, later, fields, ok);
  ASSERT_TRUE(ok);
  ExpectWords(got, later, fields, 1);

  // Rewritten in place (the same file): the new bytes.
  {
    std::fstream out(d.File("F.DAT"), std::ios::in | std::ios::out | std::ios::binary);
    std::string b = Bytes(90 * record, 5);
    out.write(b.data(), std::streamsize(b.size()));
  }
  got = Gathered(map, f, at, fields, ok);
  ASSERT_TRUE(ok);
  ExpectWords(got, at, fields, 5);

  // Cut short in the middle of a page: what lies past the end fails, what
  // lies before it is still read; a word is there only with its whole
  // block.
  ASSERT_EQ(::truncate(d.File("F.DAT").c_str(), off_t(39 * record + 3000)), 0);
  Gathered(map, f, at, fields, ok);
  EXPECT_FALSE(ok);
  std::vector<uint64_t> before{0, 38 * record};
  got = Gathered(map, f, before, fields, ok);
  ASSERT_TRUE(ok);
  ExpectWords(got, before, fields, 5);
  std::vector<uint64_t> lastBlock{(39 * record + 3000) / 64 * 64 - 64};  // the last whole block
  std::vector<uint32_t> first{0}, last{60}, past{64};
  for (const auto& [field, there] : {std::pair{first, true}, std::pair{last, true}, std::pair{past, false}}) {
    Gathered(map, f, lastBlock, field, ok);
    EXPECT_EQ(ok, there) << field[0];
  }
}

// The mapping is only ever of the file the BlockFile reads: a path that
// now names another file, a closed file or offsets out of range are
// refused, for the caller to read the ordinary way.
TEST(MappedFile, RefusesWhatItCannotServe) {
  TempDir d;
  d.Write("F.DAT", Bytes(10000, 1));
  d.Write("NEW.DAT", Bytes(10000, 9));
  BlockFile f(64);
  ASSERT_TRUE(f.Open(d.File("F.DAT"), BlockFile::Mode::ReadOnly));
  ASSERT_EQ(std::rename(d.File("NEW.DAT").c_str(), d.File("F.DAT").c_str()), 0);
  MappedFile map;
  bool ok = true;
  Gathered(map, f, {0}, {0}, ok);
  EXPECT_FALSE(ok);
  std::vector<uint8_t> held(64);
  ASSERT_TRUE(f.ReadBlocks(0, 1, held.data()));  // the held file reads on
  EXPECT_EQ(held[1], 8);

  ASSERT_TRUE(f.Reopen());  // now the new file, mapped afresh
  std::vector<uint32_t> got = Gathered(map, f, {100}, {4}, ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(got[0], WordAt(104, 9));

  Gathered(map, f, {UINT64_MAX - 2}, {0}, ok);
  EXPECT_FALSE(ok);
  Gathered(map, f, {9996}, {1}, ok);
  EXPECT_FALSE(ok);
  BlockFile closed(64);
  Gathered(map, closed, {0}, {0}, ok);
  EXPECT_FALSE(ok);
}

namespace {

struct Touch {
  const volatile uint8_t* at;
  uint8_t seen;
};

void Load(void* context) {
  auto* t = static_cast<Touch*>(context);
  t->seen = *t->at;
}

// A mapping of a three-page file whose last two pages are then cut off.
struct CutMapping {
  TempDir dir;
  size_t page = size_t(::sysconf(_SC_PAGESIZE));
  const uint8_t* base = nullptr;
  CutMapping() {
    dir.Write("F.DAT", Bytes(3 * page, 3));
    FILE* fp = std::fopen(dir.File("F.DAT").c_str(), "rb");
    void* p = ::mmap(nullptr, 3 * page, PROT_READ, MAP_SHARED, fileno(fp), 0);
    std::fclose(fp);
    EXPECT_NE(p, MAP_FAILED);
    base = static_cast<const uint8_t*>(p);
    EXPECT_EQ(::truncate(dir.File("F.DAT").c_str(), off_t(page)), 0);
  }
  ~CutMapping() { ::munmap(const_cast<uint8_t*>(base), 3 * page); }
};

}  // namespace

// A load past the end of a file cut short under its mapping raises SIGBUS:
// inside a guarded run that run fails and the process goes on, as often
// as it happens, with its signal mask as it was.
TEST(RunGuardedAgainstBusError, ALoadPastTheCutEndFailsTheRunOnly) {
  CutMapping m;
  sigset_t before, after;
  ASSERT_EQ(::sigprocmask(SIG_SETMASK, nullptr, &before), 0);
  for (int round = 0; round < 3; ++round) {
    Touch past{m.base + 2 * m.page + 10, 0};
    EXPECT_FALSE(RunGuardedAgainstBusError(m.base, 3 * m.page, Load, &past));
    Touch inside{m.base + 10, 0};
    EXPECT_TRUE(RunGuardedAgainstBusError(m.base, 3 * m.page, Load, &inside));
    EXPECT_EQ(inside.seen, uint8_t(10 * 7 + 3));
  }
  ASSERT_EQ(::sigprocmask(SIG_SETMASK, nullptr, &after), 0);
  EXPECT_EQ(::sigismember(&after, SIGBUS), ::sigismember(&before, SIGBUS));
}

// Outside a guarded run, and on bytes the run does not guard, SIGBUS is
// what it always was: the handler found installed gets it, and without
// one the process ends by it (under the address sanitizer, its report).
namespace {

void MarkAndLeave(int, siginfo_t*, void*) { ::_exit(42); }

bool EndedByBusError(int status) {
#if defined(__SANITIZE_ADDRESS__)
  if (WIFEXITED(status) && WEXITSTATUS(status) != 0) return true;
#endif
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGBUS;
}

void InstallGuard() {
  uint8_t byte = 1;
  Touch t{&byte, 0};
  RunGuardedAgainstBusError(&byte, 1, Load, &t);
}


void ChainedToTheHandlerBefore() {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_sigaction = MarkAndLeave;
  sa.sa_flags = SA_SIGINFO;
  ::sigaction(SIGBUS, &sa, nullptr);
  InstallGuard();
  ::raise(SIGBUS);
}

void LoadPastTheEnd(bool guardOtherBytes) {
  InstallGuard();
  CutMapping m;
  uint8_t byte = 1;
  Touch past{m.base + 2 * m.page, 0};
  if (guardOtherBytes)
    RunGuardedAgainstBusError(&byte, 1, Load, &past);
  else
    Load(&past);
  std::_Exit(0);
}

}  // namespace

TEST(RunGuardedAgainstBusErrorDeathTest, OtherBusErrorsGoWhereTheyWentBefore) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process: no guard yet
  EXPECT_EXIT(ChainedToTheHandlerBefore(), ::testing::ExitedWithCode(42), "");
  EXPECT_EXIT(LoadPastTheEnd(false), EndedByBusError, "");
  EXPECT_EXIT(LoadPastTheEnd(true), EndedByBusError, "");
}
