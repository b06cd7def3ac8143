// Fuzz target: the QTL scanner alone, then a whole Foreparse run, on
// arbitrary bytes as the model source.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "preprocessor/PPU1.h"
#include "preprocessor/program_start.h"

namespace {

void ScanAll(const std::string& bytes) {
  krv::pp::LogWriter log;
  krv::pp::TextBuffer text;
  krv::pp::ErrorReport errors(log);
  krv::pp::Directives directives;
  krv::pp::Scanner scanner(text, errors, directives);
  errors.AttachLineNumber(&scanner.LineNumber());
  directives.ResetDirectives();
  scanner.Open(bytes, bytes.size() % 2 == 1);
  krv::pp::TokenList list;
  try {
    // Every scan consumes at least one byte until the end-of-file mark.
    for (size_t i = 0; i <= bytes.size() + 1 && !scanner.EndOfFile(); ++i) {
      scanner.ScanToken(list, i % 8 == 0);
      if (i % 64 == 0) list.Clear();
    }
  } catch (const krv::pp::EMyExc&) {
    return;  // the error limit stopped the scan
  }
  if (!scanner.EndOfFile() && bytes.size() < 100000) abort();
}

// Each run happens in one scratch directory made at start-up.
bool EnterScratchDir() {
  static bool done = [] {
    char tmpl[] = "/tmp/krv_fuzz_pp_XXXXXX";
    return mkdtemp(tmpl) && chdir(tmpl) == 0;
  }();
  return done;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  ScanAll(bytes);
  if (!EnterScratchDir()) return 0;
  std::FILE* f = std::fopen("F.QTL", "wb");
  if (!f) return 0;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  krv::pp::LogWriter log;
  krv::pp::Preprocessor pp(log);
  krv::pp::HandleCommandLine(pp, {"F", size % 3 == 0 ? "/E" : ""});
  return 0;
}
