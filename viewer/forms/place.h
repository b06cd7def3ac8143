// Places a control of a fixed-layout dialog: its name, position and width,
// at the height the control asks for.
#pragma once

namespace krv::view {

template <typename W>
W* Place(W* w, const char* name, int x, int y, int width) {
  w->setObjectName(name);
  w->setGeometry(x, y, width, w->sizeHint().height());
  return w;
}

}  // namespace krv::view
