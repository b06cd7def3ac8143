// The hourglass for the length of a scope.
#include "platform/qt/wait_cursor.h"

#include <QApplication>
#include <memory>
#include <vector>

namespace krv::platform {

WaitCursor::WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
WaitCursor::~WaitCursor() { QApplication::restoreOverrideCursor(); }

namespace {
// Each Hourglass scope holds one WaitCursor.
class QtHourglass : public HourglassDisplay {
 public:
  void Show() override { shown_.push_back(std::make_unique<WaitCursor>()); }
  void Restore() override {
    if (!shown_.empty()) shown_.pop_back();
  }

 private:
  std::vector<std::unique_ptr<WaitCursor>> shown_;
};
}  // namespace

void InstallQtHourglass() {
  static QtHourglass display;
  SetHourglassDisplay(&display);
}

}  // namespace krv::platform
