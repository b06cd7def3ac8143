// Runs a fuzz target once over every file in the folders given (its seeds),
// where the fuzzer is not built: the target and the solver's probe are then
// built and run by every test run, so neither goes stale.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  size_t inputs = 0;
  for (int a = 1; a < argc; ++a) {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(argv[a]))
      if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& f : files) {
      std::ifstream in(f, std::ios::binary);
      std::ostringstream s;
      s << in.rdbuf();
      const std::string bytes = s.str();
      std::printf("%s\n", f.filename().c_str());
      std::fflush(stdout);
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      ++inputs;
    }
  }
  std::printf("%zu inputs\n", inputs);
  return inputs > 0 ? 0 : 1;
}
