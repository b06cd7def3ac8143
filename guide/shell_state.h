// The guide shell's state for one run: where it lives, how it compiles, which problem is current.
#pragma once

#include <string>
#include <vector>

namespace krv::guide {

// Longest problem name the shell accepts.
inline constexpr size_t kMaxProblemName = 17;

struct ShellState {
  std::string programDir;      // directory of Helmsman's own file, with a trailing '/'
  std::string mainDir;         // the installation's main directory, with a trailing '/'
  std::string fpcDir;          // line 1 of Helmsman.TXT: the Free Pascal base directory
  std::string compileOptions;  // lines 2 and 3 completed with the unit path
  std::vector<std::string> compileWords;  // compileOptions as the compiler's arguments
  std::string problemPath;     // the path chosen in the open dialog
  std::string problemBase;     // problemPath without its extension
  std::string problemName;     // empty until a problem is chosen
  std::string problemDir;      // the problem's directory, current once chosen

  bool HasProblem() const { return !problemName.empty(); }
};

}  // namespace krv::guide
