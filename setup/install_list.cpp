// The one list of what the package holds and where the installer puts it.
#include "setup/install_list.h"

#include <initializer_list>

#include "setup/install_config.h"

namespace krv::setup {

const std::vector<std::string>& ProgramFiles() {
  static const std::vector<std::string> files = {
      "Helmsman", "Foreparse",  "Sequist",     "Plotvane",  "Casewright",
      "Tessary",  "KRVSRC.TXT", "DSAMPLE.QTL", "DSAMPLE.SO", "KRVdoc.html"};
  return files;
}

const std::vector<std::string>& UnitFiles() {
  static const std::vector<std::string> files = [] {
    std::vector<std::string> out;
    for (const char* unit : std::initializer_list<const char*>{KRV_RUNTIME_UNIT_NAMES}) {
      out.push_back(std::string(unit) + ".o");
      out.push_back(std::string(unit) + ".ppu");
    }
    return out;
  }();
  return files;
}

std::string PreparedInitialCopy() { return std::string(kPreparedExample) + "init.PRB"; }

static std::string WorkDirName(size_t n) {
  return n < 10 ? "WKD0" + std::to_string(n) : "WKD" + std::to_string(n);
}

const std::vector<ExampleDir>& ExampleDirs() {
  static const std::vector<ExampleDir> dirs = [] {
    const std::string p = kPreparedExample;
    std::vector<ExampleDir> out = {
        {WorkDirName(1), {std::string(kFirstExample) + ".QTL"}},
        {WorkDirName(2),
         {p + ".QTL", p + ".PSY", p + ".VNM", p + ".GTY", p + ".PRB", PreparedInitialCopy(),
          p + ".TTR"}}};
    for (const std::string name : std::initializer_list<const char*>{KRV_EXAMPLE_NAMES})
      if (name != kFirstExample && name != kPreparedExample)
        out.push_back({WorkDirName(out.size() + 1), {name + ".QTL"}});
    return out;
  }();
  return dirs;
}

const std::vector<std::string>& MainDirFiles() {
  static const std::vector<std::string> files = {"setup", "options.txt", "README.txt",
                                                 "KRV1.png"};
  return files;
}

}  // namespace krv::setup
