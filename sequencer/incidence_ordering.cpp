// From the map's kind letters and incidences to the problem's ordering section.
#include "sequencer/incidence_ordering.h"


#include "platform/text.h"

namespace krv::seq {

using platform::IntToString;

namespace {

// A fixing call's (output, input) pair and the number it was given.
struct FixPair {
  int output;
  int input;
  int number = 0;
  bool used = false;
};

// The nonzeros of the incidence matrix, refusing more than the format holds.
struct Nonzeros {
  std::vector<int> rows, cols;
  bool Add(int r, int c, pp::LogWriter& log) {
    if (rows.size() == kMaxNonzeros) {
      log.LogLine("JAC MTX SIZE TOO BIG");
      return false;
    }
    rows.push_back(r);
    cols.push_back(c);
    return true;
  }
};

}  // namespace

bool ReadIncidenceAndWriteOrdering(const VnmMap& map, PrbOrdering& out, pp::LogWriter& log,
                                   const OrderingOptions& options) {
  out = PrbOrdering{};
  const size_t names = map.nameLines.size();

  // The fixing pairs in file order, with the first pair of each variable
  // on either side.
  std::vector<FixPair> pairs;
  std::vector<int> firstByOutput(names, -1), firstByInput(names, -1);
  for (const auto& inc : map.incidences) {
    if (inc.fix == 0) continue;
    int k = int(pairs.size());
    pairs.push_back({inc.output, inc.input});
    if (firstByOutput[size_t(inc.output)] < 0) firstByOutput[size_t(inc.output)] = k;
    if (firstByInput[size_t(inc.input)] < 0) firstByInput[size_t(inc.input)] = k;
  }

  std::vector<int> rowOf(names, 0), colOf(names, 0);
  int n = 0;
  Nonzeros nz;
  for (size_t k = 0; k < names; ++k) {
    std::string_view kind = std::string_view(map.nameLines[k]).substr(5, 2);
    if (kind == "IO") {
      ++n;
      rowOf[k] = colOf[k] = n;
      if (!nz.Add(n, n, log)) return false;
    } else if (kind == "IC" || kind == "CO") {
      bool ic = kind == "IC";
      int p = (ic ? firstByOutput : firstByInput)[k];
      if (p < 0) {
        log.LogLine("FIXPTR Err");
        return false;
      }
      FixPair& pair = pairs[size_t(p)];
      if (pair.used) continue;
      ++n;
      // The fixed variable (IC side) is solved by the equation of its
      // partner (CO side), under one number; the name at hand first.
      auto solve = [&](size_t v) { colOf[v] = n, rowOf[v] = 0; };
      auto equate = [&](size_t v) { rowOf[v] = n, colOf[v] = 0; };
      if (ic) {
        solve(k);
        equate(size_t(pair.input));
      } else {
        equate(k);
        solve(size_t(pair.output));
      }
      pair.used = true;
      pair.number = n;
    } else {
      rowOf[k] = colOf[k] = 0;
    }
  }
  log.LogLine("Names read");

  for (const auto& inc : map.incidences) {
    int r = rowOf[size_t(inc.output)], c = colOf[size_t(inc.input)];
    if (inc.fix == 0 && r != 0 && c != 0 && !nz.Add(r, c, log)) return false;
    if (inc.mode == 1) out.pairs.push_back({uint16_t(inc.output), uint16_t(inc.input)});
    if (inc.mode == 2) out.pairs.push_back({uint16_t(inc.input), uint16_t(inc.output)});
  }

  log.LogLine("Starting SPIKE  N=" + IntToString(n));
  if (n > kMaxEquations) {
    log.LogLine("Too many equations: " + IntToString(n) + " (at most " +
                IntToString(kMaxEquations) + ")");
    return false;
  }
  JacobianOrder order = OrderJacobian(n, nz.rows, nz.cols, log, options);
  if (order.singular) {
    log.LogLine("Singularity Err");
    return false;
  }

  out.rowNames.assign(size_t(n), 0);
  out.columnNames.assign(size_t(n), 0);
  for (size_t k = 0; k < names; ++k) {
    if (rowOf[k]) out.rowNames[size_t(order.RowPosition[size_t(rowOf[k])] - 1)] = uint16_t(k);
    if (colOf[k])
      out.columnNames[size_t(order.RowPosition[size_t(order.MatchedRow[size_t(colOf[k])])] - 1)] =
          uint16_t(k);
  }
  out.nonzeros = std::move(order.entries);
  return true;
}

}  // namespace krv::seq
