// Choosing a problem: its name, its directory, sample sources, user unit and program file.
#include "guide/problem_setup.h"

#include <errno.h>

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

// "Cannot rename FROM to TO: reason", told right after the rename failed.
static std::string RenameFault(const std::string& from, const std::string& to, int err) {
  errno = err;
  return "Cannot rename " + FullName(from) + " to " + to + ": " + SystemReason();
}

// Brings back the problem's parked unit; true when one was found. A unit
// that could not be brought back for another reason than a unit still in
// place goes into `faults`.
static bool RestoreParkedUnit(const std::string& problemName, std::vector<std::string>& faults) {
  for (const std::string& parked : ParkedUnits()) {
    if (!pf::EqualsCaseBlind(parked.substr(0, parked.size() - 4), problemName)) continue;
    // A unit still in place (one without an include line) is not replaced.
    if (!pf::RenameFile(parked, kUserUnitName, false)) {
      const int err = errno;
      if (!pf::FileExists(kUserUnitName)) faults.push_back(RenameFault(parked, kUserUnitName, err));
    }
    return true;
  }
  return false;
}

std::vector<std::string> PrepareUserUnit(const std::string& problemName) {
  std::vector<std::string> faults;
  std::string unit;
  if (Exists(kUserUnitName) && pf::ReadFileBytes(kUserUnitName, unit)) {
    if (auto owner = UserUnitOwner(unit)) {
      if (pf::EqualsCaseBlind(*owner, problemName)) return faults;
      const std::string parked = *owner + kParkedUnitExt;
      if (!pf::RenameFile(kUserUnitName, parked, false)) {
        const int err = errno;
        std::string text = "Conflict with KRVUSER.PAS and " + parked + " needs to be manually resolved.";
        // Without a parked unit in the way, the system says what stopped it.
        if (!pf::FileExists(parked)) text += "\n" + RenameFault(kUserUnitName, parked, err);
        pf::Prompts().ShowMessage(text);
        return faults;
      }
    }
  }
  if (RestoreParkedUnit(problemName, faults)) return faults;
  std::string error;
  if (!pf::WriteFileAtomic(FullName(kUserUnitName), UserUnitText(problemName), &error))
    faults.push_back(error);
  return faults;
}

std::optional<std::string> CreateProgramFile(const std::string& problemName,
                                             const std::string& programDir) {
  const std::string lpr = problemName + ".LPR";
  if (Exists(lpr) || pf::FileExists(lpr)) return std::nullopt;
  std::string text = "program " + problemName + ";\r\n";
  std::string body;
  if (pf::ReadFileBytes(pf::JoinPath(programDir, "KRVSRC.TXT"), body)) {
    pf::LineReader reader(body, true);
    std::string line;
    while (reader.Next(line)) text += line + "\r\n";
  }
  std::string error;
  if (!pf::WriteFileAtomic(FullName(lpr), text, &error)) return error;
  return std::nullopt;
}

// Supplies the problem's source from the samples; false when that failed.
static bool SupplySource(const ShellState& state, ProblemChoice& choice) {
  const std::string& name = state.ProblemName;
  if (Exists(name + ".QTL")) return true;
  if (pf::Prompts().Confirm("Use SOSI (System-Only Simplified Input) ???")) {
    // The modeller's own SOSI input is opened, never replaced by the sample.
    choice.openSosiEditor =
        pf::FileExists(name + ".SO") ||
        CopyFileKeepDate(pf::JoinPath(state.ProgramDir, "DSAMPLE.SO"), name + ".SO");
    return choice.openSosiEditor;
  }
  return CopyFileKeepDate(pf::JoinPath(state.ProgramDir, "DSAMPLE.QTL"), name + ".QTL");
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

  state.ProblemPath = chosenPath;
  state.ProblemBase = pf::JoinPath(dirToEnter, name);
  state.ProblemName = name;
  state.ProblemDir = dirToEnter;
  choice.accepted = true;

  if (!SupplySource(state, choice)) {
    pf::Prompts().ShowMessage("Problem with setting up files");
    return choice;
  }
  // The problem stays current; what could not be written is said at once.
  std::vector<std::string> faults = PrepareUserUnit(name);
  if (auto fault = CreateProgramFile(name, state.ProgramDir)) faults.push_back(*fault);
  if (!faults.empty()) {
    std::string text = "Problem with setting up files";
    for (const std::string& f : faults) text += "\n" + f;
    pf::Prompts().ShowMessage(text);
  }
  choice.ready = true;
  return choice;
}

}  // namespace krv::guide
