// Plotvane as a modeller runs it: its windows on a real display with a
// window manager, driven by real keys and clicks; what it shows read from
// the screen's pixels, what it writes from the files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_query.h"
#include "testing/form_places.h"
#include "testing/temp_dir.h"
#include "testing/x_session.h"
#include "viewer/PlotU.h"
#include "viewer/forms/Plotvane1.h"
#include "viewer/forms/range_dialogs.h"
#include "viewer/tests/ttr_fixture.h"

namespace fs = std::filesystem;
using namespace krv::testing;
using krv::view::TForm1;
using krv::view::TTimeChgDlg;

namespace {

// Sixteen variables over the steps 0..40, _T = 0, 0.25, ..., 10. After the
// attach all of them are listed and line k shows variable k.
constexpr int kLastStep = 40;
constexpr double kLastTime = 10.0;
float Value(int32_t jt, int i) {
  switch (i) {
    case 14: return float(jt);                   // a rising ramp
    case 15: return float(kLastStep - jt);       // a falling one
    case 10: return float(jt * jt);              // a parabola
    case 11: return jt == kLastStep ? 1.0f : 0;  // flat, up at the last step
    case 12: return float(std::sin(0.2 * jt));
    default: return float(i);
  }
}
// The caption of the plot of variable i.
std::string PlotTitle(int i) {
  std::string code = std::to_string(i);
  return std::string(4 - code.size(), ' ') + code + " IO _X.V" + std::to_string(i);
}

// A screen region's pixels.
struct Image {
  int width = 0, height = 0;
  std::string rgb;
  const unsigned char* At(int x, int y) const {
    return reinterpret_cast<const unsigned char*>(rgb.data()) + 3 * (size_t(y) * size_t(width) + size_t(x));
  }
  // The curve and the ticks are black, the labels red.
  bool Black(int x, int y) const {
    const unsigned char* p = At(x, y);
    return p[0] < 90 && p[1] < 90 && p[2] < 90;
  }
  bool Red(int x, int y) const {
    const unsigned char* p = At(x, y);
    return p[0] > 150 && p[1] < 110 && p[2] < 110;
  }
};

class PlotvaneWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    krv::view::testing::TTRSpec desc;
    desc.d = 15;
    desc.jtmax = kLastStep;
    desc.value = Value;
    desc.time = [](int32_t jt) { return 0.25 * jt; };
    dir_.Write("CASE1.TTR", krv::view::testing::MakeTTRBytes(desc));
    dir_.Write("CASE1.VNM", krv::view::testing::MakeVNM(desc.label, desc.d));
    plotvane_ = StartProgram("Plotvane", {}, dir_.path());
    main_ = x_.WaitForWindow("Plotvane");
  }

  // File > Attach TTR, the file typed into the dialog, every variable
  // taken in the selection dialog.
  void Attach() {
    x_.Key(main_, "alt+f");
    x_.Key(main_, "a");
    const Window open = x_.WaitForWindow("Attach TTR");
    x_.Type(open, "CASE1.TTR");
    x_.Key(open, "Return");
    const Window select = x_.WaitForWindow("Variable Selection: (max 15)");
    x_.Key(select, "Return");
    x_.WaitUntilGone(select);
    ASSERT_TRUE(WaitUntil([&] { return x_.Title(main_) == "Plotvane -- " + dir_.File("CASE1"); },
                          kWindowTimeout, "the attached file in the caption"));
  }

  // The plot button of display line `line`, clicked; its plot's window.
  Window Plot(int line) {
    x_.Activate(main_);
    x_.Click(main_, CenterOf(form_, "SBt" + QString::number(line)));
    return x_.WaitForWindow(PlotTitle(line));
  }

  // Plots of the variables on `lines`; F6 hides the plots while their
  // buttons are clicked (the plots cover the lines), F6 shows them again.
  std::vector<Window> PlotHidden(const std::vector<int>& lines) {
    x_.Activate(main_);
    x_.Key(main_, "F6");
    std::vector<Window> out;
    for (int line : lines) x_.Click(main_, CenterOf(form_, "SBt" + QString::number(line)));
    x_.Key(main_, "F6");
    for (int line : lines) out.push_back(x_.WaitForWindow(PlotTitle(line)));
    return out;
  }

  void Tile(const std::vector<Window>& plots) {
    x_.Activate(main_);
    x_.Key(main_, "F12");
    // The window manager has placed them once their frames stop moving.
    std::vector<Rect> last;
    ASSERT_TRUE(WaitUntil(
        [&] {
          std::vector<Rect> now;
          for (Window w : plots) now.push_back(x_.Frame(w));
          bool same = now == last && now.front().y == 75;
          last = now;
          return same;
        },
        kWindowTimeout, "the tiled plots to settle"));
  }

  // What `w` shows now.
  Image Shot(Window w) {
    Rect c = x_.ClientArea(w);
    return {c.width, c.height, x_.Pixels(w, {0, 0, c.width, c.height})};
  }
  // What `w` shows once it is steady: a paint follows the window's last
  // move or change.
  Image Client(Window w) {
    Image img = Shot(w);
    EXPECT_TRUE(WaitUntil(
        [&] {
          Image now = Shot(w);
          bool same = now.rgb == img.rgb;
          img = std::move(now);
          return same;
        },
        kWindowTimeout, "the plot's pixels to settle"));
    return img;
  }

  // Where the last step of the whole range lies in a plot that starts at
  // the screen's left edge: the time axis fits the range into what a plot
  // tiled in the main window shows.
  int LastStepColumn() {
    krv::view::TimeAxis time;
    time.Scale(0, kLastTime,
               krv::view::TimeAxisPixels(x_.Frame(main_).width, x_.ClientArea(main_).width));
    return 2 + int(std::lround(kLastTime * time.scale));
  }

  QApplication& app_ = OffscreenApplication();  // before any form
  XSession x_;
  TempDir dir_;
  Program plotvane_;
  Window main_;
  TForm1 form_;  // the same main window, offscreen: where its controls lie
};

// The rightmost column of the curve: black pixels below the time ticks,
// right of the value ticks at the left, left of those at the right.
int RightmostCurveColumn(const Image& img) {
  for (int x = img.width - 35; x >= 12; --x)
    for (int y = 10; y < img.height; ++y)
      if (img.Black(x, y)) return x;
  return -1;
}

// Every plot shows its curve whole, from the first step to the last, with
// its labels inside the window, none over a tick.
void ExpectWholeCurveAndLabels(const Image& img, int lastColumn, const std::string& what) {
  EXPECT_NEAR(RightmostCurveColumn(img), lastColumn, 2) << what << ": the curve ends elsewhere than at the last step";
  // The first time label is whole: nothing red left of the labels' column
  // (a label cut at the left edge shows "000E+00" from column 0).
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < 11; ++x)
      if (img.Red(x, y)) {
        ADD_FAILURE() << what << ": a label cut at the left edge, red at " << x << "," << y;
        return;
      }
  // Every time tick is whole: a tick's column is black from row 0 to 8.
  for (int x = 12; x < img.width - 35; ++x) {
    if (!img.Black(x, 0)) continue;
    for (int y = 1; y <= 8; ++y)
      EXPECT_TRUE(img.Black(x, y)) << what << ": the time tick at column " << x << " is painted over at row " << y;
  }
}

}  // namespace

// The main road: attach, two plots, five tiled, their frames apart and
// each curve whole to the last step, printed to PDF through the print
// dialog reached by keys.
TEST_F(PlotvaneWindows, AttachPlotTileAndPrintToPdf) {
  Attach();
  const Window rising = Plot(14);
  const Window falling = Plot(15);
  EXPECT_TRUE(x_.Shown(rising));
  EXPECT_TRUE(x_.Shown(falling));
  std::vector<Window> plots = PlotHidden({10, 11, 12});
  plots.insert(plots.begin(), {rising, falling});
  Tile(plots);

  // Outer frames one below the other from 75, touching, none covering
  // another's title bar or contents.
  const Rect main = x_.ClientArea(main_);
  std::vector<Rect> frames;
  for (Window w : plots) frames.push_back(x_.Frame(w));
  std::sort(frames.begin(), frames.end(), [](const Rect& a, const Rect& b) { return a.y < b.y; });
  for (size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].x, 0) << i;
    EXPECT_EQ(frames[i].width, main.width) << i;
    if (i > 0) {
      EXPECT_EQ(frames[i].y, frames[i - 1].y + frames[i - 1].height) << i;
    }
  }
  EXPECT_LE(frames.back().y + frames.back().height, main.y + main.height);
  for (Window w : plots) {
    Rect c = x_.ClientArea(w), f = x_.Frame(w);
    EXPECT_TRUE(c.y > f.y && c.y + c.height <= f.y + f.height && c.x >= f.x) << w;
  }

  const int last = LastStepColumn();
  std::vector<Image> shown;
  for (Window w : plots) {
    shown.push_back(Client(w));
    ExpectWholeCurveAndLabels(shown.back(), last, x_.Title(w));
  }
  // The variable that rises only at the last step: its last segment is
  // drawn, up through the middle of the window.
  ASSERT_EQ(x_.Title(plots[3]), PlotTitle(11));
  const Image& jump = shown[3];
  bool middle = false;
  for (int x = last - 20; x <= last + 2 && !middle; ++x)
    middle = jump.Black(x, jump.height / 2);
  EXPECT_TRUE(middle) << "the rise at the last step is not drawn";

  // File > Print graphs, by keys; the PDF is named in the dialog.
  const std::string pdf = dir_.File("PLOTS.pdf");
  x_.Activate(main_);
  x_.Key(main_, "alt+f");
  x_.Key(main_, "Down Down Down Down Down Return");
  const Window print = x_.WaitForWindow("Print");
  EXPECT_EQ(x_.Windows().back(), print);
  x_.Key(print, "alt+f ctrl+a");
  x_.Type(print, pdf);
  x_.Key(print, "alt+p");
  x_.WaitUntilGone(print);
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(pdf) && fs::file_size(pdf) > 1000; }, kWindowTimeout,
                        "the printed PDF"));
  Program text = StartProgram(krv::platform::FindOnPath("pdftotext"), {"-layout", pdf, dir_.File("PLOTS.txt")},
                              dir_.path());
  ASSERT_EQ(text.WaitForExit(kWindowTimeout), 0);
  const std::string pages = dir_.Read("PLOTS.txt");
  EXPECT_EQ(std::count(pages.begin(), pages.end(), '\f'), 5);
  for (int v : {14, 15, 10, 11, 12}) EXPECT_NE(pages.find("_X.V" + std::to_string(v)), std::string::npos) << v;
  EXPECT_NE(pages.find("0.0000E+00"), std::string::npos);  // the first time label
}

// With plots up, every dialog opens in front of them and has the keyboard:
// Escape, typed by a person, reaches it and closes it.
TEST_F(PlotvaneWindows, DialogsOpenInFrontOfThePlotsAndTakeTheKeyboard) {
  struct Case {
    const char* keys;   // on the main window
    const char* title;  // of the dialog that opens
  } cases[] = {
      {"alt+f Down Down Down Down Down Return", "Print"},        // Print graphs
      {"alt+f Down Down Down Down Return", "SaveText"},
      {"alt+f Down Down Down Return", "DSF file for the save"},  // Save DSF transf indices
      {"alt+f Up Up Return", "Plotvane"},                        // Copy Truncating ...: its question
      {"alt+f a", "Attach TTR"},
      {"F4", "Variable Selection: (max 15)"},                    // DisplayAdd
      {"alt+v v", "Point density in range for DSF or plotting:"},
  };
  Attach();
  std::vector<Window> plots = {Plot(14), Plot(15)};
  Tile(plots);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    x_.Activate(main_);
    x_.Key(main_, c.keys);
    const Window dialog = x_.WaitForWindow(c.title);
    EXPECT_TRUE(WaitUntil([&] { return x_.Windows().back() == dialog; }, kWindowTimeout, "the dialog on top"));
    EXPECT_TRUE(WaitUntil([&] { return x_.ActiveWindow() == dialog; }, kWindowTimeout,
                          "the dialog to have the keyboard"));
    x_.Key(dialog, "Escape");
    x_.WaitUntilGone(dialog);
    for (Window w : plots) EXPECT_TRUE(x_.Shown(w));
  }
}

// The range dialog stays above a plot that is clicked, and its buttons
// take clicks; a new range and "Unrestrict" rescale the plots, so each
// curve fits the window again.
TEST_F(PlotvaneWindows, RangeDialogStaysInFrontAndUnrestrictRescales) {
  Attach();
  const Window rising = Plot(14);
  Tile({rising});
  x_.Activate(main_);
  x_.Key(main_, "alt+v");
  x_.Key(main_, "r");
  const Window range = x_.WaitForWindow("_T  Range Change:");
  x_.Click(rising, {40, x_.ClientArea(rising).height / 2});
  ASSERT_TRUE(WaitUntil([&] { return x_.ActiveWindow() == rising; }, kWindowTimeout, "the clicked plot active"));
  ASSERT_TRUE(WaitUntil([&] { return x_.Windows().back() == range; }, kWindowTimeout,
                        "the range dialog above the clicked plot"));

  // Upper bound at step 20 (Right steps the time on the main window), then
  // the lower one at step 0.
  x_.Activate(main_);
  std::string twenty;
  for (int i = 0; i < 20; ++i) twenty += "Right ";
  x_.Key(main_, twenty);
  TTimeChgDlg dialog;
  x_.Click(range, CenterOf(dialog, "Button1"));
  x_.WaitUntilGone(rising);  // hidden while the lower bound is chosen
  x_.Click(range, CenterOf(dialog, "Button1"));
  x_.WaitUntilGone(range);
  ASSERT_TRUE(WaitUntil([&] { return x_.Shown(rising); }, kWindowTimeout, "the plot back"));

  // A plot opened within the range, both tiled over it, then the whole
  // range again: the curves are rescaled to it.
  const Window falling = PlotHidden({15}).front();
  Tile({rising, falling});
  x_.Activate(main_);
  x_.Key(main_, "alt+v");
  x_.Key(main_, "u");
  const int last = LastStepColumn();
  for (Window w : {rising, falling}) {
    ASSERT_TRUE(WaitUntil([&] { return std::abs(RightmostCurveColumn(Shot(w)) - last) <= 2; },
                          kWindowTimeout, x_.Title(w) + ": the curve rescaled to the whole range"));
    Image img = Client(w);
    // Both ends inside: the ramp's top and bottom rows are reached.
    int top = img.height, bottom = -1;
    for (int y = 10; y < img.height; ++y)
      for (int x = 12; x < img.width - 35; ++x)
        if (img.Black(x, y)) {
          top = std::min(top, y);
          bottom = std::max(bottom, y);
        }
    EXPECT_LT(top, img.height / 3) << x_.Title(w);
    EXPECT_GT(bottom, img.height * 2 / 3) << x_.Title(w);
  }
}

// Plots stay above their own main window only: another program's window
// opens above them.
TEST_F(PlotvaneWindows, PlotsStayBelowOtherPrograms) {
  Attach();
  std::vector<Window> plots = {Plot(14), Plot(15)};
  Tile(plots);
  TempDir other;
  Program second = StartProgram("Plotvane", {}, other.path());
  Window w;
  ASSERT_TRUE(WaitUntil(
      [&] {
        auto mine = x_.WindowsOf(second);
        if (mine.empty()) return false;
        w = mine.front();
        return true;
      },
      kWindowTimeout, "the second program's window"));
  ASSERT_TRUE(WaitUntil([&] { return x_.Windows().back() == w; }, kWindowTimeout,
                        "the other program's window on top"));
  second.Kill();
}
