// The shipped example models: each preprocesses without errors into the
// hand-derived .GTY and .VNM files byte for byte, and its generated Pascal
// compiles with Free Pascal against the solver runtime units through the
// user unit that includes it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/byte_io.h"
#include "preprocessor/PPU1.h"
#include "preprocessor/program_start.h"
#include "testing/temp_dir.h"

namespace {

std::string Example(const std::string& rel) {
  std::string bytes;
  EXPECT_TRUE(krv::platform::ReadFileBytes(std::string(KRV_SOURCE_DIR) + "/examples/" + rel, bytes)) << rel;
  return bytes;
}

std::string WithLabel(std::string text, const std::string& label) {
  for (size_t at; (at = text.find("@LABEL@")) != std::string::npos;) text.replace(at, 7, label);
  return text;
}

// The user unit of a problem: it includes the problem's .GTY and .PSY.
std::string UserUnit(const std::string& problem) {
  const char* lines[] = {"UNIT KRVUSER;", "{$MODE Delphi}", " INTERFACE", "   USES KRVPROCS;",
                         "   {$PACKRECORDS 1}", "PROCEDURE SYSTEMM(T2T:BOOLEAN);", "PROCEDURE REPORT;",
                         "PROCEDURE SETUP;", "PROCEDURE TIMESET;", "PROCEDURE PARSET;", "PROCEDURE ADDSET;",
                         "PROCEDURE USERBPR;", "IMPLEMENTATION", "  USES DPARPROC;", "TYPE", nullptr,
                         "VAR _X:_SYSTEM ABSOLUTE _Y;", "VAR _X2T:_SYSTEM ABSOLUTE _Y2T;", nullptr,
                         "procedure SYSTEMM(T2T:BOOLEAN);", "begin",
                         "   IF T2T THEN SYSTEMMC(_X2T) ELSE SYSTEMMC(_X);", "end;", "INITIALIZATION",
                         "   _CMPLABEL:=_UCMPLABEL;", "end."};
  std::string out;
  int includes = 0;
  for (const char* l : lines) {
    out += l ? std::string(l) : "{$I " + problem + (includes++ == 0 ? ".GTY }" : ".PSY }");
    out += "\r\n";
  }
  return out;
}

class ExampleModel : public ::testing::TestWithParam<std::string> {};

TEST_P(ExampleModel, PreprocessesToItsGoldenFilesAndCompiles) {
  const std::string name = GetParam();
  krv::testing::TempDir dir;
  krv::testing::ScopedCwd cwd(dir.path());
  dir.Write(name + ".QTL", Example(name + ".QTL"));
  krv::pp::LogWriter log;
  krv::pp::Preprocessor pp(log);
  krv::pp::HandleCommandLine(pp, {name});
  ASSERT_EQ(log.Lines().back().rfind("  ---FINISHED", 0), 0u) << log.Text();
  EXPECT_EQ(dir.Read(name + ".GTY"), WithLabel(Example("golden/" + name + ".GTY"), pp.Label()));
  EXPECT_EQ(dir.Read(name + ".VNM"), WithLabel(Example("golden/" + name + ".VNM"), pp.Label()));

  const std::string units = KRV_RUNTIME_UNITS;
  if (std::string(KRV_FPC).empty() || !std::filesystem::exists(units + "/KRVPROCS.ppu"))
    GTEST_SKIP() << "Free Pascal or the runtime units are not built";
  dir.Write("KRVUSER.PAS", UserUnit(name));
  std::string cmd = std::string(KRV_FPC) + " -vew -Fu" + units + " KRVUSER.PAS > fpc.log 2>&1";
  int rc = std::system(cmd.c_str());
  EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 0) << dir.Read("fpc.log");
}

// Every model shipped in examples/, so a new one is covered as it lands.
std::vector<std::string> ShippedModels() {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(std::string(KRV_SOURCE_DIR) + "/examples")) {
    const std::string file = e.path().filename().string();
    if (e.is_regular_file() && file.size() > 4 && file.substr(file.size() - 4) == ".QTL")
      names.push_back(file.substr(0, file.size() - 4));
  }
  std::sort(names.begin(), names.end());
  return names;
}

INSTANTIATE_TEST_SUITE_P(Shipped, ExampleModel, ::testing::ValuesIn(ShippedModels()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

TEST(ExampleModels, TheShippedOnesAreFound) {
  auto names = ShippedModels();
  for (const char* known : {"CELLS", "FIXLOOP", "LAGBANKS", "PLANTS", "TANKS"})
    EXPECT_NE(std::find(names.begin(), names.end(), known), names.end()) << known;
}

}  // namespace
