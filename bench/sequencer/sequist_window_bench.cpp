// Times Sequist's window running a pass on a large map, from the window's
// start-up to the log shown, beside its yardstick: the same pass as a
// library plus the start-up of an empty window, measured in the same run.
// Two sizes a factor of four apart show how the time grows.
#include <QAction>
#include <QApplication>
#include <QPlainTextEdit>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "bench/bench_size.h"
#include "bench/sequencer/bench_model.h"
#include "platform/user_prompts.h"
#include "preprocessor/log_writer.h"
#include "sequencer/SEQCU1.h"
#include "sequencer/forms/Sequist1.h"
#include "testing/temp_dir.h"


namespace {


// Seconds through the window, and the yardstick's.
std::pair<double, double> Bench(int n, int runs) {
  krv::testing::TempDir dir;
  dir.Write("BENCH.VNM", krv::bench::MapText(krv::bench::MakeModel(n, 50, 9, 4, 1)));
  const std::string map = dir.File("BENCH.VNM");
  krv::platform::ScriptedPrompts prompts;
  size_t shown = 0, logged = 0;
  const double window = krv::bench::BestSeconds(runs, [&] {
    krv::seq::TForm1 form;
    form.show();
    QApplication::processEvents();
    prompts.files = {map};
    form.findChild<QAction*>("File1")->trigger();
    QApplication::processEvents();
    shown = size_t(form.findChild<QPlainTextEdit*>("LogMemo")->document()->blockCount());
    logged = form.Log().Lines().size();
  });
  const double startup = krv::bench::BestSeconds(runs, [&] {
    krv::seq::TForm1 form;
    form.show();
    QApplication::processEvents();
  });
  const double pass = krv::bench::BestSeconds(runs, [&] {
    krv::pp::LogWriter log;
    krv::seq::RunSequencer(map, dir.File("BENCH.PRB"), log);
  });
  std::printf("N=%5d  window %8.1f ms   pass %8.1f ms + empty window %6.1f ms   ratio %.2f x  "
              "(log lines shown %zu of %zu)\n",
              n, window * 1e3, pass * 1e3, startup * 1e3, window / (pass + startup), shown, logged);
  return {window, pass + startup};
}

}  // namespace

int main(int argc, char** argv) {
  const bool tiny = krv::bench::TinyRun(argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qargc = 1;
  QApplication app(qargc, argv);
  std::printf("Sequist window on a generated map (target: at most 1.3 x the yardstick)\n");
  const auto small = Bench(tiny ? 50 : 2500, tiny ? 1 : 5);
  const auto large = Bench(tiny ? 200 : 10000, tiny ? 1 : 5);
  std::printf("growth from N/4 to N: window %.2f x, yardstick %.2f x (linear: 4)\n",
              large.first / small.first, large.second / small.second);
  return 0;
}
