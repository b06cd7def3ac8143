// Pieces the installer's windows build alike.
#pragma once

#include <QLabel>
#include <QRect>

namespace krv::setup {

// A label with its component name and Latin-1 text at `where`.
inline QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, QRect where) {
  auto* l = new QLabel(QString::fromLatin1(text), parent);
  l->setObjectName(name);
  l->setGeometry(where);
  return l;
}

}  // namespace krv::setup
