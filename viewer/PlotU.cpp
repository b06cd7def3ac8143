// The plot windows' logic without a toolkit.
#include "viewer/PlotU.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "problem_editor/FormatReal.h"

namespace krv::view {

namespace {

struct GridTables {
  std::array<float, kGridSteps> step{};
  std::array<double, kGridSteps> scale{};
  GridTables() {
    static const double kMantissa[7] = {1, 0.8, 0.5, 0.4, 0.3, 0.2, 0.15};
    for (int i = 0; i < kGridSteps; ++i) {
      step[size_t(i)] = float(kMantissa[i % 7] * std::pow(10.0, 20 - i / 7));
      scale[size_t(i)] = 32.0 / double(step[size_t(i)]);
    }
  }
};

const GridTables& Tables() {
  static const GridTables tables;
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

void TimeAxis::Scale(double tLo, double tHi, int screenWidth) {
  double d = tHi - tLo;
  double wanted = d >= 1e-9 ? double(screenWidth - 15) / d : 1e9;
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

void TimeAxis::Zoom(bool finer) {
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

void ValueAxis::Zoom(bool finer) {
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
    for (size_t k = k0; k < k1; ++k) {
      int64_t base = layout.FirstBlock(steps[k]);
      uint8_t* rec = bytes.data() + (k - k0) * perStep;
      for (const Span& r : spans) runs.push_back({base + r.first, r.count, rec + r.at});
    }
    if (!file.ReadRuns(runs)) {
      ReportFileError("reading", file.Path());
      return false;
    }
    for (size_t k = k0; k < k1; ++k) {
      const uint8_t* rec = bytes.data() + (k - k0) * perStep;
      for (size_t w = 0; w < where.size(); ++w) {
        if (where[w].variable != kStoredNumber) {
          (*buffers[where[w].variable])[k] = GetSingle(rec + at[w]);
        } else if (int32_t stored = GetInt32(rec + at[w]); stored != steps[k] && !jtErrorShown) {
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

  // Time ticks, 4 grid steps (128 pixels) apart: their number is bounded
  // by the pixels, whatever the zoom or the size of the times.
  double tHi = timeAt(range.hi);
  if (time.labelStep > 0 && std::isfinite(time.originT)) {
    double first = std::ceil(time.originT / time.labelStep) * time.labelStep;
    int64_t most = int64_t(std::max(view.screenLeft, 0)) / 128 +
                   int64_t(std::max(view.screenWidth, 0)) / 128 + 3;
    for (int64_t j = 0; j <= most; ++j) {
      double t = first + double(j) * time.labelStep;
      if (!(t <= tHi)) break;
      double x = xOf(t);
      if (std::isnan(x) || x < 0) continue;
      if (x > view.screenWidth) break;
      int xi = ToPixel(x);
      p.lines.push_back({{xi, 0}, {xi, 8}});
      p.texts.push_back({{xi - 20, 10}, pe::FormatReal(11, t)});
      ++p.timeTicks;
    }
  }

  if (view.printing) {
    p.lines.push_back({{0, bottom}, {right, bottom}});
    p.lines.push_back({{right, 0}, {right, bottom}});
    p.texts.push_back({{100, 30}, view.caption});
  }

  // Value ticks, one grid step (32 pixels) apart, likewise bounded.
  if (value.scale > 0 && value.step > 0 && std::isfinite(value.top)) {
    double yBottom = value.top - bottom / value.scale;
    double q = yBottom / value.step;
    double base = (q > -32760 && q < 32760) ? std::ceil(q) * value.step : yBottom;
    int64_t most = int64_t(std::max(view.height, 0)) / 32 + 1;
    for (int64_t j = 0; j <= most; ++j) {
      double v = base + double(j) * value.step;
      if (!(v < value.top)) {
        if (v == value.top) {
          p.lines.push_back({{0, 0}, {10, 0}});
          p.lines.push_back({{right - 10, 0}, {right, 0}});
          p.texts.push_back({{12, 4}, pe::FormatReal(11, v)});
          ++p.valueTicks;
        }
        break;
      }
      int y = ToPixel((value.top - v) * value.scale);
      p.lines.push_back({{0, y}, {10, y}});
      p.lines.push_back({{right - 10, y}, {right, y}});
      p.texts.push_back({{12, y < 3 ? 4 : y - 6}, pe::FormatReal(11, v)});
      ++p.valueTicks;
    }
  }

  // The curve over the regular points; the value at hi scales but is not
  // drawn. A value or time that is not finite leaves a gap.
  bool placed = false;
  std::vector<PlotPoint> run;
  auto endRun = [&] {
    if (!run.empty()) p.curve.push_back(std::move(run));
    run.clear();
  };
  int64_t n = std::min<int64_t>(range.n, int64_t(buffer.size()) - 1);
  for (int64_t k = 0; k <= n; ++k) {
    double x = xOf(timeAt(range.lo + k * int64_t(range.density)));
    double v = double(buffer[size_t(k)]);
    if (std::isnan(x) || !std::isfinite(v)) {
      endRun();
      continue;
    }
    if (x > view.screenWidth) break;
    if (!placed && x < 0) continue;
    placed = true;
    run.push_back({ToPixel(x), ToPixel((value.top - v) * value.scale)});
  }
  endRun();
  return p;
}

}  // namespace krv::view
