// The guide shell's state for one run: where it lives, how it compiles, which problem is current.
#pragma once

#include <string>
#include <vector>

namespace krv::guide {

// Longest problem name the shell accepts.
inline constexpr size_t kMaxProblemName = 17;

struct ShellState {
  std::string ProgramDir;      // directory of Helmsman's own file, with a trailing '/'
  std::string MainDir;         // the installation's main directory, with a trailing '/'
  std::string FpcDir;          // line 1 of Helmsman.TXT: the Free Pascal base directory
  std::string CompileOptions;  // lines 2 and 3 completed with the unit path
  std::vector<std::string> compileWords;  // CompileOptions as the compiler's arguments
  std::string ProblemPath;     // the path chosen in the open dialog
  std::string ProblemBase;     // ProblemPath without its extension
  std::string ProblemName;     // empty until a problem is chosen
  std::string ProblemDir;      // the problem's directory, current once chosen

  bool HasProblem() const { return !ProblemName.empty(); }
};

}  // namespace krv::guide
