// Places a control of a fixed-layout dialog: its name, position and width,
// at the height the control asks for.
#pragma once

#include <QDialog>
#include <QLabel>
#include <algorithm>

namespace krv::view {

template <typename W>
W* Place(W* w, const char* name, int x, int y, int width) {
  w->setObjectName(name);
  w->setGeometry(x, y, width, w->sizeHint().height());
  return w;
}

// Widens a fixed-size dialog, and each of its labels, until every label's
// text is whole: a size the system gives never cuts off a text it gives
// (fonts here are wider than on the desktop the sizes were made for).
inline void FitLabels(QDialog* dialog) {
  int width = dialog->width();
  for (QLabel* l : dialog->findChildren<QLabel*>()) {
    QSize need = l->sizeHint();
    l->resize(std::max(l->width(), need.width()), std::max(l->height(), need.height()));
    width = std::max(width, l->x() + l->width() + 8);
  }
  dialog->setFixedSize(width, dialog->height());
}

}  // namespace krv::view
