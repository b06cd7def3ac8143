// The one list of what the package holds and where the installer puts it.
// The build makes the package from it, setup installs from it, and the
// build's own installed layout is set up by the same steps.
#pragma once

#include <string>
#include <vector>

namespace krv::setup {

// The example whose work directory holds the whole road already walked
// (source, translation, problem file with working values, trajectory).
inline constexpr const char* kPreparedExample = "PLANTS";
// The example the README walks through; the first work directory.
inline constexpr const char* kFirstExample = "TANKS";

// The files moved from the main directory into PGM, in order: the
// programs, then the texts the guide uses and the modeller's guide.
const std::vector<std::string>& ProgramFiles();

// The compiled solver runtime units moved into PGM/units: each unit's
// .o and then its .ppu, unit by unit.
const std::vector<std::string>& UnitFiles();

struct ExampleDir {
  std::string dir;                 // "WKD01", "WKD02", ...
  std::vector<std::string> files;  // moved from the main directory into it
};

// The work directories of the example problems: the first example's
// source, the prepared problem, then every other shipped example's source.
const std::vector<ExampleDir>& ExampleDirs();

// The initial copy of the prepared problem's file, with its working
// values and no results.
std::string PreparedInitialCopy();

// What else lies in the unpacked package and stays in the main directory.
const std::vector<std::string>& MainDirFiles();

}  // namespace krv::setup
