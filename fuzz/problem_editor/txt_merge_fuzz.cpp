// Fuzzes reading a text listing record by record and matching what it
// reads (names and masks) onto a small problem.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "problem_editor/DispMrgU.h"
#include "problem_editor/text_listing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  krv::pe::EditorBuffer main;
  const char* names[] = {"FLOW.IN", "FLOW.OUT", "TANK.LEVEL", "A.B", "A.B"};
  for (const char* n : names) {
    krv::pe::VariableRecord r;
    r.name = n;
    r.TypeCode = 0;
    main.records.push_back(r);
  }
  for (bool all : {true, false}) {
    krv::pe::AutoMatcher matcher(main, all);
    krv::pe::TextLines in(bytes);
    krv::pe::TxtMergeRecord rec;
    size_t records = 0;
    for (;;) {
      krv::pe::TxtRead r = krv::pe::ReadTxtMergeRecord(in, rec);
      if (r != krv::pe::TxtRead::Record) break;
      // A name is "_X." and at most 77 characters.
      if (rec.name.size() > 80) std::abort();
      matcher.Apply(rec.name, rec.block);
      // Every record takes at least one line end, or ends the text.
      if (++records > size + 1) std::abort();
    }
    if (matcher.Count() < 0) std::abort();
  }
  return 0;
}
