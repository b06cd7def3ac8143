// Feeds arbitrary bytes to the types file's label reader; a label it finds
// must come back from the line that writes it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "preprocessor/compile_label.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto label = krv::pp::LabelOfTypesFile(bytes);
  if (!label) return 0;
  if (krv::pp::LabelOfTypesFile(krv::pp::LabelConstantLine(*label) + "\r\n") != label) std::abort();
  return 0;
}
