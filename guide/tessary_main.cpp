// Tessary: run by the compile batch, it says whether the solver was produced.
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "guide/compile_verdict.h"

int main(int argc, char** argv) {
  std::string name = argc > 1 ? argv[1] : "";
  std::string status = argc > 2 ? argv[2] : "";
  struct stat st;
  bool exists = !name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                ::access(name.c_str(), X_OK) == 0;
  krv::guide::CompileVerdict v = krv::guide::JudgeCompile(name, status, exists);
  ::printf("%s\n", v.text.c_str());
  // In a terminal window the compiler's messages stay readable until Enter.
  if (::isatty(0) && ::isatty(1)) {
    ::printf("Press Enter to close.\n");
    ::fflush(stdout);
    int c;
    while ((c = ::getchar()) != EOF && c != '\n') {
    }
  }
  return v.produced ? 0 : 1;
}
