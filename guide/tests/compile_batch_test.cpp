// Tests of the compile batch: its text, the .pat file, how it starts, and a real compile.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "guide/compile_batch.h"
#include "guide/compile_verdict.h"
#include "guide/configuration.h"
#include "guide/console_run.h"
#include "guide/tests/console_capture.h"
#include "guide/step_status.h"
#include "platform/file_stamp.h"
#include "platform/process_start.h"
#include "platform/user_prompts.h"
#include "testing/temp_dir.h"

using namespace krv::guide;
using krv::platform::PackLocalTime;
using krv::platform::ProcessStarter;
using krv::platform::RecordingStarter;
using krv::platform::ScriptedPrompts;
using krv::platform::SetPackedFileDate;
using krv::testing::ScopedCwd;
using krv::testing::TempDir;
using Args = std::vector<std::string>;
using krv::guide::testing::CapturingConsole;
using krv::guide::testing::RecordingConsole;

namespace {
ShellState Configured(const std::string& programDir, const std::string& config) {
  ShellState s;
  s.ProgramDir = programDir;
  s.MainDir = MainDirOf(programDir);
  ApplyConfiguration(config, s);
  s.ProblemName = "MYPROB";
  return s;
}
}  // namespace

TEST(CompileBatch, TextQuotesEveryWordAndNamesTheProgramFile) {
  ShellState s = Configured("/x/PGM/", "/usr\r\n-O2\r\n\r\n");
  EXPECT_EQ(CompileBatchText(s, "MYPROB.LPR"),
            "'/usr/bin/fpc' '-O2' '-Fu/x/PGM/units;' 'MYPROB.LPR'\n"
            "'/x/PGM/Tessary' 'MYPROB' \"$?\"\n");
  EXPECT_EQ(UnitPathText(s), "/x/PGM/units\r\n");

  ShellState odd = Configured("/it's here/PGM/", "/opt/f p c\r\n\r\n -Fu#/u\r\n");
  EXPECT_EQ(CompileBatchText(odd, "MYPROB.lpr"),
            "'/opt/f p c/bin/fpc' '-Fu/it'\\''s here/PGM/units;' '-Fu/opt/f' 'p' 'c/u' "
            "'MYPROB.lpr'\n'/it'\\''s here/PGM/Tessary' 'MYPROB' \"$?\"\n");
}

TEST(CompileBatch, ProgramFileIsFoundAsSpeltOnDisk) {
  TempDir d;
  ScopedCwd cwd(d.path());
  EXPECT_EQ(ProgramFileOnDisk("MYPROB"), "MYPROB.lpr");
  d.Write("MYPROB.LPR", "program MYPROB;\r\n");
  EXPECT_EQ(ProgramFileOnDisk("MYPROB"), "MYPROB.LPR");
}

namespace {
// Checks, at the moment of the start, that both files are already complete.
class CheckingStarter : public ProcessStarter {
 public:
  CheckingStarter() { krv::platform::SetStarter(this); }
  ~CheckingStarter() override { krv::platform::SetStarter(nullptr); }
  bool StartDetached(const std::string& program, const Args& args,
                     const std::string& dir) override {
    batch = dir.empty() ? Slurp("TMPTMP.BAT") : "";
    pat = Slurp("MYPROB.pat");
    starts.push_back({program, args, dir});
    return true;
  }
  static std::string Slurp(const char* name) {
    FILE* f = ::fopen(name, "rb");
    if (!f) return "";
    std::string s;
    char buf[512];
    size_t n;
    while ((n = ::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    ::fclose(f);
    return s;
  }
  std::string batch, pat;
  std::vector<RecordingStarter::Start> starts;
};
}  // namespace

TEST(CompileBatch, WritesBothFilesBeforeStartingTheBatch) {
  TempDir d;
  ScopedCwd cwd(d.path());
  d.Write("MYPROB.LPR", "x");
  ScriptedPrompts prompts;
  CheckingStarter starter;
  RecordingConsole console;
  ShellState s = Configured("/x/PGM/", "/usr\r\n-O2\r\n");

  StartCompile(s, "/usr/bin/x-terminal-emulator", console);
  ASSERT_EQ(starter.starts.size(), 1u);
  EXPECT_EQ(starter.starts[0].program, "/usr/bin/x-terminal-emulator");
  EXPECT_EQ(starter.starts[0].args, (Args{"-e", "/bin/sh", "TMPTMP.BAT"}));
  EXPECT_EQ(starter.batch, CompileBatchText(s, "MYPROB.LPR"));
  EXPECT_EQ(starter.pat, "/x/PGM/units\r\n");
  EXPECT_TRUE(console.runs.empty());

  // Without a terminal the batch runs for Helmsman's window, nothing detached.
  StartCompile(s, "", console);
  EXPECT_EQ(starter.starts.size(), 1u);
  ASSERT_EQ(console.runs.size(), 1u);
  EXPECT_EQ(console.runs[0].title, "Compile MYPROB");
  EXPECT_EQ(console.runs[0].logName, "TMPTMP.LOG");
  EXPECT_EQ(console.runs[0].start.program, "/bin/sh");
  EXPECT_EQ(console.runs[0].start.args,
            (Args{"-c", "{ /bin/sh TMPTMP.BAT\n} 2>&1 | tee -p -a 'TMPTMP.LOG'\n"}));
  EXPECT_TRUE(prompts.messages.empty());
}

TEST(CompileBatch, TessaryVerdicts) {
  struct Case {
    const char* name;
    const char* status;
    bool exists;
    bool produced;
    const char* text;
  } cases[] = {
      {"P", "0", true, true, "Compiled: the solver P was produced."},
      {"P", "1", true, false, "Compiling P failed (compiler status 1): no new solver was produced."},
      {"P", "127", false, false,
       "Compiling P failed (compiler status 127): no new solver was produced."},
      {"P", "0", false, false, "The compiler ended without error, but the solver P is not there."},
      {"P", "", false, false,
       "Compiling P failed (compiler status unknown): no new solver was produced."},
      {"", "0", true, false, "Tessary: no problem was named."},
  };
  for (const Case& c : cases) {
    CompileVerdict v = JudgeCompile(c.name, c.status, c.exists);
    EXPECT_EQ(v.produced, c.produced) << c.text;
    EXPECT_EQ(v.text, c.text);
  }
}

// The batch as Helmsman writes it, run for real on a small hand-written
// program: the compiler makes the solver and Tessary says so.
TEST(CompileBatch, RealBatchCompilesAndTessaryReports) {
  if (::access("/usr/bin/fpc", X_OK) != 0) GTEST_SKIP() << "no Free Pascal in /usr/bin";
  TempDir d;
  ScopedCwd cwd(d.path());
  ShellState s = Configured(std::string(KRV_BIN_DIR) + "/", "/usr\r\n-O1\r\n -vw\r\n");
  s.ProblemName = "HELLO";
  d.Write("HELLO.LPR", "program HELLO;\r\nbegin\r\n  writeln('solved');\r\nend.\r\n\x1a");
  d.Write("HELLO.QTL", "model");
  d.Write("HELLO.PSY", "generated");
  ASSERT_TRUE(SetPackedFileDate(d.File("HELLO.PSY"), PackLocalTime(time(nullptr) - 60)));
  StepStatus before;
  RefreshStatus("HELLO", before);
  EXPECT_EQ(before.compStatus, "Need to compile");

  {
    RecordingStarter rec;  // write the files, run the batch here and wait
    RecordingConsole console;
    StartCompile(s, "", console);
  }
  int rc = ::system("/bin/sh TMPTMP.BAT > out.txt 2>&1 < /dev/null");
  const std::string out = d.Read("out.txt");
  EXPECT_EQ(WEXITSTATUS(rc), 0) << out;
  EXPECT_NE(out.find("Compiled: the solver HELLO was produced."), std::string::npos) << out;
  StepStatus after;
  RefreshStatus("HELLO", after);
  EXPECT_EQ(after.compStatus, " ");
  EXPECT_TRUE(after.solverEnabled);
  EXPECT_EQ(::system("./HELLO > run.txt"), 0);
  EXPECT_EQ(d.Read("run.txt"), "solved\n");

  // A program that does not compile: Tessary says so and the batch fails.
  d.Write("HELLO.LPR", "program HELLO;\r\nbegin\r\n  nonsense here\r\nend.\r\n");
  rc = ::system("/bin/sh TMPTMP.BAT > out.txt 2>&1 < /dev/null");
  EXPECT_NE(WEXITSTATUS(rc), 0);
  EXPECT_NE(d.Read("out.txt").find("Compiling HELLO failed"), std::string::npos)
      << d.Read("out.txt");
}

// Without a terminal: the batch's whole output, the compiler's errors and
// Tessary's verdict, reaches Helmsman's window and is appended to
// TMPTMP.LOG, run after run. A stand-in compiler fails like a real one.
TEST(CompileBatch, WithoutATerminalTheErrorsAreShownAndLogged) {
  TempDir d, fpc;
  ScopedCwd cwd(d.path());
  ASSERT_EQ(::mkdir(fpc.File("bin").c_str(), 0755), 0);
  fpc.Write("bin/fpc",
            "#!/bin/sh\necho \"BROKEN.lpr(3,3) Error: Identifier not found \\\"nonsense\\\"\"\n"
            "echo 'Fatal: There were 1 errors compiling module, stopping' >&2\nexit 1\n");
  ASSERT_EQ(::chmod(fpc.File("bin/fpc").c_str(), 0755), 0);
  ShellState s = Configured(std::string(KRV_BIN_DIR) + "/", fpc.path() + "\r\n\r\n");
  s.ProblemName = "BROKEN";
  d.Write("BROKEN.lpr", "program BROKEN;\r\nbegin\r\n  nonsense\r\nend.\r\n");
  ScriptedPrompts prompts;
  RecordingStarter detached;
  CapturingConsole console;
  StartCompile(s, "", console);
  StartCompile(s, "", console);
  EXPECT_TRUE(detached.starts.empty());
  ASSERT_EQ(console.outputs.size(), 2u);
  const std::string once =
      "BROKEN.lpr(3,3) Error: Identifier not found \"nonsense\"\n"
      "Fatal: There were 1 errors compiling module, stopping\n"
      "Compiling BROKEN failed (compiler status 1): no new solver was produced.\n";
  EXPECT_EQ(console.outputs[0], once);
  EXPECT_EQ(console.outputs[1], once);
  EXPECT_EQ(d.Read("TMPTMP.LOG"), once + once);
  EXPECT_TRUE(prompts.messages.empty());
}

// The program's output as the window shows it: line breaks of every kind
// become one, also when a chunk ends between CR and LF.
TEST(ConsoleText, LineBreaksAcrossChunks) {
  struct Case {
    std::vector<std::string> chunks;
    std::string shown;
  } cases[] = {
      {{"a\nb\n"}, "a\nb\n"},
      {{"a\r\nb\r\n"}, "a\nb\n"},
      {{"a\r", "\nb"}, "a\nb"},
      {{"50%\r", "100%\r", "\n"}, "50%\n100%\n"},
      {{"x\r\r\ny"}, "x\n\ny"},
      {{std::string("\xe9\x1a\0z", 4)}, std::string("\xe9\x1a\0z", 4)},
  };
  for (const Case& c : cases) {
    ConsoleText t;
    std::string shown;
    for (const std::string& chunk : c.chunks) shown += t.Add(chunk);
    EXPECT_EQ(shown, c.shown);
  }
}
