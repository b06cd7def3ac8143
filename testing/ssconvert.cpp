// gnumeric's ssconvert as a second reader of the spreadsheets we write.
#include "testing/ssconvert.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace krv::testing {

std::string SsconvertCsv(const std::string& file, const std::string& scratchDir) {
  const std::string home = scratchDir + "/ssconvert-home";
  const std::string csv = scratchDir + "/ssconvert.csv";
  std::filesystem::create_directories(home);
  std::filesystem::remove(csv);
  std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY HOME='" + home + "' XDG_CONFIG_HOME='" +
                    home + "' XDG_CACHE_HOME='" + home + "' XDG_RUNTIME_DIR='" + home +
                    "' NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory"
                    " ssconvert --import-type=Gnumeric_lotus:lotus '" + file + "' '" + csv +
                    "' > '" + home + "/log' 2>&1";
  int status = std::system(cmd.c_str());
  std::ifstream in(csv, std::ios::binary);
  if (status != 0 || !in) {
    std::ifstream log(home + "/log");
    std::stringstream l;
    l << log.rdbuf();
    return "(ssconvert failed: status " + std::to_string(status) + ": " + l.str() + ")";
  }
  std::stringstream s;
  s << in.rdbuf();
  std::filesystem::remove(csv);
  return s.str();
}

}  // namespace krv::testing
