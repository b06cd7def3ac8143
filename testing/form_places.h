// Where a program's controls lie in its windows, for real clicks: the test
// builds the same form in its own process, offscreen, and asks it. Forms
// place their controls at the positions they are given, and where a layout
// places them it does so alike here and in the running program (same fonts,
// same style), so the place holds for the real window's client area.
//
//   krv::testing::OffscreenApplication();
//   TForm0 form(mainDir);                               // not shown
//   krv::testing::Point at = krv::testing::CenterOf(form, "Button2");
//   x.Click(window, at);
#pragma once

#include <QString>

#include "testing/x_session.h"

class QApplication;
class QWidget;

namespace krv::testing {

// The application of the test process (offscreen), made on the first call.
QApplication& OffscreenApplication();

// The rectangle of the control named `objectName` (its Qt object name: the
// component name, "Button1") relative to the client area of `form`, the
// top-level window it is in. Layouts are applied first, top down. Throws if
// `form` has no such visible-by-design control.
Rect PlaceOf(QWidget& form, const QString& objectName);
Point CenterOf(QWidget& form, const QString& objectName);

}  // namespace krv::testing
