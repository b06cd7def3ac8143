// The plot windows' logic without a toolkit.
#include "viewer/PlotU.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "platform/little_endian.h"
#include "problem_editor/FormatReal.h"

namespace krv::view {

using platform::GetF32;
using platform::GetI32;

namespace {

struct GridTables {
  std::array<float, kGridSteps> step{};
  std::array<double, kGridSteps> scale{};
};

GridTables BuildScaleTable() {
  static const double kMantissa[7] = {1, 0.8, 0.5, 0.4, 0.3, 0.2, 0.15};
  GridTables t;
  for (int i = 0; i < kGridSteps; ++i) {
    t.step[size_t(i)] = float(kMantissa[i % 7] * std::pow(10.0, 20 - i / 7));
    t.scale[size_t(i)] = 32.0 / double(t.step[size_t(i)]);
  }
  return t;
}

const GridTables& Tables() {
  static const GridTables tables = BuildScaleTable();
  return tables;
}

// Coordinates are clamped in double before they become integers, so that
// extreme values still draw and nothing overflows.
constexpr double kCoordLimit = 30000;

int ToPixel(double v) { return int(std::lround(std::clamp(v, -kCoordLimit, kCoordLimit))); }

}  // namespace

float GridStep(int i) { return Tables().step[size_t(std::clamp(i, 0, kGridSteps - 1))]; }
double GridScale(int i) { return Tables().scale[size_t(std::clamp(i, 0, kGridSteps - 1))]; }

GridChoice ChooseGridStep(double wanted) {
  int i = kGridSteps - 1;
  // A NaN wish compares false everywhere and ends at index 280; keep that.
  while (i > 0 && GridScale(i) > wanted) --i;
  return {i, GridScale(i), double(GridStep(i))};
}

int TimeAxisPixels(int screenWidth, int mainClientWidth) {
  return std::max(1, std::min(screenWidth - 15, mainClientWidth - 35));
}

void TimeAxis::Scale(double tLo, double tHi, int pixels) {
  double d = tHi - tLo;
  double wanted = d >= 1e-9 ? double(pixels) / d : 1e9;
  GridChoice g = ChooseGridStep(wanted);
  gridIndex = g.index;
  scale = g.scale;
  labelStep = 4 * g.step;
}

bool TimeAxis::SyncOrigin(const TimeRange& range, int32_t currentJT,
                          const std::vector<double>& timeTable) {
  int64_t d = std::max<int32_t>(range.density, 1);
  int64_t s = range.lo + ((int64_t(currentJT) - range.lo) / d) * d;
  if (s == originStep) return false;
  originStep = int32_t(s);
  originT = s >= 0 && size_t(s) < timeTable.size() ? timeTable[size_t(s)] : 0.0;
  return true;
}

void TimeAxis::ZoomTimeAxis(bool finer) {
  gridIndex = std::clamp(gridIndex + (finer ? 1 : -1), 0, kGridSteps - 1);
  scale = GridScale(gridIndex);
  labelStep = 4 * double(GridStep(gridIndex));
}

void ValueAxis::Autoscale(const std::vector<float>& buffer, int height) {
  double lo = 1e30, hi = -1e30;
  for (float v : buffer) {
    if (!std::isfinite(v)) continue;
    lo = std::min(lo, double(v));
    hi = std::max(hi, double(v));
  }
  if (lo > hi) lo = hi = 0;  // nothing finite to scale to
  double wanted = hi - lo < 1e-9 ? 1e9 : double(height) / (hi - lo);
  GridChoice g = ChooseGridStep(wanted);
  gridIndex = g.index;
  scale = g.scale;
  step = g.step;
  top = lo + double(height) / scale;
  autoTop = top;
  span = top - lo;
}

void ValueAxis::ZoomPlotY(bool finer) {
  gridIndex = std::clamp(gridIndex + (finer ? 1 : -1), 0, kGridSteps - 1);
  scale = GridScale(gridIndex);
  step = double(GridStep(gridIndex));
}

void ValueAxis::Scroll(int position) { top = autoTop - position * 0.01 * span; }

std::vector<int32_t> PlotSteps(const TimeRange& range) {
  std::vector<int32_t> steps;
  if (range.n >= -1) steps.reserve(size_t(range.n) + 2);
  for (int64_t k = 0; k <= range.n; ++k) steps.push_back(int32_t(range.lo + k * range.density));
  steps.push_back(range.hi);
  return steps;
}

bool ReadPlotPoints(const TTRFile& file, const TTRLayout& layout, const TimeRange& range,
                    const std::vector<int>& variables, const std::vector<std::vector<float>*>& buffers) {
  std::vector<int32_t> steps = PlotSteps(range);
  for (std::vector<float>* b : buffers) b->assign(steps.size(), 0.0f);
  if (variables.empty()) return true;
  // The blocks of a record that hold the values wanted, and per variable
  // its block and offset in it. The record's first block holds its stored
  // number, which is checked as on every record read. Close blocks are
  // read as one run.
  constexpr size_t kStoredNumber = SIZE_MAX;
  struct Where {
    size_t variable;
    int64_t block;
    size_t offset;
  };
  std::vector<Where> where{{kStoredNumber, 0, 0}};
  for (size_t i = 0; i < variables.size(); ++i) {
    size_t off = ValueOffset(layout, variables[i]);
    where.push_back({i, int64_t(off / kBlockSize), off % kBlockSize});
  }
  std::stable_sort(where.begin(), where.end(), [](const Where& a, const Where& b) { return a.block < b.block; });
  struct Span {
    int64_t first, count;
    size_t at;  // its place in a record's bytes as read
  };
  std::vector<Span> spans;
  constexpr int64_t kJoin = 16;  // blocks between two values still read as one run
  for (const Where& w : where) {
    if (!spans.empty() && w.block < spans.back().first + spans.back().count + kJoin)
      spans.back().count = std::max(spans.back().count, w.block - spans.back().first + 1);
    else
      spans.push_back({w.block, 1, 0});
  }
  size_t perStep = 0;
  for (Span& r : spans) {
    r.at = perStep;
    perStep += size_t(r.count) * kBlockSize;
  }
  // Where each wanted value lies in a step's bytes.
  std::vector<size_t> at(where.size());
  for (size_t w = 0, r = 0; w < where.size(); ++w) {
    while (where[w].block >= spans[r].first + spans[r].count) ++r;
    at[w] = spans[r].at + size_t(where[w].block - spans[r].first) * kBlockSize + where[w].offset;
  }

  // All the steps' runs go to the file together, some hundreds at a time:
  // one pass over the records, whatever the number of plots or how far
  // apart their variables lie in a record.
  const size_t stepsPerBatch = std::max<size_t>(1, std::min(256 / spans.size(), (size_t(1) << 20) / perStep));
  std::vector<uint8_t> bytes(stepsPerBatch * perStep);
  std::vector<TTRFile::Run> runs;
  bool jtErrorShown = false;
  for (size_t k0 = 0; k0 < steps.size(); k0 += stepsPerBatch) {
    const size_t k1 = std::min(steps.size(), k0 + stepsPerBatch);
    runs.clear();
    int64_t endBlock = 0;
    for (size_t k = k0; k < k1; ++k) {
      int64_t base = layout.FirstBlock(steps[k]);
      uint8_t* rec = bytes.data() + (k - k0) * perStep;
      for (const Span& r : spans) {
        runs.push_back({base + r.first, r.count, rec + r.at});
        endBlock = std::max(endBlock, base + r.first + r.count);
      }
    }
    if (!file.ReadRuns(runs)) {
      ReportReadError(file, layout, endBlock);
      return false;
    }
    for (size_t k = k0; k < k1; ++k) {
      const uint8_t* rec = bytes.data() + (k - k0) * perStep;
      for (size_t w = 0; w < where.size(); ++w) {
        if (where[w].variable != kStoredNumber) {
          (*buffers[where[w].variable])[k] = GetF32(rec, at[w]);
        } else if (int32_t stored = GetI32(rec, at[w]); stored != steps[k] && !jtErrorShown) {
          // One notice per reading: a damaged file must not raise a box
          // per record. The values are used all the same.
          ReportJTError(stored, steps[k]);
          jtErrorShown = true;
        }
      }
    }
  }
  return true;
}

PlotControls PlacePlotControls(int width, int height) {
  PlotControls c;
  c.upDown = {width - 50, std::max(0, height - 60), 17, 34};
  c.scrollBar = {width - 18, 0, 17, std::max(0, height - 16)};
  return c;
}

std::vector<PlotBox> TileFrames(int count, int clientWidth, int clientHeight) {
  std::vector<PlotBox> frames;
  if (count <= 0) return frames;
  const int h = (clientHeight - 45) / count;
  for (int i = 0; i < count; ++i) frames.push_back({0, 75 + i * h, clientWidth, h});
  return frames;
}

std::vector<PlotBox> CascadeFrames(int count, int clientWidth, int clientHeight) {
  std::vector<PlotBox> frames;
  for (int i = 0; i < count; ++i) frames.push_back({0, 75 + 20 * i, clientWidth, clientHeight - 120});
  return frames;
}

PlotBox ClientInFrame(const PlotBox& frame, const FrameExtents& e) {
  return {frame.x + e.left, frame.y + e.top, std::max(1, frame.w - e.left - e.right),
          std::max(1, frame.h - e.top - e.bottom)};
}

namespace {

// Labels are placed one after the other; each keeps clear of everything
// placed or drawn before it.
class LabelPlacer {
 public:
  LabelPlacer(const PlotView& view, int left, int right)
      : view_(view), left_(left), right_(right) {}

  void Block(const PlotBox& b) { taken_.push_back(b); }

  PlotText Make(PlotPoint at, std::string text) const {
    PlotText t{at, std::move(text)};
    t.width = view_.textWidth ? std::max(0, view_.textWidth(t.text)) : 6 * int(t.text.size());
    t.height = std::max(1, view_.textHeight);
    return t;
  }

  // The label at its place, moved inside the window; false, and left out,
  // when it would cross or touch anything placed before it.
  bool Place(PlotText& t) {
    t.at.y = std::clamp(t.at.y, 0, std::max(0, view_.height - t.height));
    t.at.x = std::min(std::max(t.at.x, left_), right_ - t.width);
    if (t.at.x < left_) return false;
    // A pixel of white around every label, so that none touches another.
    const PlotBox near{t.at.x - 1, t.at.y - 1, t.width + 2, t.height + 2};
    for (const PlotBox& b : taken_)
      if (near.Overlaps(b)) return false;
    taken_.push_back(t.Box());
    return true;
  }

 private:
  const PlotView& view_;
  int left_, right_;  // the columns a label may use
  std::vector<PlotBox> taken_;
};

PlotBox LineBox(const PlotLine& l) {
  int x0 = std::min(l.a.x, l.b.x), y0 = std::min(l.a.y, l.b.y);
  return {x0, y0, std::max(l.a.x, l.b.x) - x0 + 1, std::max(l.a.y, l.b.y) - y0 + 1};
}

}  // namespace

PlotPaint PaintPlot(const PlotView& view, const TimeAxis& time, const ValueAxis& value,
                    const TimeRange& range, const std::vector<double>& timeTable,
                    const std::vector<float>& buffer) {
  PlotPaint p;
  const int bottom = view.height - 3;
  const int right = view.width - 23;
  auto timeAt = [&](int64_t s) {
    return s >= 0 && size_t(s) < timeTable.size() ? timeTable[size_t(s)] : std::nan("");
  };
  // The screen-tied axis: a time lies at one screen column in every plot.
  // NaN for a time that is not finite.
  auto xOf = [&](double t) {
    double dx = (t - time.originT) * time.scale;
    if (!std::isfinite(dx)) return std::nan("");
    return double(std::lround(std::clamp(dx, -1e9, 1e9))) - view.screenLeft + 2;
  };
  // Labels use the columns between the value ticks at the left (0..10)
  // and those at the right (right - 10..right).
  LabelPlacer labels(view, 12, right - 11);
  const PlotControls controls = PlacePlotControls(view.width, view.height);
  labels.Block(controls.upDown);
  labels.Block(controls.scrollBar);

  // Time ticks, 4 grid steps (128 pixels) apart: their number is bounded
  // by the pixels, whatever the zoom or the size of the times. Their labels
  // go under them from the left to the right, each clear of the one before.
  double tHi = timeAt(range.hi);
  std::vector<PlotText> timeLabels;
  if (time.labelStep > 0 && std::isfinite(time.originT)) {
    double first = std::ceil(time.originT / time.labelStep) * time.labelStep;
    int64_t most = int64_t(std::max(view.screenLeft, 0)) / 128 +
                   int64_t(std::max(view.screenWidth, 0)) / 128 + 3;
    for (int64_t j = 0; j <= most; ++j) {
      double t = first + double(j) * time.labelStep;
      if (!(t <= tHi)) break;
      double x = xOf(t);
      if (std::isnan(x) || x < 0) continue;
      if (x > right) break;
      int xi = ToPixel(x);
      PlotLine tick{{xi, 0}, {xi, 8}};
      p.lines.push_back(tick);
      ++p.timeTicks;
      PlotText label = labels.Make({xi - 20, 10}, pe::FormatReal(11, t));
      if (labels.Place(label)) timeLabels.push_back(std::move(label));
    }
  }
  for (int i = 0; i < p.timeTicks; ++i) labels.Block(LineBox(p.lines[size_t(i)]));
  p.texts = std::move(timeLabels);

  if (view.printing) {
    p.lines.push_back({{0, bottom}, {right, bottom}});
    p.lines.push_back({{right, 0}, {right, bottom}});
    PlotText caption = labels.Make({100, 30}, view.caption);
    labels.Block(caption.Box());
    p.texts.push_back(std::move(caption));
  }

  // Value ticks, one grid step (32 pixels) apart, likewise bounded. A label
  // that would cross a time tick or label is left out (the top one, mostly).
  auto valueTick = [&](int y, double v) {
    p.lines.push_back({{0, y}, {10, y}});
    p.lines.push_back({{right - 10, y}, {right, y}});
    PlotText label = labels.Make({12, y < 3 ? 4 : y - 6}, pe::FormatReal(11, v));
    if (labels.Place(label)) p.texts.push_back(std::move(label));
    ++p.valueTicks;
  };
  if (value.scale > 0 && value.step > 0 && std::isfinite(value.top)) {
    double yBottom = value.top - bottom / value.scale;
    double q = yBottom / value.step;
    double base = (q > -32760 && q < 32760) ? std::ceil(q) * value.step : yBottom;
    int64_t most = int64_t(std::max(view.height, 0)) / 32 + 1;
    for (int64_t j = 0; j <= most; ++j) {
      double v = base + double(j) * value.step;
      if (!(v < value.top)) {
        if (v == value.top) valueTick(0, v);
        break;
      }
      valueTick(ToPixel((value.top - v) * value.scale), v);
    }
  }

  // The curve through every buffered point: lo + k x density for k = 0..N,
  // then hi. A value or time that is not finite leaves a gap.
  bool placed = false;
  std::vector<PlotPoint> run;
  auto endRun = [&] {
    if (!run.empty()) p.curve.push_back(std::move(run));
    run.clear();
  };
  const std::vector<int32_t> steps = PlotSteps(range);
  const size_t points = std::min(steps.size(), buffer.size());
  for (size_t k = 0; k < points; ++k) {
    double x = xOf(timeAt(steps[k]));
    double v = double(buffer[k]);
    if (std::isnan(x) || !std::isfinite(v)) {
      endRun();
      continue;
    }
    if (x > view.screenWidth) break;
    if (!placed && x < 0) continue;
    placed = true;
    int y = ToPixel((value.top - v) * value.scale);
    // Autoscaling puts the lowest value on the bottom edge: it is drawn in
    // the last row, inside the window.
    if (y == view.height) y = view.height - 1;
    run.push_back({ToPixel(x), y});
  }
  endRun();
  return p;
}

}  // namespace krv::view
