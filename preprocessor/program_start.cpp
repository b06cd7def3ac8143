// Foreparse's start-up command line and menu actions.
#include "preprocessor/program_start.h"

#include "platform/user_prompts.h"

namespace krv::pp {

std::string ModelPathFromChosenFile(const std::string& path) {
  if (path.size() >= 4) {
    std::string_view tail(path.data() + path.size() - 4, 4);
    if (tail == ".qtl" || tail == ".QTL") return path.substr(0, path.size() - 4);
  }
  return path;
}

// Runs once; a fatal stop is logged and the source closed.
static void RunCatchingStop(Preprocessor& pp) {
  try {
    pp.RunPreprocessor();
  } catch (const EMyExc&) {
    pp.Log().LogLine("Stopped");
    if (pp.SourceOpen()) pp.CloseSource();
  }
}

void HandleCommandLine(Preprocessor& pp, const std::vector<std::string>& args) {
  RunState& s = pp.State();
  // Every run takes its access prefix from the switch, a menu run too.
  s.switchArg = args.size() > 1 ? args[1] : std::string();
  if (args.empty() || args[0].empty()) return;
  s.modelPath = args[0];
  s.ran = true;
  s.debugDump = !s.switchArg.empty();
  try {
    RunCatchingStop(pp);
  } catch (const EFileError& e) {
    // The file and the system's reason, ahead of the catcher's own line.
    pp.Log().LogLine(e.what());
    pp.Log().LogLine("Other Exception");
  } catch (...) {
    pp.Log().LogLine("Other Exception");
  }
}

// The open dialog of the File command: a model source that exists.
static platform::FileDialogSpec OpenDialog1() {
  platform::FileDialogSpec desc;
  desc.title = "Specify file to start processing";
  desc.filter = "QTL file|*.QTL";
  desc.defaultExt = "QTL";
  desc.mustExist = true;
  return desc;
}

void Getfile(Preprocessor& pp, const RunScope& scope) {
  auto& prompts = platform::Prompts();
  if (pp.State().ran || !pp.State().modelPath.empty()) {
    prompts.ShowMessage("Must close and restart");
    return;
  }
  auto chosen = prompts.OpenFileName(OpenDialog1());
  if (!chosen || chosen->empty()) return;
  pp.State().modelPath = ModelPathFromChosenFile(*chosen);
  // A file named just ".QTL" leaves the path empty: the run still counts.
  pp.State().ran = true;
  try {
    if (scope) {
      scope([&pp] { RunCatchingStop(pp); });
    } else {
      RunCatchingStop(pp);
    }
  } catch (const std::exception& e) {
    prompts.ShowMessage(e.what());
  } catch (...) {
    prompts.ShowMessage("Unexpected error");
  }
}

void Debug1Click(Preprocessor& pp) {
  pp.DumpTables();
  pp.Log().LogLine("Debug dump in DMPTABLE.txt");
}

}  // namespace krv::pp
