// Where a program's controls lie in its windows, asked of the same form built offscreen.
#include "testing/form_places.h"

#include <QApplication>
#include <QLayout>
#include <QWidget>

#include <stdexcept>

namespace krv::testing {

namespace {

// Applies the layouts of `w` and of everything inside it, outer first, so
// that each inner one lays out in the size the outer one gave it.
void ApplyLayouts(QWidget* w) {
  w->ensurePolished();
  if (QLayout* l = w->layout()) l->activate();
  for (QObject* child : w->children())
    if (auto* cw = qobject_cast<QWidget*>(child); cw && !cw->isWindow()) ApplyLayouts(cw);
}

}  // namespace

QApplication& OffscreenApplication() {
  if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return *app;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "real-input-test";
  static char* argv[] = {name, nullptr};
  return *new QApplication(argc, argv);  // lives as long as the test process
}

Rect PlaceOf(QWidget& form, const QString& objectName) {
  QWidget* top = form.window();
  ApplyLayouts(top);
  auto* w = top->findChild<QWidget*>(objectName);
  if (!w)
    throw std::runtime_error("PlaceOf: " + top->objectName().toStdString() + " has no control " +
                             objectName.toStdString());
  if (w->isHidden() && w->testAttribute(Qt::WA_WState_ExplicitShowHide))
    throw std::runtime_error("PlaceOf: " + objectName.toStdString() + " is hidden");
  const QPoint at = w->mapTo(top, QPoint(0, 0));
  return {at.x(), at.y(), w->width(), w->height()};
}

Point CenterOf(QWidget& form, const QString& objectName) {
  return PlaceOf(form, objectName).Center();
}

}  // namespace krv::testing
