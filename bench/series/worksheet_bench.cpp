// The worksheet window's figures with the real form offscreen, each beside
// its yardstick measured in the same run:
//  - the number display of every column changed at once, all 510 columns filled over
//    -400..12000 (every column redrawn, then one paint), against the
//    0.2 s limit and against formatting every cell of one column;
//  - a page step through the rows (scroll and paint), against the 10 ms
//    limit, with the worksheet empty and full.
// "bench_worksheet --tiny" fills a few columns and runs each step once.
#include <QApplication>
#include <QDialog>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <vector>
#include <cstdio>

#include "bench/bench_size.h"
#include "platform/user_prompts.h"
#include "series/forms/TWkFrm.h"
#include "series/forms/series_windows.h"

using namespace krv::series;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }


// The median of `steps` page steps down the rows (scroll and paint), in ms:
// the machine is shared, so one slow step says little.
double PageStep(TWkFrm& f, int steps) {
  QScrollBar* bar = f.SG1->verticalScrollBar();
  int page = std::max(1, bar->pageStep());
  std::vector<double> times;
  for (int k = 0; k < steps; ++k) {
    auto t0 = Clock::now();
    bar->setValue((bar->value() + page) % (bar->maximum() + 1));
    f.SG1->viewport()->repaint();
    f.SG1Fixed->viewport()->repaint();
    times.push_back(Ms(Clock::now() - t0));
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  bool tiny = krv::bench::TinyRun(argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  krv::platform::ScriptedPrompts prompts;
  SeriesWindows w(nullptr, [] {});
  TWkFrm& f = *w.WkFrm;
  f.resize(1280, 900);
  f.show();
  QApplication::processEvents();

  int steps = tiny ? 2 : 50;
  double emptyPage = PageStep(f, steps);

  int columns = tiny ? 3 : kColumnCount;
  SeriesStore& store = w.Store;
  for (int c = 0; c < columns; ++c) {
    ColumnSlot& slot = store.ColumnSlots[size_t(c)];
    store.NewSeries(slot, false, "");
    for (int i = kFirstGridIndex; i <= kLastGridIndex; ++i) store.PutVal(slot, int16_t(i), c + i / 7.0);
  }

  // Yardstick: what an eager grid pays for one column.
  auto y0 = Clock::now();
  size_t chars = 0;
  for (int i = kFirstGridIndex; i <= kLastGridIndex; ++i) chars += w.Sheet.CellText(0, i).size();
  double oneColumn = Ms(Clock::now() - y0);

  // Every column's number display changed: the dialog answered OK at once.
  QTimer::singleShot(0, [&] {
    if (QWidget* m = QApplication::activeModalWidget()) {
      auto* d = qobject_cast<QDialog*>(m);
      if (d) d->accept();
    }
  });
  auto t0 = Clock::now();
  w.Sheet.ChangeAllDecimalSpecsClick();
  f.SG1->viewport()->repaint();
  double redraw = Ms(Clock::now() - t0);
  double fullPage = PageStep(f, steps);

  std::printf("Worksheet, %d columns over %d..%d, real form offscreen\n", columns, kFirstGridIndex, kLastGridIndex);
  std::printf("  %-52s %9.2f ms   limit %7.2f ms; every cell eagerly ~ %9.1f ms (one column %.2f ms x %d)\n",
              "Number display of every column changed (all redrawn)", redraw, 200.0, oneColumn * columns, oneColumn,
              columns);
  std::printf("  %-52s %9.3f ms   limit %7.2f ms; empty worksheet %.3f ms\n", "Page step (median), worksheet full",
              fullPage, 10.0, emptyPage);
  if (chars == 0) std::printf("  (no cell was formatted)\n");
  f.hide();
  return 0;
}
