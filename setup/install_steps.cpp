// The installer's steps: moving the package's files from the main directory into place.
#include "setup/install_steps.h"

#include <vector>

#include "platform/file_move.h"
#include "platform/file_resolver.h"
#include "platform/user_prompts.h"
#include "setup/install_list.h"

namespace krv::setup {

namespace pf = krv::platform;

bool MoveInstallFile(const std::string& source, const std::string& destination) {
  if (pf::MoveFileWhole(source, destination)) return true;
  pf::Prompts().ShowMessage("ERROR in " + source + "copy to " + destination);
  return false;
}

bool CreateInstallDir(const std::string& path) { return pf::MakeDirectory(path); }

static bool MoveAll(const std::string& from, const std::string& to,
                    const std::vector<std::string>& names) {
  CreateInstallDir(to);
  for (const std::string& name : names)
    if (!MoveInstallFile(pf::JoinPath(from, name), pf::JoinPath(to, name))) return false;
  return true;
}

bool InstallProgramFiles(const std::string& mainDir) {
  const std::string pgm = pf::JoinPath(mainDir, "PGM");
  return MoveAll(mainDir, pgm, ProgramFiles()) &&
         MoveAll(mainDir, pf::JoinPath(pgm, "units"), UnitFiles());
}

bool InstallExamples(const std::string& mainDir) {
  for (const ExampleDir& d : ExampleDirs())
    if (!MoveAll(mainDir, pf::JoinPath(mainDir, d.dir), d.files)) return false;
  return true;
}

std::string MainDirectory() { return pf::ExecutableDir(); }

}  // namespace krv::setup
