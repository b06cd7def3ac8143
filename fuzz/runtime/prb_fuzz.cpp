// libFuzzer target: the solver runtime's problem-file reader, built from Pascal into a shared library.
#include <cstddef>
#include <cstdint>

extern "C" int KrvParseProblem(const uint8_t* data, int size);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 24)) return 0;
  KrvParseProblem(data, static_cast<int>(size));
  return 0;
}
