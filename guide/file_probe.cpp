// The shell's one test for a file: can it be opened for reading, and its stamp.
#include "guide/file_probe.h"

#include "platform/file_query.h"

namespace krv::guide {

bool GetFileDate(const std::string& name, uint32_t& stamp) {
  std::optional<uint32_t> date = krv::platform::ReadableFileDate(name);
  if (date) stamp = *date;
  return date.has_value();
}

}  // namespace krv::guide
