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
    time.Scale(times.front(), times.back(), 1280);
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
  EXPECT_EQ(paint.texts[size_t(paint.timeTicks)].text, " 3.0000E+01");
  EXPECT_EQ(paint.texts[size_t(paint.timeTicks)].at, (PlotPoint{12, 112}));
  // The curve: value 0 at the bottom value's place, one point per step.
  ASSERT_EQ(paint.curve.size(), 1u);
  EXPECT_EQ(paint.curve[0].front(), (PlotPoint{2, 150}));
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
    for (int i = 0; i < std::abs(c.valueZooms); ++i) p.value.Zoom(c.valueZooms > 0);
    for (int i = 0; i < std::abs(c.timeZooms); ++i) p.time.Zoom(c.timeZooms > 0);
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
  EXPECT_EQ(paint.texts[size_t(paint.timeTicks)].text, p.view.caption);
  EXPECT_EQ(paint.texts[size_t(paint.timeTicks)].at, (PlotPoint{100, 30}));
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
  v.Zoom(true);
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

}  // namespace
}  // namespace krv::view
