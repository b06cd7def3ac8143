// The hourglass for the length of a scope, and the Qt side of the Qt-free
// Hourglass (platform/hourglass.h).
#pragma once

#include "platform/hourglass.h"

namespace krv::platform {

class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

// Makes every Hourglass scope show the wait cursor.
void InstallQtHourglass();

}  // namespace krv::platform
