// Real windows for tests: a virtual X display with a window manager, on
// which programs run as a person meets them, driven by real key presses and
// mouse clicks (XTEST, through xdotool).
//
//   QApplication& app = krv::testing::OffscreenApplication();  // for the forms
//   krv::testing::XSession x;          // Xvfb + openbox, torn down at scope end
//   auto setup = krv::testing::StartProgram(main + "/setup", {}, main);
//   krv::testing::Window w = x.WaitForWindow("Kravenor Setup");
//   TForm0 form(main);                 // the same window, offscreen, not shown
//   x.Click(w, krv::testing::CenterOf(form, "Button1"));
//   x.Key(x.WaitForWindow("Setup for Kravenor"), "Return");  // it must have the keyboard
//   EXPECT_EQ(setup.WaitForExit(krv::testing::kWindowTimeout), 0);
//
// CMake: krv_add_real_input_test(NAME SOURCES ... LIBS ...) (cmake/Krv.cmake)
// links this harness and labels the cases real-input.
//
// Where a control is: build the same form offscreen in the test and ask it
// (testing/form_places.h), then click at that point of the real window.
// Prefer keys wherever a person would use them (Alt+letter for menus, Tab,
// Return, accelerators). Never reach into the program's widgets or use
// accessibility: modality, stacking and focus must be what a person meets.
//
// Failures of the harness itself (no window with that title in time, a
// window that does not take the keyboard, a tool that fails) throw
// std::runtime_error: GoogleTest reports the message and the test stops.
// Before it throws, when WaitUntil times out, and when a test that failed
// ends its session, the screen is written as a PNG next to the test's output
// (its working directory, or $KRV_SCREENSHOT_DIR: <build>/real-input-screens
// under CTest) and the message names the file. A test that passes leaves none.
//
// Every XSession has a display of its own (Xvfb -displayfd picks a free
// number), so tests run in parallel. Programs started while it is alive get
// its DISPLAY, QT_QPA_PLATFORM=xcb and HOME = Home(), a fresh directory.
// At its end every process the test started and left behind is ended, then
// openbox and Xvfb; should the test process die, they die with it (so make
// the session, and start programs, on the test's main thread). Needs Xvfb, openbox, xdotool, xprop, xwininfo and
// ImageMagick's import (tools/install-deps.sh installs them).
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "testing/program.h"

namespace krv::testing {

using namespace std::chrono_literals;

// How long a window is waited for (appearing, taking the keyboard) before
// the test fails: generous, since a loaded machine and a sanitizer build
// are slow; a passing test never waits it out.
inline constexpr std::chrono::milliseconds kWindowTimeout = 20s;

// A top-level window, by its X id; 0 is none.
struct Window {
  uint32_t id = 0;
  explicit operator bool() const { return id != 0; }
  bool operator==(const Window&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Window& w);  // "0x400006"

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};

struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  Point Center() const { return {x + width / 2, y + height / 2}; }
  bool operator==(const Rect&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Rect& r);  // "(x,y WxH)"

class XSession {
 public:
  // Starts Xvfb and openbox and waits until openbox manages the screen.
  // Throws if either cannot start.
  explicit XSession(std::chrono::milliseconds startTimeout = kWindowTimeout);
  ~XSession();
  XSession(const XSession&) = delete;
  XSession& operator=(const XSession&) = delete;

  const std::string& Display() const { return display_; }  // ":3"
  const std::string& Home() const { return home_; }        // HOME of programs started

  // --- windows: the top-level windows openbox manages and shows (not minimised)
  // The window titled exactly `title`, once there is one (the topmost, if
  // several); throws after `timeout`.
  Window WaitForWindow(const std::string& title,
                       std::chrono::milliseconds timeout = kWindowTimeout);
  // Waits until `w` is no longer shown (closed, hidden or minimised); throws after `timeout`.
  void WaitUntilGone(Window w, std::chrono::milliseconds timeout = kWindowTimeout);
  // Whether `w` is shown now.
  bool Shown(Window w);
  // The windows shown now, bottom to top (the last one is on top).
  std::vector<Window> Windows();
  // Those of them that belong to `program`.
  std::vector<Window> WindowsOf(const Program& program);
  // The title of `w` now.
  std::string Title(Window w);
  // The window that has the keyboard (openbox's active window); none if no window has it.
  Window ActiveWindow();
  // Makes `w` the active window as a person would (through the window
  // manager); throws if it does not become active within `timeout`, as
  // when a modal window of its program keeps the keyboard.
  void Activate(Window w, std::chrono::milliseconds timeout = kWindowTimeout);

  // --- geometry, in screen coordinates
  // The client area: the program's own pixels, without title bar and border.
  Rect ClientArea(Window w);
  // The outer frame: the client area with openbox's title bar and borders.
  Rect Frame(Window w);

  // --- real input
  // Moves the pointer to `at` (relative to the client area of `w`) and
  // clicks `button` (1 left, 2 middle, 3 right) `count` times. The click
  // lands on whatever is on top there, as a person's would.
  void Click(Window w, Point at, int button = 1, int count = 1);
  // Presses key chords in xdotool's names, several separated by blanks:
  // "alt+f", "ctrl+s", "Return", "F9", "Tab Tab space". `w` must be the
  // active window (waited for up to kWindowTimeout, else the test fails):
  // keys go where the keyboard is, as a person's do.
  void Key(Window w, const std::string& chords);
  // Types `text` into `w` (which must be active, as for Key).
  void Type(Window w, const std::string& text);

  // --- what a person sees
  // The pixels of `area` (relative to the client area of `w`) as the screen
  // shows them: 3 bytes (red, green, blue) each, row by row from the top.
  // For checks that what is shown changed, or did not.
  std::string Pixels(Window w, Rect area);

  // --- diagnosis
  // Writes the whole screen as PNG next to the test's output, named after
  // the test and `label`; returns its path ("" if import failed).
  std::string Screenshot(const std::string& label);

 private:
  struct WindowInfo {
    Window window;
    std::string title;
    long pid = 0;
    bool shown = false;
  };
  std::vector<WindowInfo> Managed();
  WindowInfo Describe(Window w);
  void RequireActive(Window w, const char* action);
  std::string Xdotool(const std::vector<std::string>& args, const char* what);
  [[noreturn]] void Fail(const std::string& message);
  void EndLeftovers();

  std::string dir_;      // scratch directory of the session
  std::string home_;
  std::string display_;
  pid_t xvfb_ = -1;
  pid_t openbox_ = -1;
  Environment env_;      // DISPLAY for the tools
  int shots_ = 0;
  std::vector<std::string> shotFiles_;  // removed at the end if the test passed
  struct Hooks;
  Hooks* hooks_ = nullptr;
};

}  // namespace krv::testing
