// Tests of the Linux layer: name resolution, stamps, lines, safe writes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/byte_io.h"
#include "platform/file_resolver.h"
#include "platform/file_stamp.h"
#include "platform/line_reader.h"
#include "platform/process_start.h"
#include "platform/text.h"
#include "platform/user_prompts.h"
#include "testing/program.h"
#include "testing/temp_dir.h"

using namespace krv::platform;
using krv::testing::TempDir;

TEST(FileResolver, FindsNamesCaseBlindExactSpellingFirst) {
  TempDir d;
  d.Write("try1.ttr", "a");
  d.Write("MYPROB.lpr", "b");
  d.Write("m.QTL", "c");
  d.Write("m.qtl", "d");
  EXPECT_EQ(ResolvePath(d.File("TRY1.TTR")), d.File("try1.ttr"));
  EXPECT_EQ(ResolvePath(d.File("MYPROB.LPR")), d.File("MYPROB.lpr"));
  EXPECT_EQ(ResolvePath(d.File("m.qtl")), d.File("m.qtl"));
  EXPECT_EQ(ResolvePath(d.File("m.QTL")), d.File("m.QTL"));
  // Nothing there: the spelling asked for comes back, ready to create.
  EXPECT_EQ(ResolvePath(d.File("NEW.PRB")), d.File("NEW.PRB"));
  EXPECT_TRUE(FileExists(d.File("Try1.Ttr")));
  EXPECT_FALSE(FileExists(d.File("try2.ttr")));
}

TEST(FileResolver, OnlyAsciiLettersFoldAndPathsSplitOnBothSlashes) {
  TempDir d;
  d.Write("\xe9t\xe9.txt", "x");
  EXPECT_FALSE(FileExists(d.File("\xc9T\xc9.TXT")));
  EXPECT_EQ(BaseName("a/b\\c.QTL"), "c.QTL");
  EXPECT_EQ(DirName("a/b/c"), "a/b");
  EXPECT_EQ(DirName("c"), "");
  EXPECT_EQ(JoinPath("a/", "b"), "a/b");
}

TEST(FileResolver, RenameKeepsAnExistingTargetUnlessAskedToReplace) {
  TempDir d;
  d.Write("a.PRB", "new");
  d.Write("b.PRB", "old");
  EXPECT_FALSE(RenameFile(d.File("a.prb"), d.File("b.PRB"), false));
  EXPECT_EQ(d.Read("b.PRB"), "old");
  EXPECT_TRUE(RenameFile(d.File("a.prb"), d.File("B.prb"), true));
  EXPECT_EQ(d.Read("b.PRB"), "new");
  EXPECT_FALSE(d.Has("a.PRB"));
  EXPECT_TRUE(RenameFile(d.File("b.PRB"), d.File("c.PRB"), false));
  EXPECT_TRUE(SameFile(d.File("c.prb"), d.path() + "/./c.PRB"));
  EXPECT_TRUE(DeleteFile(d.File("C.PRB")));
  EXPECT_FALSE(DeleteFile(d.File("C.PRB")));
}

TEST(FileStamp, PacksTwoSecondLocalTimeAndOrdersUnsigned) {
  std::time_t base = 1700000000;  // 2023
  uint32_t a = PackLocalTime(base);
  EXPECT_EQ(UnpackLocalTime(a) / 2, base / 2);
  EXPECT_EQ(PackLocalTime(base - (base % 2) + 1), PackLocalTime(base - (base % 2)));
  EXPECT_LT(PackLocalTime(base), PackLocalTime(base + 2));
  // Years past 2044 set the top bit: still later when compared unsigned.
  EXPECT_LT(PackLocalTime(base), PackLocalTime(2400000000));

  TempDir d;
  d.Write("x.QTL", "x");
  ASSERT_TRUE(SetPackedFileDate(d.File("X.qtl"), a));
  EXPECT_EQ(PackedFileDate(d.File("x.QTL")), a);
  EXPECT_FALSE(PackedFileDate(d.File("none")).has_value());
}

TEST(LineReader, CrLfAndBareLfEndLinesAndByte26EndsTextWhenAsked) {
  struct Case {
    std::string text;
    bool stop26;
    std::vector<std::string> lines;
  } cases[] = {
      {"a\r\nb\r\n", false, {"a", "b"}},
      {"a\nb", false, {"a", "b"}},
      {"a\r\n\r\nb\n", false, {"a", "", "b"}},
      {"a\rb\n", false, {"a\rb"}},
      {"a\r\n\x1a", true, {"a"}},
      {"a\r\n\x1a" "b\r\n", false, {"a", "\x1a" "b"}},
      {"", false, {}},
  };
  for (const auto& c : cases) {
    LineReader r(c.text, c.stop26);
    std::vector<std::string> got;
    std::string line;
    while (r.Next(line)) got.push_back(line);
    EXPECT_EQ(got, c.lines) << testing::PrintToString(c.text);
  }
  std::string lines[] = {"x", "y"};
  EXPECT_EQ(JoinCrLf(lines, 2), "x\r\ny\r\n");
}

TEST(ByteIo, AtomicWriteReplacesWholeAndKeepsDiskSpelling) {
  TempDir d;
  std::string bytes("a\0b\x1a\xff", 5);
  ASSERT_TRUE(WriteFileAtomic(d.File("Out.PRB"), bytes));
  std::string got;
  ASSERT_TRUE(ReadFileBytes(d.File("OUT.prb"), got));
  EXPECT_EQ(got, bytes);
  ASSERT_TRUE(WriteFileAtomic(d.File("OUT.PRB"), "second"));
  EXPECT_EQ(d.Read("Out.PRB"), "second");
  EXPECT_FALSE(d.Has("OUT.PRB"));
  struct stat st;
  ASSERT_EQ(::stat(d.File("Out.PRB").c_str(), &st), 0);
  EXPECT_NE(st.st_mode & 0044, 0u);  // not left private like a temp file
  EXPECT_FALSE(WriteFileAtomic(d.File("no/such/dir/x"), "x"));
  EXPECT_FALSE(ReadFileBytes(d.File("missing"), got));
}

TEST(ByteIo, AReaderRefusesAFileLargerThanItsFormatWithoutReadingIt) {
  TempDir d;
  d.Write("M.VNM", std::string(100, 'x'));
  // A sparse file: large on paper, nothing on the disk.
  ASSERT_EQ(::truncate(d.File("M.VNM").c_str(), 0), 0);
  ASSERT_EQ(::truncate(d.File("M.VNM").c_str(), off_t(3) << 30), 0);
  std::string got = "stale";
  EXPECT_EQ(ReadFileBytes(d.File("m.vnm"), got, 1 << 20), ReadOutcome::kTooLarge);
  EXPECT_EQ(got, "");
  EXPECT_EQ(TooLargeMessage(d.File("M.VNM"), "a variable map", 1 << 20),
            d.File("M.VNM") + " is larger than a variable map can be (3221225472 bytes; at most 1048576)");
  d.Write("S.VNM", "12345");
  EXPECT_EQ(ReadFileBytes(d.File("S.VNM"), got, 5), ReadOutcome::kRead);
  EXPECT_EQ(got, "12345");
  EXPECT_EQ(ReadFileBytes(d.File("S.VNM"), got, 4), ReadOutcome::kTooLarge);
  EXPECT_EQ(ReadFileBytes(d.File("none"), got, 4), ReadOutcome::kUnreadable);
}

TEST(Text, ParseIntIsStrictAndCaseFoldingIsAscii) {
  EXPECT_EQ(ParseInt("12"), 12);
  EXPECT_EQ(ParseInt("-7"), -7);
  EXPECT_EQ(ParseInt("+7"), 7);
  for (const char* bad : {"", "+", "-", "+-5", "1.0", "0x10", " 1", "1 ", "1,0"})
    EXPECT_FALSE(ParseInt(bad).has_value()) << bad;
  EXPECT_EQ(UpperAscii("ab\xe9z"), "AB\xe9Z");
  EXPECT_TRUE(EqualsCaseBlind("Model.Qtl", "MODEL.QTL"));
  EXPECT_EQ(PadLeft("7", 3), "  7");
  EXPECT_EQ(IntToString(-32768), "-32768");
}

TEST(Prompts, ScriptedAnswersAndDefaults) {
  {
    ScriptedPrompts p;
    p.answers = {Answer::Yes};
    p.files = {std::string("/tmp/a.QTL")};
    Prompts().ShowMessage("hello");
    EXPECT_TRUE(Prompts().Confirm("sure?"));
    EXPECT_FALSE(Prompts().Confirm("again?"));
    p.answers = {Answer::Yes, Answer::No};
    EXPECT_TRUE(Prompts().ConfirmOk("ok?"));
    EXPECT_FALSE(Prompts().ConfirmOk("cancel?"));
    EXPECT_EQ(Prompts().OpenFileName({"t", "QTL file|*.QTL"}), "/tmp/a.QTL");
    EXPECT_FALSE(Prompts().OpenFileName({}).has_value());
    EXPECT_EQ(p.messages, std::vector<std::string>{"hello"});
    EXPECT_EQ(p.questions.size(), 4u);
  }
  // Without a script nothing is shown and every question is declined.
  EXPECT_EQ(Prompts().Ask("x", true), Answer::Cancel);
}

TEST(ProcessStart, DetachedStartRunsInItsDirectoryAndReportsMissingPrograms) {
  TempDir d;
  EXPECT_FALSE(Starter().StartDetached(d.File("nothing"), {}, d.path()));
  ASSERT_TRUE(Starter().StartDetached("/bin/sh", {"-c", "pwd > where.txt"}, d.path()));
  krv::testing::WaitUntil([&] { return !d.Read("where.txt").empty(); }, std::chrono::seconds(30), "where.txt");
  EXPECT_EQ(d.Read("where.txt"), d.path() + "\n");
  RecordingStarter rec;
  EXPECT_TRUE(Starter().StartDetached("Foreparse", {"M"}, "."));
  ASSERT_EQ(rec.starts.size(), 1u);
  EXPECT_EQ(rec.starts[0].args, std::vector<std::string>{"M"});
}

TEST(ProcessStart, ShellCommandGivesItsExitStatusAndOneStatusForASignal) {
  EXPECT_EQ(RunShellCommand("true"), 0);
  EXPECT_EQ(RunShellCommand("exit 3"), 3);
  EXPECT_EQ(RunShellCommand("kill -KILL $$"), 128);  // ended by a signal, not an exit
}
