// A main directory as unpacked, for the installer's tests: every file the
// package lists, each with bytes of its own, below a name with a blank.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "setup/install_list.h"
#include "testing/temp_dir.h"

namespace krv::setup {

struct FakePackage {
  krv::testing::TempDir root;
  std::string main = root.path() + "/Kra venor";
  FakePackage() {
    std::filesystem::create_directory(main);
    std::vector<std::string> all = ProgramFiles();
    for (const auto& f : UnitFiles()) all.push_back(f);
    for (const auto& d : ExampleDirs())
      for (const auto& f : d.files) all.push_back(f);
    for (const auto& f : all) Write(f, "bytes of " + f);
    Write("options.txt", "-O2\r\n -vew\r\n");
    Write("README.txt", "Kravenor for Linux\nunpack, then ./setup\n");
  }
  void Write(const std::string& name, const std::string& bytes) const {
    root.Write("Kra venor/" + name, bytes);
  }
  std::string Read(const std::string& name) const { return root.Read("Kra venor/" + name); }
  // Every file below the main directory with its bytes.
  std::map<std::string, std::string> Tree() const {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> t;
    for (const auto& e : fs::recursive_directory_iterator(main))
      t[fs::relative(e.path(), main).string()] =
          e.is_regular_file() ? root.Read(fs::relative(e.path(), root.path()).string()) : "<dir>";
    return t;
  }
};

}  // namespace krv::setup
