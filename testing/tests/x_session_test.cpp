// Real windows: the display session's start and end, and the probe window
// driven by real clicks and keys at places asked of the same form offscreen.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "probe_form.h"
#include "testing/form_places.h"
#include "testing/temp_dir.h"
#include "testing/x_session.h"

namespace fs = std::filesystem;
using namespace krv::testing;

namespace {

// The probe program running in a session of its own, its window up.
class ProbeWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    probe_ = StartProgram(KRV_PROBE, {dir_.File("log"), dir_.File("places")}, dir_.path());
    window_ = x_.WaitForWindow("Probe window");
  }
  // Whether the probe has logged `line`.
  bool Logged(const std::string& line) {
    return WaitUntil([&] { return ("\n" + dir_.Read("log")).find("\n" + line + "\n") != std::string::npos; },
                     kWindowTimeout, "\"" + line + "\" in the probe's log");
  }

  QApplication& app_ = OffscreenApplication();  // before any form
  XSession x_;
  TempDir dir_;
  Program probe_;
  Window window_;
  Probe form_;  // the same window, offscreen
};

}  // namespace

TEST_F(ProbeWindow, GeometryOfClientAreaFrameAndControlsAgreesWithTheRunningWindow) {
  const Rect client = x_.ClientArea(window_);
  EXPECT_EQ(client, (Rect{200, 150, 420, 300}));
  const Rect frame = x_.Frame(window_);
  EXPECT_LT(frame.y, client.y);  // the title bar
  EXPECT_LE(frame.x, client.x);
  EXPECT_GT(frame.height, client.height);
  EXPECT_GE(frame.width, client.width);
  EXPECT_EQ(x_.Title(window_), "Probe window");
  const std::string pixels = x_.Pixels(window_, PlaceOf(form_, "Press"));
  EXPECT_EQ(pixels.size(), size_t(110 * 30 * 3));
  EXPECT_NE(pixels.find_first_not_of(pixels[0]), std::string::npos);  // a button, not a blank
  EXPECT_EQ(x_.WindowsOf(probe_), std::vector<Window>{window_});

  ASSERT_TRUE(WaitUntil([&] { return dir_.Has("places"); }, kWindowTimeout, "the probe's places"));
  std::map<std::string, Rect> real;
  std::istringstream lines(dir_.Read("places"));
  std::string name;
  Rect r;
  while (lines >> name >> r.x >> r.y >> r.width >> r.height) real[name] = r;
  // Placed controls, and controls that layouts placed.
  for (const char* control : {"Edit", "Press", "Panel", "Left", "Right", "Low"}) {
    ASSERT_TRUE(real.count(control)) << control;
    EXPECT_EQ(PlaceOf(form_, control), real[control]) << control;
  }
  EXPECT_THROW(PlaceOf(form_, "Nothing"), std::runtime_error);
}

TEST_F(ProbeWindow, ClicksTypedTextAndKeyChordsReachTheWindow) {
  x_.Click(window_, CenterOf(form_, "Right"));
  EXPECT_TRUE(Logged("clicked Right"));
  x_.Click(window_, CenterOf(form_, "Low"));
  EXPECT_TRUE(Logged("clicked Low"));
  x_.Click(window_, CenterOf(form_, "Edit"));
  x_.Type(window_, "Hello /usr, -x");
  x_.Key(window_, "Return");
  EXPECT_TRUE(Logged("text Hello /usr, -x"));
  x_.Key(window_, "ctrl+s");
  EXPECT_TRUE(Logged("shortcut ctrl+s"));
  EXPECT_THROW(x_.Click(window_, {420, 10}), std::runtime_error);  // outside the client area
  x_.Key(window_, "ctrl+q");
  EXPECT_EQ(probe_.WaitForExit(kWindowTimeout), 7);
}

TEST_F(ProbeWindow, AModalDialogIsOnTopAndKeepsTheKeyboardUntilItCloses) {
  x_.Click(window_, CenterOf(form_, "Press"));
  const Window dialog = x_.WaitForWindow("Probe dialog");
  ASSERT_TRUE(WaitUntil([&] { return x_.ActiveWindow() == dialog; }, kWindowTimeout, "the dialog active"));
  EXPECT_EQ(x_.Windows().back(), dialog);
  EXPECT_EQ(x_.WindowsOf(probe_), (std::vector<Window>{window_, dialog}));
  // A person cannot bring the main window back while the dialog is up.
  EXPECT_THROW(x_.Activate(window_, 2s), std::runtime_error);
  x_.Key(dialog, "Return");
  EXPECT_TRUE(Logged("dialog accepted"));
  x_.WaitUntilGone(dialog);
  x_.Activate(window_);
  EXPECT_EQ(x_.Windows(), std::vector<Window>{window_});
}

TEST(XSession, ATimedOutWaitLeavesAScreenshotAndTheEndLeavesNothingRunning) {
  TempDir shots, dir;
  ::setenv("KRV_SCREENSHOT_DIR", shots.path().c_str(), 1);
  std::string socket;
  long detached = 0;
  {
    XSession x;
    ASSERT_EQ(x.Display()[0], ':');
    socket = "/tmp/.X11-unix/X" + x.Display().substr(1);
    EXPECT_TRUE(fs::exists(socket));
    EXPECT_TRUE(x.Windows().empty());
    // A program that leaves a process of its own session behind.
    Program p = StartProgram("/bin/sh", {"-c", "setsid sleep 300 & echo $! > pid; echo \"$HOME|$DISPLAY\" > env"},
                             dir.path());
    EXPECT_EQ(p.WaitForExit(kWindowTimeout), 0);
    EXPECT_EQ(dir.Read("env"), x.Home() + "|" + x.Display() + "\n");
    detached = std::stol(dir.Read("pid"));
    EXPECT_TRUE(ProcessAlive(detached));

    EXPECT_FALSE(WaitUntil([] { return false; }, 100ms, "nothing"));
    auto names = shots.Names();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_NE(names[0].find("nothing"), std::string::npos) << names[0];
    EXPECT_EQ(shots.Read(names[0]).substr(0, 4), "\x89PNG");
  }
  ::unsetenv("KRV_SCREENSHOT_DIR");
  EXPECT_FALSE(ProcessAlive(detached));
  EXPECT_FALSE(fs::exists(socket));
  EXPECT_FALSE(fs::exists("/tmp/.X" + socket.substr(socket.rfind('X') + 1) + "-lock"));
}
