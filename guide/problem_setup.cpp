// Choosing a problem: its name, its directory, sample sources, user unit and program file.
#include "guide/problem_setup.h"

#include <algorithm>
#include <vector>

#include "guide/file_copy.h"
#include "guide/file_probe.h"
#include "guide/user_unit.h"
#include "platform/byte_io.h"
#include "platform/file_query.h"
#include "platform/file_resolver.h"
#include "platform/line_reader.h"
#include "platform/text.h"
#include "platform/user_prompts.h"

namespace krv::guide {

namespace pf = krv::platform;

static bool Exists(const std::string& name) {
  uint32_t stamp;
  return GetFileDate(name, stamp);
}

// Regular files of the current directory whose names end in ".DSU" in any case.
static std::vector<std::string> ParkedUnits() {
  std::vector<std::string> names;
  for (const std::string& n : pf::RegularFilesIn("."))
    if (n.size() > 4 && pf::EqualsCaseBlind(n.substr(n.size() - 4), kParkedUnitExt)) names.push_back(n);
  return names;
}

// Brings back the problem's parked unit; true when one was found.
static bool RestoreParkedUnit(const std::string& problemName) {
  for (const std::string& parked : ParkedUnits()) {
    if (!pf::EqualsCaseBlind(parked.substr(0, parked.size() - 4), problemName)) continue;
    // A unit still in place (one without an include line) is not replaced.
    pf::RenameFile(parked, kUserUnitName, false);
    return true;
  }
  return false;
}

void PrepareUserUnit(const std::string& problemName) {
  std::string unit;
  if (Exists(kUserUnitName) && pf::ReadFileBytes(kUserUnitName, unit)) {
    if (auto owner = UserUnitOwner(unit)) {
      if (pf::EqualsCaseBlind(*owner, problemName)) return;
      const std::string parked = *owner + kParkedUnitExt;
      if (!pf::RenameFile(kUserUnitName, parked, false)) {
        pf::Prompts().ShowMessage("Conflict with KRVUSER.PAS and " + parked +
                                  " needs to be manually resolved.");
        return;
      }
    }
  }
  if (RestoreParkedUnit(problemName)) return;
  pf::WriteFileAtomic(kUserUnitName, UserUnitText(problemName));
}

void CreateProgramFile(const std::string& problemName, const std::string& programDir) {
  const std::string lpr = problemName + ".LPR";
  if (Exists(lpr) || pf::FileExists(lpr)) return;
  std::string text = "program " + problemName + ";\r\n";
  std::string body;
  if (pf::ReadFileBytes(pf::JoinPath(programDir, "KRVSRC.TXT"), body)) {
    pf::LineReader reader(body, true);
    std::string line;
    while (reader.Next(line)) text += line + "\r\n";
  }
  pf::WriteFileAtomic(lpr, text);
}

// Supplies the problem's source from the samples; false when that failed.
static bool SupplySource(const ShellState& state, ProblemChoice& choice) {
  const std::string& name = state.problemName;
  if (Exists(name + ".QTL")) return true;
  if (pf::Prompts().Confirm("Use SOSI (System-Only Simplified Input) ???")) {
    // The modeller's own SOSI input is opened, never replaced by the sample.
    choice.openSosiEditor =
        pf::FileExists(name + ".SO") ||
        CopyFileKeepDate(pf::JoinPath(state.programDir, "DSAMPLE.SO"), name + ".SO");
    return choice.openSosiEditor;
  }
  return CopyFileKeepDate(pf::JoinPath(state.programDir, "DSAMPLE.QTL"), name + ".QTL");
}

ProblemChoice ChooseProblem(ShellState& state, const std::string& chosenPath) {
  ProblemChoice choice;
  const std::string fileName = pf::BaseName(chosenPath);
  const size_t dot = fileName.rfind('.');
  if (dot == std::string::npos || dot == 0) {
    pf::Prompts().ShowMessage("ERROR");
    return choice;
  }
  const std::string dir = pf::DirName(chosenPath);
  const std::string name = fileName.substr(0, dot);
  if (name.size() > kMaxProblemName) {
    pf::Prompts().ShowMessage("Name too long");
    return choice;
  }
  const std::string dirToEnter = dir.empty() && !chosenPath.empty() &&
                                         (chosenPath[0] == '/' || chosenPath[0] == '\\')
                                     ? "/"
                                     : dir;
  if (!dirToEnter.empty() && !pf::ChangeDirectory(dirToEnter)) {
    pf::Prompts().ShowMessage("Cannot open the directory " + dirToEnter);
    return choice;
  }

  state.problemPath = chosenPath;
  state.problemBase = pf::JoinPath(dirToEnter, name);
  state.problemName = name;
  state.problemDir = dirToEnter;
  choice.accepted = true;

  if (!SupplySource(state, choice)) {
    pf::Prompts().ShowMessage("Problem with setting up files");
    return choice;
  }
  PrepareUserUnit(name);
  CreateProgramFile(name, state.programDir);
  choice.ready = true;
  return choice;
}

}  // namespace krv::guide
