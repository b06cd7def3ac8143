// The input of the store fuzz targets: a data-series file, and, from the
// first place where a journal's header begins (past the file's first two
// records), the rollback journal left beside it. Both are written into a
// scratch directory as NAME and NAME-journal; an input without a journal
// writes none.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

namespace krv::fuzz {

inline void WriteStoreInput(const uint8_t* data, size_t size, const std::string& file) {
  static const uint8_t kJournal[8] = {'K', 'R', 'V', 'J', 'R', 'N', 'L', 1};
  size_t cut = size;
  for (size_t i = 256; i + sizeof kJournal <= size; ++i)
    if (std::memcmp(data + i, kJournal, sizeof kJournal) == 0) {
      cut = i;
      break;
    }
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(cut));
  }
  const std::string journal = file + "-journal";
  if (cut == size) {
    ::unlink(journal.c_str());
    return;
  }
  std::ofstream out(journal, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data + cut), std::streamsize(size - cut));
}

}  // namespace krv::fuzz
