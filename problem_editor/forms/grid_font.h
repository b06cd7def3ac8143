// The grid fields' fixed-pitch font and the keys that page a grid.
#pragma once

#include <QFont>
#include <optional>

#include "problem_editor/variable_grid.h"

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

// The grid key a Qt key is: page, end and cursor keys; nothing for others.
std::optional<GridKey> GridKeyFor(int qtKey);

}  // namespace krv::pe
