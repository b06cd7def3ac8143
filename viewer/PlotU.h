// The plot windows' logic without a toolkit: the grid of round steps, the
// shared screen-tied time axis, each plot's value axis, and the geometry of
// one paint (ticks, labels, curve, print frame) as lines and texts that a
// window or a printer draws as they are.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "viewer/time_range.h"
#include "viewer/ttr_file.h"

namespace krv::view {

constexpr int kGridSteps = 281;
constexpr int kPlotWindows = 6;

// Step i of the grid (stored as a single): m(i mod 7) x 10^(20 - i div 7),
// m = 1, 0.8, 0.5, 0.4, 0.3, 0.2, 0.15; steps fall with the index.
float GridStep(int i);
// 32 / step i: one grid step is 32 pixels.
double GridScale(int i);

struct GridChoice {
  int index = 0;
  double scale = 0;
  double step = 0;
};
// The finest grid whose scale does not exceed `wanted` (pixels per unit),
// or index 0 when even that one exceeds it.
GridChoice ChooseGridStep(double wanted);

// The time axis all plots share; it is tied to the screen, so a time is
// drawn at the same screen column in every plot.
struct TimeAxis {
  int gridIndex = 0;
  double scale = 0;      // pixels per time unit
  double labelStep = 0;  // 4 grid steps between time ticks
  int32_t originStep = -1;
  double originT = 0;

  // Fits the range's times into `pixels` pixels (TimeAxisPixels).
  void Scale(double tLo, double tHi, int pixels);
  // The origin moves to the current step snapped down to the density
  // grid; true when it moved (the visible plots repaint then).
  bool SyncOrigin(const TimeRange& range, int32_t currentJT, const std::vector<double>& timeTable);
  // One grid step finer (zoom in) or coarser.
  void ZoomTimeAxis(bool finer);
};

// The pixels the time range is fitted into: the screen's width less 15,
// and no more than a tiled plot shows. A tiled plot's frame spans the main
// window's client width; its curve starts 2 pixels in and its drawing area
// ends 23 pixels before the right edge of its client area, which the frame's
// borders make a few pixels narrower than the frame.
int TimeAxisPixels(int screenWidth, int mainClientWidth);

// One plot's value axis.
struct ValueAxis {
  int gridIndex = 0;
  double scale = 0;  // pixels per value unit
  double step = 0;   // distance between value ticks
  double top = 0;    // value at the top edge
  double autoTop = 0;
  double span = 0;  // autoTop - the lowest value at the last autoscale

  // Scales to the finite values of `buffer` in a client `height` pixels
  // high. Values that are not finite (a diverged solver) take no part.
  void Autoscale(const std::vector<float>& buffer, int height);
  // One grid step finer or coarser; top stays.
  void ZoomPlotY(bool finer);
  // Scroll bar position 0..100: 0 the autoscaled view, 100 the lowest value
  // of the autoscale at the top edge.
  void Scroll(int position);
};

// What one paint draws, in client pixels; texts are placed by their
// top-left corner.
struct PlotPoint {
  int x, y;
  bool operator==(const PlotPoint&) const = default;
};
struct PlotLine {
  PlotPoint a, b;
};
// A rectangle in client pixels: left, top, width, height.
struct PlotBox {
  int x = 0, y = 0, w = 0, h = 0;
  bool operator==(const PlotBox&) const = default;
  bool Overlaps(const PlotBox& o) const {
    return x < o.x + o.w && o.x < x + w && y < o.y + o.h && o.y < y + h;
  }
};
struct PlotText {
  PlotPoint at;
  std::string text;
  int width = 0;   // the text's extent as measured by PlotView
  int height = 0;
  PlotBox Box() const { return {at.x, at.y, width, height}; }
};
struct PlotPaint {
  std::vector<PlotLine> lines;  // ticks and the print frame
  std::vector<PlotText> texts;  // tick labels and the printed caption
  // The curve, broken where a value or time is not finite.
  std::vector<std::vector<PlotPoint>> curve;
  int timeTicks = 0;
  int valueTicks = 0;
};

struct PlotView {
  int width = 0;        // W: client width
  int height = 0;       // H: client height
  int screenLeft = 0;   // the window's outer left edge on the screen
  int screenWidth = 0;  // the window's outer width
  bool printing = false;
  std::string caption;  // written at (100, 30) when printing
  // The width in pixels of a text in the labels' font (unset: 6 per
  // character) and the height of a line of it.
  std::function<int(const std::string&)> textWidth;
  int textHeight = 11;
};

// Where the window's own controls lie in a client area W x H: the value
// zoom's arrows and the value scroll bar. Labels keep clear of them.
struct PlotControls {
  PlotBox upDown;
  PlotBox scrollBar;
};
PlotControls PlacePlotControls(int width, int height);

// The geometry of a paint of `buffer` (entries k = 0..N for the steps
// lo + k x density, N + 1 for hi): the curve runs through every entry, hi
// included. Labels lie whole inside the window, clear of the ticks, of each
// other and of the controls: a label that would cross the window's edge is
// moved inside, and one that would then cross a tick, a label placed before
// it or a control is left out (time labels are placed first, from the left;
// then the value labels, from the bottom). Every loop is bounded by the
// pixels and every coordinate is clamped before it becomes an integer.
PlotPaint PaintPlot(const PlotView& view, const TimeAxis& time, const ValueAxis& value,
                    const TimeRange& range, const std::vector<double>& timeTable,
                    const std::vector<float>& buffer);

// The steps a plot shows: lo + k x density for k = 0..N, then hi.
std::vector<int32_t> PlotSteps(const TimeRange& range);

// The window arrangements, as outer frames (title bar and borders
// included) in screen pixels, for `count` windows in use, from the main
// window's client size.
// Tiled: one below the other from top 75, each (client height - 45) div
// count high, left 0, the client's width.
std::vector<PlotBox> TileFrames(int count, int clientWidth, int clientHeight);
// Cascaded: tops 75, 95, 115, ..., left 0, the client's width, the client's
// height less 120.
std::vector<PlotBox> CascadeFrames(int count, int clientWidth, int clientHeight);

// The borders a window manager puts around a client area.
struct FrameExtents {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const FrameExtents&) const = default;
};
// The client area inside an outer frame (never less than 1 x 1).
PlotBox ClientInFrame(const PlotBox& frame, const FrameExtents& extents);

// Fills `buffers[i]` with variable `variables[i]` at the plot steps, in one
// pass over the records, reading only the blocks that hold those values
// and each record's first block (never whole records), many at a time. A
// wrong stored record number is reported once ("TTR JT ERROR!") and the
// values used. False after the read error's report.
bool ReadPlotPoints(const TTRFile& file, const TTRLayout& layout, const TimeRange& range,
                    const std::vector<int>& variables, const std::vector<std::vector<float>*>& buffers);

}  // namespace krv::view
