// Fuzzes path parsing and name matching: the first line is the path, the
// second the current DSDir, each further line a name matched against
// every component (and checked against the general mask matcher).
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text.h"
#include "problem_editor/name_mask.h"
#include "series/series_store.h"

using namespace krv::series;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  auto line = [&in]() {
    size_t nl = in.find('\n');
    std::string l(in.substr(0, nl));
    in.remove_prefix(nl == std::string_view::npos ? in.size() : nl + 1);
    return l;
  };
  std::string path = line();
  SeriesStore store;
  store.MessagesOn = false;
  store.CurrentDSDirPath = line();
  ParsedPath parsed;
  bool failure = false;
  if (!store.ParseDSFPath(path, parsed, failure)) return 0;
  if (parsed.Count() > kMaxDepth) __builtin_trap();
  while (!in.empty()) {
    std::string name = line();
    // The store's quick comparison of a plain name must agree with the
    // general matcher it stands in for.
    for (const PathComponent& c : parsed.components)
      if (SeriesStore::MatchNameComponent(c, name) !=
          krv::pe::MatchMaskSegment(c, krv::platform::UpperAscii(name)))
        __builtin_trap();
  }
  return 0;
}
