// Fuzzes the geometry of a paint: any axis state, window place and size,
// times and values (NaN and infinities included) must give a bounded
// drawing with every coordinate in range.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/little_endian.h"
#include "viewer/PlotU.h"

using namespace krv::view;

namespace {
struct Reader {
  const uint8_t* p;
  size_t n;
  template <typename T>
  T Get() {
    T v{};
    if (n >= sizeof v) {
      v = krv::platform::little_endian::Get<T>(p, 0);
      p += sizeof v;
      n -= sizeof v;
    }
    return v;
  }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader r{data, size};
  PlotView view;
  view.width = r.Get<int16_t>();
  view.height = r.Get<int16_t>();
  view.screenLeft = r.Get<int16_t>();
  view.screenWidth = r.Get<int16_t>();
  view.printing = r.Get<uint8_t>() & 1;
  TimeAxis time;
  time.Scale(r.Get<double>(), r.Get<double>(), r.Get<int16_t>());
  for (int z = r.Get<int8_t>(); z != 0; z += z > 0 ? -1 : 1) time.ZoomTimeAxis(z > 0);
  time.originT = r.Get<double>();
  TimeRange range;
  range.hi = r.Get<uint16_t>() % 2000;
  range.lo = std::min<int32_t>(r.Get<uint16_t>() % 2000, range.hi);
  range.density = std::max<int32_t>(1, r.Get<uint8_t>());
  range.Update();
  std::vector<double> times(size_t(range.hi) + 1);
  for (double& t : times) t = r.n >= 8 ? r.Get<double>() : double(&t - times.data());
  std::vector<float> buffer(PlotSteps(range).size());
  for (float& v : buffer) v = r.Get<float>();
  ValueAxis value;
  value.Autoscale(buffer, view.height);
  for (int z = r.Get<int8_t>(); z != 0; z += z > 0 ? -1 : 1) value.ZoomPlotY(z > 0);
  value.Scroll(r.Get<uint8_t>() % 101);
  PlotPaint p = PaintPlot(view, time, value, range, times, buffer);
  if (p.valueTicks > std::max(0, int(view.height)) / 32 + 2) std::abort();
  for (const auto& run : p.curve)
    for (PlotPoint q : run)
      if (std::abs(q.x) > 30000 || std::abs(q.y) > 30000) std::abort();
  return 0;
}
