// The bridge between byte strings and Qt: every byte shown as Latin-1.
#pragma once

#include <QString>
#include <string>

namespace krv::platform {

inline QString FromBytes(const std::string& s) {
  return QString::fromLatin1(s.data(), qsizetype(s.size()));
}
// Characters above 255 (typed by the user) cannot be stored; they become '?'.
std::string ToBytes(const QString& s);

}  // namespace krv::platform
