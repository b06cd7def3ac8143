// The fixed-pitch font of the editor's value fields.
#pragma once

#include <QFont>

class QLabel;
class QLineEdit;
class QString;

namespace krv::pe {

// "Courier New", or the system's fixed-pitch font where it is missing.
inline QFont GridFont() {
  QFont f("Courier New");
  f.setStyleHint(QFont::TypeWriter);
  f.setPixelSize(12);
  return f;
}

// Shows a value's text whole in its field: in the grid font, made smaller
// only as far as a longer text (a three-digit exponent) needs to fit the
// field's width, so that neither its start nor its end is cut off.
void ShowWhole(QLineEdit* edit, const QString& text);
void ShowWhole(QLabel* label, const QString& text);

}  // namespace krv::pe
