// The build's packaging step. "package" makes the unpacked package, flat as
// a user unpacks it, and prepares its worked example problem with the
// programs' own code, Free Pascal and the problem's solver. "layout" makes
// the build's installed layout from that package by the installer's own
// steps, keeping what a modeller changed in the work directories.
//
//   make_package package BIN SRC UNITS FPC_DIR OUT
//   make_package layout PACKAGE FPC_DIR OUT
#include <stdio.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "guide/compile_batch.h"
#include "guide/configuration.h"
#include "guide/problem_setup.h"
#include "platform/byte_io.h"
#include "platform/file_move.h"
#include "platform/file_query.h"
#include "platform/process_start.h"
#include "platform/user_prompts.h"
#include "preprocessor/PPU1.h"
#include "preprocessor/log_writer.h"
#include "preprocessor/program_start.h"
#include "problem_editor/LDSAVE.h"
#include "sequencer/SEQCU1.h"
#include "setup/fpc_path_file.h"
#include "setup/install_list.h"
#include "setup/install_steps.h"

namespace fs = std::filesystem;
namespace pf = krv::platform;
namespace st = krv::setup;

namespace {

// Every message the shared code would show goes to the build's log.
class BuildPrompts : public pf::UserPrompts {
 public:
  void ShowMessage(const std::string& text) override {
    fprintf(stderr, "make_package: %s\n", text.c_str());
  }
  pf::Answer Ask(const std::string& text, bool) override {
    fprintf(stderr, "make_package: asked \"%s\": No\n", text.c_str());
    return pf::Answer::No;
  }
  std::optional<std::string> OpenFileName(const pf::FileDialogSpec&) override { return {}; }
  std::optional<std::string> SaveFileName(const pf::FileDialogSpec&) override { return {}; }
  std::optional<std::string> ChooseDirectory(const std::string&, const std::string&) override {
    return {};
  }
  void Beep() override {}
};

[[noreturn]] void Fail(const std::string& what) {
  fprintf(stderr, "make_package: %s\n", what.c_str());
  exit(1);
}

// Copies a file with its date and mode, replacing any file at `to`.
void CopyKeep(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  if (!ec) fs::last_write_time(to, fs::last_write_time(from), ec);
  if (ec) Fail("cannot copy " + from.string() + " to " + to.string() + ": " + ec.message());
}

// Copies the files of `dir` (not its subdirectories) into `to`.
void CopyFlat(const fs::path& dir, const fs::path& to) {
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file()) CopyKeep(e.path(), to / e.path().filename());
}

void Fresh(const fs::path& dir) {
  std::error_code ec;
  fs::remove_all(dir, ec);
  fs::create_directories(dir, ec);
  if (ec) Fail("cannot make " + dir.string() + ": " + ec.message());
}

std::string ReadText(const fs::path& file) {
  std::string text;
  pf::ReadFileBytes(file.string(), text);
  return text;
}

// The first found of `name` in `dirs`.
fs::path FindIn(const std::vector<fs::path>& dirs, const std::string& name) {
  for (const fs::path& d : dirs)
    if (fs::is_regular_file(d / name)) return d / name;
  Fail(name + " is not in the build");
}

// Installs a copy of the package in `main` with the installer's steps:
// the programs and units, Helmsman.TXT for `fpcDir`, and, when asked, the
// example problems.
void Install(const fs::path& package, const fs::path& main, const std::string& fpcDir,
             bool examples) {
  Fresh(main);
  CopyFlat(package, main);
  if (!st::InstallProgramFiles(main.string())) Fail("installing the programs failed");
  if (!st::WriteFpcPathFile(main.string(), fpcDir)) Fail("writing Helmsman.TXT failed");
  if (examples && !st::InstallExamples(main.string())) Fail("installing the examples failed");
}

// The worked example: the modeller's whole road, walked in `main`/WKD02 of
// an installation, with the reference case's feeds as working values.
void PrepareExample(const fs::path& src, const fs::path& main) {
  const std::string name = st::kPreparedExample;
  const fs::path work = main / st::ExampleDirs()[1].dir;
  fs::create_directories(work);
  CopyKeep(src / "examples" / (name + ".QTL"), work / (name + ".QTL"));
  if (!pf::ChangeDirectory(work.string())) Fail("cannot enter " + work.string());

  krv::pp::LogWriter fplog;
  krv::pp::Preprocessor pp(fplog);
  krv::pp::HandleCommandLine(pp, {name});
  if (fplog.Text().find("---FINISHED") == std::string::npos ||
      fplog.Text().find("Err Halt") != std::string::npos)
    Fail("Foreparse did not translate " + name + ":\n" + fplog.Text());

  krv::pp::LogWriter seqlog;
  if (!krv::seq::RunFromCommandLine(name, seqlog) || !fs::exists(name + ".PRB"))
    Fail("Sequist did not sequence " + name + ":\n" + seqlog.Text());

  // Casewright's part: the feeds of the two plants, saved as it saves.
  krv::pe::EditorBuffer buf;
  if (!krv::pe::LoadProblemFile(name, false, buf)) Fail("cannot load " + name + ".PRB");
  int set = 0;
  for (auto& r : buf.records) {
    if (r.name == "PLANT[1].F.Q[0]") r.SetXIn(1.0), ++set;
    if (r.name == "PLANT[2].F.Q[0]") r.SetXIn(2.0), ++set;
  }
  if (set != 2) Fail(name + ".PRB lacks the plants' feeds");
  if (!krv::pe::SaveProblemFile(buf, name)) Fail("cannot save " + name + ".PRB");
  fs::remove(name + ".PBK");
  CopyKeep(name + ".PRB", st::PreparedInitialCopy());

  // Helmsman's part: the problem chosen, compiled by its batch, solved.
  krv::guide::ShellState shell;
  shell.ProgramDir = (main / "PGM").string() + "/";
  krv::guide::ReadConfiguration(shell);
  if (!krv::guide::ChooseProblem(shell, (work / (name + ".QTL")).string()).ready)
    Fail("Helmsman's set-up of " + name + " failed");
  if (!pf::WriteFileAtomic(krv::guide::kBatchName,
                           krv::guide::CompileBatchText(
                               shell, krv::guide::ProgramFileOnDisk(name))))
    Fail("cannot write the compile batch");
  if (pf::RunShellCommand(std::string("/bin/sh ") + krv::guide::kBatchName + " >compile.log 2>&1") != 0 ||
      !fs::exists(name))
    Fail("Free Pascal did not compile " + name + ":\n" + ReadText(work / "compile.log"));
  if (pf::RunShellCommand("./" + name + " >solve.log 2>&1") != 0 || !fs::exists(name + ".TTR"))
    Fail("the solver of " + name + " failed:\n" + ReadText(work / "solve.log"));
}

void MakePackage(const fs::path& bin, const fs::path& src, const fs::path& units,
                 const std::string& fpcDir, const fs::path& out) {
  Fresh(out);
  const fs::path build = units.parent_path().parent_path();
  for (const std::string& f : st::ProgramFiles())
    CopyKeep(FindIn({bin, build / "runtime", src / "runtime", src / "guide"}, f), out / f);
  for (const std::string& f : st::UnitFiles()) CopyKeep(FindIn({units}, f), out / f);
  for (const std::string& f : st::MainDirFiles())
    CopyKeep(FindIn({bin, src / "setup"}, f), out / f);
  const std::string prepared = st::kPreparedExample;
  for (const st::ExampleDir& d : st::ExampleDirs())
    for (const std::string& f : d.files)
      if (fs::path(f).extension() == ".QTL" && fs::path(f).stem() != prepared)
        CopyKeep(FindIn({src / "examples"}, f), out / f);

  // The worked example is made in an installation of the package so far,
  // as a modeller would make it, and then shipped flat like the rest.
  const fs::path scratch = out.string() + ".work";
  Install(out, scratch, fpcDir, false);
  const fs::path here = fs::current_path();
  PrepareExample(src, scratch);
  fs::current_path(here);
  for (const std::string& f : st::ExampleDirs()[1].files)
    CopyKeep(scratch / st::ExampleDirs()[1].dir / f, out / f);
  fs::remove_all(scratch);
}

// Which work directories of an earlier layout in `out` stay as they are:
// an example whose model already lies in some work directory gets no second
// one, and a directory that holds another example's files is not mixed.
std::set<std::string> KeptWorkDirs(const fs::path& out) {
  std::set<std::string> placed, kept;
  std::error_code ec;
  for (const auto& d : fs::directory_iterator(out, ec))
    if (d.is_directory() && d.path().filename().string().rfind("WKD", 0) == 0)
      for (const auto& f : fs::directory_iterator(d.path()))
        placed.insert(f.path().filename().string());
  for (const st::ExampleDir& d : st::ExampleDirs()) {
    bool keep = placed.count(d.files[0]) > 0;
    if (fs::is_directory(out / d.dir))
      for (const auto& f : fs::directory_iterator(out / d.dir))
        keep = keep || std::find(d.files.begin(), d.files.end(), f.path().filename().string()) ==
                           d.files.end();
    if (keep) kept.insert(d.dir);
  }
  return kept;
}

// Every file of the fresh installation moves into `out`, but for the work
// directories an earlier layout keeps, and for a work file that is there
// already: that is the modeller's.
void MakeLayout(const fs::path& package, const std::string& fpcDir, const fs::path& out) {
  const fs::path staging = out.string() + ".new";
  Install(package, staging, fpcDir, true);
  const std::set<std::string> kept = KeptWorkDirs(out);
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(staging))
    if (e.is_regular_file()) files.push_back(e.path());
  for (const fs::path& file : files) {
    const fs::path rel = fs::relative(file, staging);
    const fs::path to = out / rel;
    const std::string top = rel.begin()->string();
    const bool workFile = top.rfind("WKD", 0) == 0;
    if (workFile && (kept.count(top) || fs::exists(to))) continue;
    fs::create_directories(to.parent_path());
    std::string reason;
    // A rename, so a running program's file is replaced, not rewritten.
    if (!pf::MoveFileWhole(file.string(), to.string(), &reason))
      Fail("cannot place " + to.string() + ": " + reason);
  }
  fs::remove_all(staging);
}

}  // namespace

int main(int argc, char** argv) {
  BuildPrompts prompts;
  pf::SetPrompts(&prompts);
  std::vector<std::string> a(argv + 1, argv + argc);
  if (a.size() == 6 && a[0] == "package") {
    MakePackage(a[1], a[2], a[3], a[4], a[5]);
  } else if (a.size() == 4 && a[0] == "layout") {
    MakeLayout(a[1], a[2], a[3]);
  } else {
    Fail("usage: make_package package BIN SRC UNITS FPC_DIR OUT | layout PACKAGE FPC_DIR OUT");
  }
  return 0;
}
