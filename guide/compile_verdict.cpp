// Tessary's verdict after the compiler has run: was the solver produced?
#include "guide/compile_verdict.h"

namespace krv::guide {

CompileVerdict JudgeCompile(const std::string& problemName, const std::string& status,
                            bool solverExists) {
  if (problemName.empty()) return {false, "Tessary: no problem was named."};
  if (status == "0" && solverExists)
    return {true, "Compiled: the solver " + problemName + " was produced."};
  if (status == "0")
    return {false, "The compiler ended without error, but the solver " + problemName +
                       " is not there."};
  std::string shown = status.empty() ? "unknown" : status;
  if (shown.size() > 12) shown = shown.substr(0, 12);
  return {false, "Compiling " + problemName + " failed (compiler status " + shown +
                     "): no new solver was produced."};
}

}  // namespace krv::guide
