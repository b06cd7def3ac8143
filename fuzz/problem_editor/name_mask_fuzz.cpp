// Fuzzes mask parsing and matching: the first line is the mask, the rest names.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "problem_editor/FormatReal.h"
#include "problem_editor/name_mask.h"
#include "problem_editor/value_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  size_t nl = in.find('\n');
  std::string_view maskText = in.substr(0, nl);
  krv::pe::NameMask mask;
  krv::pe::SetNameMask(maskText, mask, false);
  while (nl != std::string_view::npos) {
    in.remove_prefix(nl + 1);
    nl = in.find('\n');
    std::string_view name = in.substr(0, nl);
    krv::pe::MatchVarName(mask, name);
    if (auto v = krv::pe::ParseRealValue(krv::pe::TrimBlanks(name)))
      krv::pe::FormatReal(int(name.size() % 40) - 4, *v);
  }
  return 0;
}
