// Times the editors' text passes on large texts: FindForward over 10 MB
// without a hit, and BuildHeadingsList over a 200,000-line model source,
// each beside a yardstick on the same text and again on twice the text
// (a linear pass takes at most 2.2 times as long). Times are the thread's
// CPU time, best of nine.
//   bench_guide_editors          full size
//   bench_guide_editors --tiny   a quick run that only checks it works
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "bench/bench_size.h"
#include "guide/find_replace.h"
#include "guide/headings.h"

using namespace krv::guide;

namespace {

// CPU seconds of the fastest of `runs` calls of `f`.
template <class F>
double Best(int runs, F f) {
  return krv::bench::BestSeconds(runs, f, krv::bench::ThreadCpuSeconds);
}

// Model-like lines with plenty of e/E, so that a search for "ending" has
// a candidate every few characters.
std::string TextOfSize(size_t bytes) {
  static const char* const lines[] = {
      "XPROC TANK(VAROT LEVEL:XVR; VARIN INFLOW,OUTFLOW:XVR);\n",
      "begin LEVEL:=LEVEL+DT*(INFLOW-OUTFLOW) END;\n",
      "{ the tank's level at the end of the step }\n",
      "  IF LEVEL>MAXLEVEL THEN LEVEL:=MAXLEVEL; end;\n",
  };
  std::string s;
  s.reserve(bytes + 80);
  for (size_t i = 0; s.size() < bytes; ++i) s += lines[i % 4];
  s.resize(bytes);
  return s;
}

// A model source of `lines` lines: a heading with a two-line parameter
// list every ten lines, comments and bodies between.
std::string SourceOfLines(size_t lines) {
  std::string s;
  s.reserve(lines * 32);
  for (size_t i = 0; i < lines; i += 10) {
    std::string n = std::to_string(i);
    s += "XPROC P" + n + "(VAROT Q" + n + ":XVR;\n";
    s += "           VARIN H" + n + ":XVR);\n";
    s += "{ level " + n + " } (* and flow *)\n";
    s += "begin\n";
    s += "  Q" + n + ":=H" + n + "*0.5;\n";
    s += "  WRITELN('step ', " + n + ");\n";
    s += "end;\n";
    s += "function F" + n + "(A:REAL):REAL;\n";
    s += "begin F" + n + ":=A end;\n";
    s += "\n";
  }
  return s;
}

// Best times of `f` on a text and on twice the text, the two runs taken in
// turns so that both meet the same load.
template <class F>
std::pair<double, double> BestPair(int runs, const std::string& once, const std::string& twice, F f) {
  double a = 1e9, b = 1e9;
  for (int i = 0; i < runs; ++i) {
    a = std::min(a, Best(1, [&] { f(once); }));
    b = std::min(b, Best(1, [&] { f(twice); }));
  }
  return {a, b};
}

double MBs(size_t bytes, double seconds) { return bytes / 1e6 / seconds; }

}  // namespace

int main(int argc, char** argv) {
  const bool tiny = argc > 1 && std::strcmp(argv[1], "--tiny") == 0;
  const size_t findBytes = tiny ? 100000 : 10000000;
  const size_t sourceLines = tiny ? 2000 : 200000;
  const int runs = tiny ? 1 : 9;

  // FindForward: no hit, case-blind (the default) and case sensitive.
  const std::string text = TextOfSize(findBytes), text2 = TextOfSize(2 * findBytes);
  size_t sink = 0;
  auto find = [&](bool exact) {
    return BestPair(runs, text, text2, [&](const std::string& t) {
      sink += FindForward(t, "ending", exact, 0, false).value_or(1);
    });
  };
  const auto [blind, blind2] = find(false);
  const double exact = find(true).first;
  const double yard = Best(runs, [&] { sink += std::string_view(text).find("ending") == std::string_view::npos; });
  std::printf("FindForward over %zu MB, no hit:\n", findBytes / 1000000);
  std::printf("  case-blind      %8.1f MB/s   twice the text: %.2f x the time\n", MBs(findBytes, blind),
              blind2 / blind);
  std::printf("  case sensitive  %8.1f MB/s\n", MBs(findBytes, exact));
  std::printf("  yardstick string_view::find (case sensitive) %8.1f MB/s\n", MBs(findBytes, yard));

  // BuildHeadingsList over a model source.
  const std::string source = SourceOfLines(sourceLines), source2 = SourceOfLines(2 * sourceLines);
  std::string list;
  const auto [h, h2] =
      BestPair(runs, source, source2, [&](const std::string& s) { list = BuildHeadingsList(s); });
  list = BuildHeadingsList(source);
  const size_t entries = size_t(std::count(list.begin(), list.end(), '\n'));
  // Yardstick: one plain pass that looks at every character (line count
  // and an upper-cased copy).
  const double pass = Best(runs, [&] {
    std::string up(source);
    for (char& c : up) c = (c >= 'a' && c <= 'z') ? char(c - 32) : c;
    sink += size_t(std::count(up.begin(), up.end(), '\n'));
  });
  std::printf("BuildHeadingsList over %zu lines (%.1f MB, %zu list lines):\n", sourceLines,
              source.size() / 1e6, entries + (list.empty() ? 0 : 1));
  std::printf("  headings        %8.1f MB/s   twice the source: %.2f x the time\n",
              MBs(source.size(), h), h2 / h);
  std::printf("  yardstick upper-cased copy and line count %8.1f MB/s\n", MBs(source.size(), pass));
  return sink == 0 ? 1 : 0;
}
