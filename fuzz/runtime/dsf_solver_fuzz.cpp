// Fuzzes the solver's reading of a data-series file: the input is the file.
// The series a least-squares problem reads are looked up and read, and the
// estimates written into two of them as the solver writes them.
#include <stdlib.h>

#include <cstdint>
#include <fstream>
#include <string>

extern "C" {
int KrvProbeSeries(const char* file, const char* path, char* text, int room, int* used);
int KrvWriteOneValues(const char* file, const char* paths, const double* values, int count,
                      char* text, int room, int* used);
}

static const std::string& WorkFile() {
  static std::string file = [] {
    char tmpl[] = "/tmp/krv_dsf_solver_fuzz.XXXXXX";
    return std::string(mkdtemp(tmpl)) + "/F.DSF";
  }();
  return file;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& file = WorkFile();
  {
    std::ofstream f(file, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  }
  static char text[1 << 16];
  int used = 0;
  for (const char* path : {".PR1.Controls", ".PR1.K1.Start", ".PR1.Y.Value", ".A", ".A.B", ".X.Y.Z",
                           ".Series", "."})
    KrvProbeSeries(file.c_str(), path, text, int(sizeof text), &used);
  const double values[] = {1.5, -2.0};
  KrvWriteOneValues(file.c_str(), ".PR1.K1.Value\n.A", values, 2, text, int(sizeof text), &used);
  return 0;
}
