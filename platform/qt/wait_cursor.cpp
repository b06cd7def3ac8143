// The hourglass for the length of a scope.
#include "platform/qt/wait_cursor.h"

#include <QApplication>

namespace krv::platform {

WaitCursor::WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
WaitCursor::~WaitCursor() { QApplication::restoreOverrideCursor(); }

}  // namespace krv::platform
