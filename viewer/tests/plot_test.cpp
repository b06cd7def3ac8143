// The plots' grid, axes and the geometry of a paint.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>

#include "viewer/PlotU.h"

namespace krv::view {
namespace {

TEST(PlotGrid, ChoosesTheFinestGridNotAboveTheWantedScale) {
  struct Case {
    double wanted;
    int index;
    double step;
  } cases[] = {
      {1.0, 129, 40},      {1e9, 192, 4e-8},   {1e30, 280, 1e-20}, {1e-30, 0, 1e20},
      {1.5, 130, 30},      {12.65, 137, 3},    {32, 140, 1},
  };
  for (const Case& c : cases) {
    GridChoice g = ChooseGridStep(c.wanted);
    EXPECT_EQ(g.index, c.index) << c.wanted;
    EXPECT_FLOAT_EQ(float(g.step), float(c.step)) << c.wanted;
    EXPECT_DOUBLE_EQ(g.scale, 32.0 / double(float(c.step))) << c.wanted;
  }
  EXPECT_DOUBLE_EQ(ChooseGridStep(1.0).scale, 0.8);
  // Steps are singles and fall with the index.
  for (int i = 1; i < kGridSteps; ++i) EXPECT_LT(GridStep(i), GridStep(i - 1)) << i;
  EXPECT_EQ(GridStep(141), 0.8f);
  EXPECT_EQ(GridStep(6), 1.5e19f);
}

TimeRange Range(int32_t lo, int32_t hi, int32_t density) {
  TimeRange r;
  r.lo = lo;
  r.hi = hi;
  r.density = density;
  r.Update();
  return r;
}

std::vector<double> Times(int32_t count, double step = 1.0) {
  std::vector<double> t(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) t[size_t(i)] = i * step;
  return t;
}

struct Plot {
  TimeRange range;
  std::vector<double> times;
  std::vector<float> buffer;
  TimeAxis time;
  ValueAxis value;
  PlotView view;

  Plot(int32_t hi, std::vector<float> values, int height = 150) : range(Range(0, hi, 1)) {
    times = Times(hi + 1);
    buffer = std::move(values);
    view.width = 636;
    view.height = height;
    view.screenWidth = 644;
    time.Scale(times.front(), times.back(), 1265);  // a screen 1280 wide
    time.SyncOrigin(range, 0, times);
    value.Autoscale(buffer, height);
  }
  PlotPaint Paint() const { return PaintPlot(view, time, value, range, times, buffer); }
};

std::vector<float> Ramp(int count, float from, float to) {
  std::vector<float> v(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) v[size_t(i)] = from + (to - from) * float(i) / float(count - 1);
  return v;
}

const PlotText* FindText(const PlotPaint& p, const std::string& text) {
  for (const PlotText& t : p.texts)
    if (t.text == text) return &t;
  return nullptr;
}

TEST(PlotGeometry, ValueTicksAndCurveLieWhereTheScaleSays) {
  Plot p(100, Ramp(102, 0, 100));
  EXPECT_EQ(p.value.gridIndex, 130);
  EXPECT_DOUBLE_EQ(p.value.top, 140.625);
  PlotPaint paint = p.Paint();
  ASSERT_EQ(paint.valueTicks, 4);
  const int ys[] = {118, 86, 54, 22};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(paint.lines[size_t(paint.timeTicks + 2 * i)].a, (PlotPoint{0, ys[i]}));
    EXPECT_EQ(paint.lines[size_t(paint.timeTicks + 2 * i + 1)].b, (PlotPoint{613, ys[i]}));
  }
  const PlotText* label = FindText(paint, " 3.0000E+01");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->at, (PlotPoint{12, 112}));
  // The curve: value 0 at the bottom edge, one point per step.
  ASSERT_EQ(paint.curve.size(), 1u);
  EXPECT_EQ(paint.curve[0].front(), (PlotPoint{2, 149}));  // the last row
  // 100 time units on 1280 pixels: ticks every 12 units (4 x step 3).
  EXPECT_EQ(p.time.gridIndex, 137);
  EXPECT_DOUBLE_EQ(p.time.labelStep, 12);
  ASSERT_GE(paint.timeTicks, 2);
  EXPECT_EQ(paint.lines[1].a.x - paint.lines[0].a.x, 128);
  EXPECT_EQ(paint.texts[1].at, (PlotPoint{2 + 128 - 20, 10}));
}

TEST(PlotGeometry, ExtremeValuesAndZoomsStayBounded) {
  struct Case {
    const char* what;
    std::vector<float> values;
    int valueZooms;
    int timeZooms;
  } cases[] = {
      {"flat at 1e9", std::vector<float>(102, 1e9f), 0, 0},
      {"flat at 4e8", std::vector<float>(102, 4e8f), 0, 0},
      {"deep value zoom", Ramp(102, 0, 100), 140, 0},
      {"deep time zoom", Ramp(102, 0, 100), 0, 143},
      {"coarsest", Ramp(102, -3e38f, 3e38f), -200, -200},
  };
  for (const Case& c : cases) {
    Plot p(100, c.values);
    for (int i = 0; i < std::abs(c.valueZooms); ++i) p.value.ZoomPlotY(c.valueZooms > 0);
    for (int i = 0; i < std::abs(c.timeZooms); ++i) p.time.ZoomTimeAxis(c.timeZooms > 0);
    p.time.originT = 1e9;  // times far from zero as well
    p.times = Times(101, 1e7);
    PlotPaint paint = p.Paint();
    EXPECT_LE(paint.valueTicks, p.view.height / 32 + 2) << c.what;
    EXPECT_LE(paint.timeTicks, p.view.screenWidth / 128 + 4) << c.what;
    for (const auto& run : paint.curve)
      for (PlotPoint pt : run) EXPECT_LE(std::abs(pt.y), 30000) << c.what;
  }
}

TEST(PlotGeometry, NonFiniteValuesAreLeftOutAndLeaveAGap) {
  const float inf = std::numeric_limits<float>::infinity();
  std::vector<float> v = Ramp(102, 0, 100);
  v[10] = std::nanf("");
  v[20] = inf;
  v[101] = -inf;  // the value at hi scales only
  Plot p(100, v);
  EXPECT_DOUBLE_EQ(p.value.top, 140.625);  // as without them
  PlotPaint paint = p.Paint();
  ASSERT_EQ(paint.curve.size(), 3u);
  EXPECT_EQ(paint.curve[0].size(), 10u);
  EXPECT_EQ(paint.curve[1].size(), 9u);
  EXPECT_EQ(paint.curve[2].size(), 40u);  // up to the window's right edge

  Plot none(3, std::vector<float>(5, std::nanf("")));
  EXPECT_TRUE(std::isfinite(none.value.top));
  EXPECT_TRUE(none.Paint().curve.empty());
}

TEST(PlotGeometry, TheAxisIsTiedToTheScreenAndPrintingAddsTheFrame) {
  Plot p(100, Ramp(102, 0, 100));
  p.view.screenLeft = 300;  // a window further right starts later in time
  PlotPaint paint = p.Paint();
  ASSERT_FALSE(paint.curve.empty());
  EXPECT_EQ(paint.curve[0].front().x, 2 + int(std::lround(28 * 32.0 / 3)) - 300);
  p.view.printing = true;
  p.view.caption = "   1 CO  _X.TANK.FLOW";
  paint = p.Paint();
  const PlotText* caption = FindText(paint, p.view.caption);
  ASSERT_NE(caption, nullptr);
  EXPECT_EQ(caption->at, (PlotPoint{100, 30}));
  EXPECT_EQ(paint.lines[size_t(paint.timeTicks)].a, (PlotPoint{0, 147}));
  EXPECT_EQ(paint.lines[size_t(paint.timeTicks) + 1].a, (PlotPoint{613, 0}));
}

TEST(PlotAxes, OriginZoomAndScroll) {
  TimeRange r = Range(10, 100, 4);
  std::vector<double> t = Times(101, 0.5);
  TimeAxis time;
  EXPECT_TRUE(time.SyncOrigin(r, 21, t));
  EXPECT_EQ(time.originStep, 18);
  EXPECT_DOUBLE_EQ(time.originT, 9.0);
  EXPECT_FALSE(time.SyncOrigin(r, 20, t));

  ValueAxis v;
  v.Autoscale(Ramp(5, 0, 100), 150);
  double top = v.top;
  v.ZoomPlotY(true);
  EXPECT_EQ(v.gridIndex, 131);
  EXPECT_DOUBLE_EQ(v.top, top);
  v.Scroll(100);
  EXPECT_DOUBLE_EQ(v.top, 0.0);  // the lowest value at the top edge
  v.Scroll(0);
  EXPECT_DOUBLE_EQ(v.top, top);

  // A range of one step: one buffered value, nothing drawn.
  EXPECT_EQ(PlotSteps(Range(5, 5, 1)), (std::vector<int32_t>{5}));
  EXPECT_EQ(PlotSteps(Range(10, 20, 3)), (std::vector<int32_t>{10, 13, 16, 19, 20}));
}

TEST(PlotGeometry, TheCurveRunsThroughTheLastStep) {
  // Times 0, 0.5, ..., 10: the curve ends at 10 with the value at hi,
  // whatever the density.
  struct Case {
    int32_t lo, hi, density;
  } cases[] = {{0, 20, 1}, {0, 20, 3}, {4, 20, 5}, {0, 1, 1}};
  for (const Case& c : cases) {
    TimeRange r = Range(c.lo, c.hi, c.density);
    std::vector<double> t = Times(21, 0.5);
    std::vector<int32_t> steps = PlotSteps(r);
    std::vector<float> buffer;
    for (int32_t s : steps) buffer.push_back(float(s * s));
    TimeAxis time;
    time.Scale(t[size_t(c.lo)], t[size_t(c.hi)], 600);
    time.SyncOrigin(r, c.lo, t);
    ValueAxis value;
    value.Autoscale(buffer, 150);
    PlotView view{636, 150, 0, 644};
    PlotPaint paint = PaintPlot(view, time, value, r, t, buffer);
    ASSERT_EQ(paint.curve.size(), 1u) << c.hi << "/" << c.density;
    const std::vector<PlotPoint>& run = paint.curve[0];
    EXPECT_EQ(run.size(), steps.size()) << c.density;
    int lastX = 2 + int(std::lround((t[size_t(c.hi)] - t[size_t(c.lo)]) * time.scale));
    EXPECT_EQ(run.back().x, lastX) << c.density;
    EXPECT_EQ(run.back().y, int(std::lround((value.top - double(c.hi * c.hi)) * value.scale)));
  }
  // A range of one step: one point, no line.
  TimeRange one = Range(5, 5, 1);
  std::vector<double> t = Times(6);
  TimeAxis time;
  time.Scale(5, 5, 600);
  time.SyncOrigin(one, 5, t);
  ValueAxis value;
  value.Autoscale({3.0f}, 150);
  PlotPaint paint = PaintPlot(PlotView{636, 150, 0, 644}, time, value, one, t, {3.0f});
  ASSERT_EQ(paint.curve.size(), 1u);
  EXPECT_EQ(paint.curve[0].size(), 1u);
}

// Every label lies whole inside the window, clear of the ticks, of the
// other labels and of the window's controls.
void ExpectLabelsClear(const PlotPaint& paint, const PlotView& view, const std::string& what) {
  PlotControls c = PlacePlotControls(view.width, view.height);
  for (size_t i = 0; i < paint.texts.size(); ++i) {
    const PlotText& t = paint.texts[i];
    if (t.text == view.caption && view.printing) continue;
    PlotBox b = t.Box();
    EXPECT_GE(b.x, 0) << what << ": " << t.text;
    EXPECT_GE(b.y, 0) << what << ": " << t.text;
    EXPECT_LE(b.x + b.w, view.width) << what << ": " << t.text;
    EXPECT_LE(b.y + b.h, view.height) << what << ": " << t.text;
    EXPECT_FALSE(b.Overlaps(c.upDown) || b.Overlaps(c.scrollBar)) << what << ": " << t.text;
    for (const PlotLine& l : paint.lines) {
      if (view.printing && (l.a.y == view.height - 3 || l.a.x == view.width - 23) && l.a != l.b &&
          (l.a.y == l.b.y ? l.b.x - l.a.x > 30 : l.b.y - l.a.y > 30))
        continue;  // the printed frame runs along the edges
      PlotBox lb{std::min(l.a.x, l.b.x), std::min(l.a.y, l.b.y), std::abs(l.b.x - l.a.x) + 1,
                 std::abs(l.b.y - l.a.y) + 1};
      EXPECT_FALSE(b.Overlaps(lb)) << what << ": " << t.text << " crosses a tick at " << l.a.x
                                   << "," << l.a.y;
    }
    for (size_t j = i + 1; j < paint.texts.size(); ++j)
      EXPECT_FALSE(b.Overlaps(paint.texts[j].Box()))
          << what << ": " << t.text << " and " << paint.texts[j].text;
  }
}

TEST(PlotGeometry, LabelsStayInsideAndClearOfTicks) {
  struct Case {
    const char* what;
    int screenLeft;
    double originT;
    int width, height;
    int charWidth;
    bool printing;
  } cases[] = {
      {"first time tick at the left edge", 0, 0, 636, 180, 6, false},
      {"a time tick under the top value label", -30, 0, 636, 180, 6, false},
      {"time ticks every few pixels of the top", -60, 0, 636, 180, 7, false},
      {"window further right", 300, 0, 636, 180, 6, false},
      {"a wide font", -40, 0, 636, 180, 11, false},
      {"a low window", -25, 0, 400, 60, 6, false},
      {"printing", -30, 0, 636, 180, 6, true},
      {"a narrow window", 0, 0, 120, 180, 6, false},
  };
  for (const Case& c : cases) {
    Plot p(100, Ramp(102, 0, 100), c.height);
    p.view.width = c.width;
    p.view.screenWidth = c.width + 2;
    p.view.screenLeft = c.screenLeft;
    p.view.printing = c.printing;
    p.view.caption = "   0 IO _X.V0";
    p.view.textWidth = [w = c.charWidth](const std::string& s) { return w * int(s.size()); };
    p.view.textHeight = 11;
    p.value.Autoscale(p.buffer, c.height);
    PlotPaint paint = p.Paint();
    ExpectLabelsClear(paint, p.view, c.what);
    if (c.width >= 400) {
      EXPECT_GT(paint.texts.size(), size_t(paint.timeTicks)) << c.what;
    }
  }
  // The first label is whole ("0.0000E+00", not cut at the edge), and the
  // top value label, which would cross a time tick and label, is left out;
  // the one below it stays where it belongs.
  Plot p(100, Ramp(102, 0, 100));
  p.view.screenLeft = -30;  // time ticks at 32, 160, ...
  p.value.top = 90 + 3 / p.value.scale;  // the top value tick (90) at y 3
  PlotPaint paint = p.Paint();
  ASSERT_GE(paint.timeTicks, 1);
  EXPECT_EQ(paint.lines[0].a, (PlotPoint{32, 0}));
  const PlotText* first = FindText(paint, " 0.0000E+00");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->at, (PlotPoint{12, 10}));
  EXPECT_EQ(FindText(paint, " 9.0000E+01"), nullptr);
  ASSERT_NE(FindText(paint, " 6.0000E+01"), nullptr);
  EXPECT_EQ(FindText(paint, " 6.0000E+01")->at, (PlotPoint{12, 29}));
  EXPECT_EQ(paint.valueTicks, 5);  // the tick itself is drawn
  ExpectLabelsClear(paint, p.view, "top label left out");
}

TEST(PlotFrames, TiledAndCascadedFramesAndTheirClients) {
  // Five tiled frames touch and never overlap; each client lies inside its
  // frame, so no title bar covers the plot above it.
  const FrameExtents e{1, 20, 1, 5};
  std::vector<PlotBox> tiled = TileFrames(5, 1280, 985);
  ASSERT_EQ(tiled.size(), 5u);
  for (size_t i = 0; i < tiled.size(); ++i) {
    EXPECT_EQ(tiled[i], (PlotBox{0, 75 + 188 * int(i), 1280, 188}));
    PlotBox c = ClientInFrame(tiled[i], e);
    EXPECT_EQ(c, (PlotBox{1, tiled[i].y + 20, 1278, 163}));
    if (i > 0) {
      EXPECT_FALSE(tiled[i].Overlaps(tiled[i - 1]));
    }
  }
  EXPECT_TRUE(TileFrames(0, 1280, 985).empty());
  std::vector<PlotBox> cascaded = CascadeFrames(3, 900, 700);
  EXPECT_EQ(cascaded[2], (PlotBox{0, 115, 900, 580}));
  EXPECT_EQ(ClientInFrame({0, 0, 10, 10}, {6, 20, 6, 5}), (PlotBox{6, 20, 1, 1}));
}

TEST(PlotFrames, ATiledPlotShowsTheWholeRange) {
  // However wide the screen and the main window, the time axis fits the
  // range into what a tiled plot shows: its curve ends left of the scroll
  // bar and the value ticks at the right.
  struct Case {
    int screenWidth, mainClientWidth;
    FrameExtents e;
  } cases[] = {{1280, 1280, {1, 20, 1, 5}}, {1280, 657, {4, 24, 4, 4}},
               {1920, 1910, {0, 0, 0, 0}},  {800, 1280, {1, 20, 1, 5}}};
  for (const Case& c : cases) {
    for (double span : {4.0, 10.0, 3.3e5}) {
      TimeRange r = Range(0, 20, 1);
      std::vector<double> t = Times(21, span / 20);
      TimeAxis time;
      time.Scale(t.front(), t.back(), TimeAxisPixels(c.screenWidth, c.mainClientWidth));
      time.SyncOrigin(r, 0, t);
      PlotBox frame = TileFrames(5, c.mainClientWidth, 985)[0];
      PlotBox client = ClientInFrame(frame, c.e);
      PlotView view{client.w, client.h, frame.x, frame.w};
      ValueAxis value;
      std::vector<float> v = Ramp(21, 1, 2);
      value.Autoscale(v, client.h);
      PlotPaint paint = PaintPlot(view, time, value, r, t, v);
      ASSERT_EQ(paint.curve.size(), 1u);
      EXPECT_EQ(paint.curve[0].size(), 21u) << c.mainClientWidth << " " << span;
      EXPECT_GE(paint.curve[0].front().x, 0);
      for (PlotPoint q : paint.curve[0]) {
        EXPECT_GE(q.y, 0);
        EXPECT_LT(q.y, client.h);  // the lowest value in the last row
      }
      EXPECT_LT(paint.curve[0].back().x, client.w - 23 - 10) << c.mainClientWidth << " " << span;
    }
  }
}

}  // namespace
}  // namespace krv::view
