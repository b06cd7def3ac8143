// The built package installed as a user installs it, into a main directory with a blank in its
// name: every file in place, a second run refused, Helmsman starting, the worked example
// compiling against the installed units and solving, and its trajectory attaching.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <set>

#include "guide/compile_batch.h"
#include "guide/configuration.h"
#include "guide/problem_setup.h"
#include "guide/step_status.h"
#include "platform/byte_io.h"
#include "platform/user_prompts.h"
#include "setup/fpc_path_file.h"
#include "setup/install_list.h"
#include "setup/install_steps.h"
#include "testing/temp_dir.h"
#include "viewer/viewer_state.h"

namespace fs = std::filesystem;
using namespace krv::setup;
using krv::platform::ScriptedPrompts;
using krv::testing::ScopedCwd;
using krv::testing::TempDir;

namespace {

const fs::path kPackage = fs::path(KRV_BIN_DIR).parent_path() / "package";

std::string Read(const fs::path& file) {
  std::string s;
  krv::platform::ReadFileBytes(file.string(), s);
  return s;
}

struct Entry {
  std::string bytes;
  fs::file_time_type time;
  fs::perms perms;
  bool operator==(const Entry&) const = default;
};

std::map<std::string, Entry> Tree(const fs::path& dir) {
  std::map<std::string, Entry> t;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file())
      t[fs::relative(e.path(), dir).string()] = {Read(e.path()), e.last_write_time(),
                                                 e.status().permissions()};
  return t;
}

int Shell(const std::string& command) {
  int status = ::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A copy of the package unpacked below a name with a blank.
class Unpacked : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::is_directory(kPackage)) << kPackage;
    main_ = root_.path() + "/Kra venor";
    fs::copy(kPackage, main_, fs::copy_options::recursive);
    // The copy keeps each file's date, as unpacking does.
    for (const auto& e : fs::directory_iterator(kPackage))
      fs::last_write_time(main_ / e.path().filename(), e.last_write_time());
  }
  void InstallAll() {
    ScriptedPrompts prompts;
    ASSERT_TRUE(InstallProgramFiles(main_.string()));
    ASSERT_TRUE(WriteFpcPathFile(main_.string(), KRV_FPC_DIR));
    ASSERT_TRUE(InstallExamples(main_.string()));
    ASSERT_TRUE(prompts.messages.empty());
  }
  TempDir root_;
  fs::path main_;
};

}  // namespace

TEST_F(Unpacked, HoldsExactlyTheListedFilesAndInstallsThemWhole) {
  std::set<std::string> expected;
  for (const auto& f : ProgramFiles()) expected.insert(f);
  for (const auto& f : UnitFiles()) expected.insert(f);
  for (const auto& d : ExampleDirs()) expected.insert(d.files.begin(), d.files.end());
  for (const auto& f : MainDirFiles()) expected.insert(f);
  const auto package = Tree(main_);
  std::set<std::string> present;
  for (const auto& [name, e] : package) present.insert(name);
  EXPECT_EQ(present, expected);
  for (const char* program : {"setup", "Helmsman", "Foreparse", "Sequist", "Plotvane",
                              "Casewright", "Tessary"})
    EXPECT_NE(int(package.at(program).perms & fs::perms::owner_exec), 0) << program;

  InstallAll();
  const auto installed = Tree(main_);
  std::map<std::string, std::string> placed;  // where each package file must be
  for (const auto& f : ProgramFiles()) placed[f] = "PGM/" + f;
  for (const auto& f : UnitFiles()) placed[f] = "PGM/units/" + f;
  for (const auto& d : ExampleDirs())
    for (const auto& f : d.files) placed[f] = d.dir + "/" + f;
  for (const auto& f : MainDirFiles()) placed[f] = f;
  for (const auto& [from, to] : placed) {
    ASSERT_TRUE(installed.count(to)) << to;
    EXPECT_TRUE(installed.at(to) == package.at(from)) << to << " changed in the move";
  }
  EXPECT_EQ(installed.size(), placed.size() + 1);  // and Helmsman.TXT
  EXPECT_EQ(Read(main_ / "PGM/Helmsman.TXT"),
            FpcPathFileText(KRV_FPC_DIR, Read(main_ / "options.txt")));

  // Everything was moved: a second run stops at the first file and changes nothing.
  ScriptedPrompts prompts;
  const std::string m = main_.string();
  EXPECT_FALSE(InstallProgramFiles(m));
  EXPECT_EQ(prompts.messages,
            std::vector<std::string>{"ERROR in " + m + "/Helmsmancopy to " + m + "/PGM/Helmsman"});
  EXPECT_FALSE(InstallExamples(m));
  EXPECT_TRUE(Tree(main_) == installed);
}

TEST_F(Unpacked, HelmsmanStartsAndTheWorkedExampleCompilesSolvesAndAttaches) {
  InstallAll();
  const std::string name = kPreparedExample;
  const fs::path work = main_ / ExampleDirs()[1].dir;

  // Helmsman comes up in the first work directory and keeps running.
  EXPECT_EQ(Shell("cd '" + (main_ / "WKD01").string() +
                  "' && QT_QPA_PLATFORM=offscreen timeout 3 ../PGM/Helmsman >/dev/null 2>&1"),
            124);

  ScopedCwd keep(work.string());
  // The shipped files are in step: only the compile is left to do.
  krv::guide::StepStatus status;
  krv::guide::RefreshStatus(name, status);
  EXPECT_EQ(status.prepStatus, " ");
  EXPECT_EQ(status.seqStatus, " ");
  EXPECT_EQ(status.compStatus, "Need to compile");

  // Helmsman's road from here: choose, compile with Helmsman.TXT's options
  // against PGM/units, run the solver.
  const std::string shipped = Read(work / (name + ".TTR"));
  ScriptedPrompts prompts;
  krv::guide::ShellState shell;
  shell.ProgramDir = (main_ / "PGM").string() + "/";
  krv::guide::ReadConfiguration(shell);
  ASSERT_TRUE(krv::guide::ChooseProblem(shell, (work / (name + ".QTL")).string()).ready);
  ASSERT_TRUE(krv::platform::WriteFileAtomic(
      krv::guide::kBatchName,
      krv::guide::CompileBatchText(shell, krv::guide::ProgramFileOnDisk(name))));
  ASSERT_EQ(Shell(std::string("/bin/sh ") + krv::guide::kBatchName + " >compile.log 2>&1"), 0)
      << Read(work / "compile.log");
  ASSERT_TRUE(fs::exists(work / name)) << Read(work / "compile.log");
  fs::remove(work / (name + ".TTR"));
  ASSERT_EQ(Shell("./" + name + " >solve.log 2>&1"), 0) << Read(work / "solve.log");
  EXPECT_EQ(Read(work / (name + ".TTR")), shipped);

  // Plotvane's attach: the trajectory with its map, the last step's values.
  krv::view::ViewerState viewer;
  ASSERT_EQ(viewer.Attach(name + ".TTR"), krv::view::AttachStatus::Attached);
  EXPECT_EQ(viewer.JTmax(), 8);
  ASSERT_TRUE(viewer.GoToTimeStep(8));
  // Plant 2's first level (its feed is 2) and the sum of the outflows.
  const std::vector<float>& values = viewer.CurrentValues();
  ASSERT_EQ(values.size(), 15u);
  EXPECT_NEAR(values[11], 3.32891136, 1e-5);
  EXPECT_NEAR(values[0], 1.691377152, 1e-5);
  EXPECT_TRUE(prompts.messages.empty()) << prompts.messages[0];
}
