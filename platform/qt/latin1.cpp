// The bridge between byte strings and Qt: every byte shown as Latin-1.
#include "platform/qt/latin1.h"

namespace krv::platform {

std::string ToBytes(const QString& s) {
  std::string out;
  out.reserve(size_t(s.size()));
  for (QChar c : s) out.push_back(c.unicode() > 255 ? '?' : char(c.unicode()));
  return out;
}

}  // namespace krv::platform
