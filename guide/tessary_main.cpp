// Tessary: run by the compile batch, it says whether the solver was produced.
#include <stdio.h>

#include <string>

#include "guide/compile_verdict.h"
#include "platform/file_query.h"

int main(int argc, char** argv) {
  std::string name = argc > 1 ? argv[1] : "";
  std::string status = argc > 2 ? argv[2] : "";
  bool exists = !name.empty() && krv::platform::IsExecutableFile(name);
  krv::guide::CompileVerdict v = krv::guide::JudgeCompile(name, status, exists);
  ::printf("%s\n", v.text.c_str());
  // In a terminal window the compiler's messages stay readable until Enter.
  if (krv::platform::TalkingToTerminal()) {
    ::printf("Press Enter to close.\n");
    ::fflush(stdout);
    int c;
    while ((c = ::getchar()) != EOF && c != '\n') {
    }
  }
  return v.produced ? 0 : 1;
}
