// The fixed-pitch font of the editor's value fields.
#pragma once

#include <QFont>

namespace krv::pe {

// "Courier New", or the system's fixed-pitch font where it is missing.
inline QFont GridFont() {
  QFont f("Courier New");
  f.setStyleHint(QFont::TypeWriter);
  f.setPixelSize(12);
  return f;
}

}  // namespace krv::pe
