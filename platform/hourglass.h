// The hourglass pointer for the length of a scope, without Qt: programs
// with windows install the Qt side (platform/qt/wait_cursor.h); elsewhere
// the scope does nothing.
#pragma once

namespace krv::platform {

class HourglassDisplay {
 public:
  virtual ~HourglassDisplay() = default;
  virtual void Show() = 0;
  virtual void Restore() = 0;
};

// The display in force; null restores the silent default.
void SetHourglassDisplay(HourglassDisplay* display);

class Hourglass {
 public:
  Hourglass();
  ~Hourglass();
  Hourglass(const Hourglass&) = delete;
  Hourglass& operator=(const Hourglass&) = delete;

 private:
  HourglassDisplay* shown_;  // the one that must be restored
};

}  // namespace krv::platform
