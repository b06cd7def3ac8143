// The hourglass pointer for the length of a scope.
#include "platform/hourglass.h"

namespace krv::platform {

namespace {
HourglassDisplay* g_display = nullptr;
}

void SetHourglassDisplay(HourglassDisplay* display) { g_display = display; }

Hourglass::Hourglass() : shown_(g_display) {
  if (shown_) shown_->Show();
}

Hourglass::~Hourglass() {
  if (shown_) shown_->Restore();
}

}  // namespace krv::platform
