// Tessary's verdict after the compiler has run: was the solver produced?
#pragma once

#include <string>

namespace krv::guide {

struct CompileVerdict {
  bool produced = false;
  std::string text;
};

// `status` is the compiler's exit status as the batch passes it ("0" on
// success); `solverExists` whether the executable NAME is there now.
CompileVerdict JudgeCompile(const std::string& problemName, const std::string& status,
                            bool solverExists);

}  // namespace krv::guide
