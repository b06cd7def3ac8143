// Helmsman.TXT as the installer writes it: the Free Pascal base directory and options.txt.
#include "setup/fpc_path_file.h"

#include "platform/byte_io.h"
#include "platform/file_query.h"
#include "platform/file_resolver.h"
#include "platform/line_reader.h"
#include "platform/user_prompts.h"

namespace krv::setup {

namespace pf = krv::platform;

std::string FpcCompilerPath(const std::string& baseDir) { return baseDir + "/bin/fpc"; }

bool FpcFound(const std::string& baseDir) {
  return pf::IsExecutableFile(FpcCompilerPath(baseDir));
}

std::string FpcPathFileText(const std::string& chosenDir, const std::string& optionsText) {
  pf::LineReader reader(optionsText, true);
  std::string lines[3] = {chosenDir};
  reader.Next(lines[1]) && reader.Next(lines[2]);
  return pf::JoinCrLf(lines, 3);
}

bool WriteFpcPathFile(const std::string& mainDir, const std::string& chosenDir) {
  std::string options;
  // Nothing is written unless all three lines can be, so an earlier
  // configuration is never left empty or half written.
  bool ok = !chosenDir.empty() && pf::ReadFileBytes(pf::JoinPath(mainDir, "options.txt"), options) &&
            pf::WriteFileAtomic(pf::JoinPath(mainDir, "PGM/Helmsman.TXT"),
                                FpcPathFileText(chosenDir, options));
  if (!ok) pf::Prompts().ShowMessage("Trouble creating Helmsman.txt");
  return ok;
}

}  // namespace krv::setup
