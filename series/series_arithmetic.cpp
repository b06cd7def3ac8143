// Series arithmetic over the row-use limits, with one rule for gaps: a
// missing operand gives a missing result and sets the missing mark, and
// so does a result that a single cannot hold (it would otherwise put an
// infinity into the series and into every file written from it).
#include "series/series_arithmetic.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "platform/hourglass.h"
#include "platform/text.h"

namespace krv::series {

namespace {

constexpr double kSingleMax = 3.4e38;  // beyond it PutVal stores a gap
constexpr double kTinyResult = 1.2e-38;
constexpr double kExpLimit = 88.7;

// A result as it will be stored; MissingValue, with the mark, when a
// single cannot hold it (NaN, infinities and magnitudes at or beyond the
// missing value itself).
inline double Fit(double r, bool& mark) {
  if (!(std::fabs(r) <= kSingleMax) || IsMissing(float(r))) {
    mark = true;
    return double(MissingValue);
  }
  return r;
}

// The hourglass for a routine's loop, lifted while a message shows.
class Busy {
 public:
  Busy() { glass_.emplace(); }
  void Report(SeriesStore& store, const std::string& text) {
    glass_.reset();
    store.ReportError(text);
    glass_.emplace();
  }

 private:
  std::optional<platform::Hourglass> glass_;
};

// "Inverse OVFL" once per call: a column of zeros must not raise a box
// for every row.
struct InverseWarning {
  bool shown = false;
  void operator()(SeriesStore& store, Busy& busy) {
    if (shown) return;
    shown = true;
    busy.Report(store, "Inverse OVFL");
  }
};

// The indices of the row-use range inside lo..hi; empty when either is.
struct Span {
  int from, to;
};
Span RowUseSpan(const SeriesStore& store, int lo, int hi) {
  return {std::max<int>(store.RowUseLow, lo), std::min<int>(store.RowUseHigh, hi)};
}

// The row-use range inside an open series' range.
Span RowUseSpan(SeriesStore& store, ColumnSlot& slot) {
  int16_t lo, hi;
  store.SeriesIndexRange(slot, lo, hi);
  return RowUseSpan(store, lo, hi);
}

std::string Letter(char op) { return std::string(1, op); }

// The results of a loop, stored into the target in one run when it ends
// (every operand has been read by then, so a target that is also a source
// reads its old values throughout).
// Its buffer is kept between calls (everything runs on one thread), so a
// call neither allocates nor clears memory it is about to fill.
class Results {
 public:
  explicit Results(Span s) : from_(s.from), count_(std::max(0, s.to - s.from + 1)) {
    static thread_local std::vector<double> scratch;
    if (scratch.size() < size_t(count_)) scratch.resize(size_t(count_));
    v_ = scratch.data();
  }
  double& operator[](int i) { return v_[i - from_]; }
  // False when the store could not take them (no 16-bit block start).
  bool StoreInto(SeriesStore& store, ColumnSlot& target) {
    if (count_ == 0) return true;
    store.PutValues(target, int16_t(from_), v_, count_);
    return !store.FailureFlag;
  }

 private:
  int from_, count_;
  double* v_;
};

// The values of an open source, read at indices inside its range. Storing
// into a target never moves them: a target that is the source itself is
// written only inside that range, so its blocks stay where they are.
class Values {
 public:
  explicit Values(const ColumnSlot& s) : cells_(s.Cells().data()), base_(s.Header().base) {}
  float operator[](int i) const { return cells_[i - base_]; }

 private:
  const float* cells_;
  int base_;
};

// Whether the sources are open; else the message and FailureFlag.
bool Frame(SeriesStore& store, const char* name, char op, ColumnSlot& a, ColumnSlot& b) {
  bool aOpen, bOpen;
  store.FindTwoSeries(a, b, aOpen, bOpen);
  if (!aOpen || !bOpen) {
    store.ReportError(std::string("No source for ") + name + " " + Letter(op));
    store.FailureFlag = true;
    return false;
  }
  return true;
}

void OpenTarget(SeriesStore& store, ColumnSlot& target) {
  if (!store.SelectOpenSeries(target)) store.NewSeries(target, false, "");
}

void InvalidOp(SeriesStore& store, const char* name) {
  store.ReportError(std::string("Invalid op.,") + name);
  store.FailureFlag = true;
}

// target[i] := f(source[i]) over the span, gaps passed through with the
// mark. f returns MissingValue itself for a value outside its domain, which
// gives a gap without the mark.
template <class F>
void UnaryLoop(SeriesStore& store, ColumnSlot& target, ColumnSlot& source, Span s, bool& mark,
               F f) {
  const double missing = double(MissingValue);
  const Values in(source);
  Results out(s);
  for (int i = s.from; i <= s.to; ++i) {
    float v = in[i];
    double r = missing;
    if (IsMissing(v)) {
      mark = true;
    } else {
      r = f(double(v));
      if (r != missing) r = Fit(r, mark);
    }
    out[i] = r;
  }
  if (!out.StoreInto(store, target)) mark = true;
}

}  // namespace

void UnaryCalcs(SeriesStore& store, char op, ColumnSlot& target, ColumnSlot& source) {
  op = platform::UpperAscii(op);
  if (!Frame(store, "UNARYCALCS", op, source, source)) return;
  OpenTarget(store, target);
  Span s = RowUseSpan(store, source);
  Busy busy;
  bool mark = false;
  const double missing = double(MissingValue);
  switch (op) {
    case 'C': {
      double sum = 0;  // in double: a long single sum drifts
      bool gapMet = false;
      const Values in(source);
      Results out(s);
      for (int i = s.from; i <= s.to; ++i) {
        float v = in[i];
        if (IsMissing(v)) gapMet = true;
        double r = missing;
        if (gapMet) {
          mark = true;
        } else {
          sum += double(v);
          r = Fit(sum, mark);
        }
        out[i] = r;
      }
      if (!out.StoreInto(store, target)) mark = true;
      break;
    }
    case 'E':
      UnaryLoop(store, target, source, s, mark,
                [&](double v) { return v <= kExpLimit ? std::exp(v) : missing; });
      break;
    case 'I': {
      InverseWarning warn;
      UnaryLoop(store, target, source, s, mark, [&](double v) {
        if (std::fabs(v) >= store.TinyThreshold) return 1.0 / v;
        warn(store, busy);
        return missing;
      });
      break;
    }
    case 'L':
      UnaryLoop(store, target, source, s, mark,
                [&](double v) { return v > 0 ? std::log(v) : missing; });
      break;
    case 'N':
      UnaryLoop(store, target, source, s, mark, [](double v) { return -v; });
      break;
    default:
      // Gaps before the first value are passed on; the first value stops it.
      for (int i = s.from; i <= s.to; ++i) {
        float v = store.GetVal(source, int16_t(i));
        if (!IsMissing(v)) {
          busy.Report(store, "Invalid op.,UNARYCALCS");
          store.FailureFlag = true;
          return;
        }
        mark = true;
        store.PutVal(target, int16_t(i), missing);
      }
  }
  store.FailureFlag = mark;
}

void ConstCalcs(SeriesStore& store, char op, ColumnSlot& target, ColumnSlot& source,
                double c) {
  op = platform::UpperAscii(op);
  if (!Frame(store, "CONSTCALCS", op, source, source)) return;
  if (op != '*' && op != '+' && op != '/' && op != 'X' && op != 'S') {
    InvalidOp(store, "CONSTCALCS");
    return;
  }
  if (op == '/' && !(std::fabs(c) >= store.TinyThreshold)) {
    store.ReportError("Div by const zero");
    store.FailureFlag = true;
    return;
  }
  OpenTarget(store, target);
  Span s = RowUseSpan(store, source);
  Busy busy;
  bool mark = false;
  const double missing = double(MissingValue);
  switch (op) {
    case '*':
      UnaryLoop(store, target, source, s, mark, [c](double v) { return c * v; });
      break;
    case '+':
      UnaryLoop(store, target, source, s, mark, [c](double v) { return c + v; });
      break;
    case '/':
      UnaryLoop(store, target, source, s, mark, [c](double v) { return v / c; });
      break;
    case 'X':
      UnaryLoop(store, target, source, s, mark, [&](double v) {
        if (v < 0 || (v == 0 && c < 0)) {
          mark = true;
          return missing;
        }
        return v == 0 ? 0.0 : std::exp(c * std::log(v));
      });
      break;
    case 'S': {
      // Half to even; a shift beyond any index moves everything off the range.
      double h = std::isnan(c) ? 70000.0 : std::nearbyint(std::clamp(c, -70000.0, 70000.0));
      long shift = long(h);
      auto copy = [&](int i) {
        long to = i + shift;
        if (to < INT16_MIN || to > INT16_MAX) {
          mark = true;  // would wrap onto another index
          return;
        }
        store.PutVal(target, int16_t(to), double(store.GetVal(source, int16_t(i))));
        if (store.FailureFlag) mark = true;
      };
      // Reads run ahead of writes, so a series shifted onto itself is read
      // whole before any value is overwritten.
      if (shift >= 1)
        for (int i = s.to; i >= s.from; --i) copy(i);
      else
        for (int i = s.from; i <= s.to; ++i) copy(i);
      break;
    }
  }
  store.FailureFlag = mark;
}

void BinaryCalcs(SeriesStore& store, char op, ColumnSlot& target, ColumnSlot& a, ColumnSlot& b) {
  op = platform::UpperAscii(op);
  if (!Frame(store, "BINARYCALCS", op, a, b)) return;
  if (op != '+' && op != '-' && op != '*' && op != '/') {
    InvalidOp(store, "BINARYCALCS");
    return;
  }
  OpenTarget(store, target);
  int16_t lo1, hi1, lo2, hi2;
  store.SeriesIndexRange(a, lo1, hi1);
  store.SeriesIndexRange(b, lo2, hi2);
  Span s = RowUseSpan(store, std::max(lo1, lo2), std::min(hi1, hi2));
  Busy busy;
  bool mark = false;
  const double missing = double(MissingValue);
  const double tiny = store.TinyThreshold;
  const Values va(a), vb(b);
  Results out(s);
  auto loop = [&](auto f) {
    for (int i = s.from; i <= s.to; ++i) {
      float x = va[i], y = vb[i];
      double r;
      if (IsMissing(x) || IsMissing(y)) {
        mark = true;
        r = missing;
      } else {
        r = Fit(f(double(x), double(y)), mark);
      }
      out[i] = r;
    }
    if (!out.StoreInto(store, target)) mark = true;
  };
  switch (op) {
    case '+': loop([](double x, double y) { return x + y; }); break;
    case '-': loop([](double x, double y) { return x - y; }); break;
    case '*': loop([](double x, double y) { return x * y; }); break;
    case '/':
      loop([&](double x, double y) {
        if (std::fabs(y) >= tiny) return x / y;
        mark = true;
        return missing;
      });
      break;
  }
  store.FailureFlag = mark;
}

void ModifyBinary(SeriesStore& store, char op, ColumnSlot& target, ColumnSlot& source) {
  op = platform::UpperAscii(op);
  const std::string noSource = "No source for MODIFYBIN " + Letter(op);
  if (!store.SelectOpenSeries(source)) {
    store.ReportError(noSource);
    store.FailureFlag = true;
    return;
  }
  if (!store.SelectOpenSeries(target)) return;
  int16_t slo, shi;
  store.SeriesIndexRange(source, slo, shi);
  if (source.Header().Empty() || slo > store.RowUseLow || shi < store.RowUseHigh) {
    store.ReportError(noSource);
    store.FailureFlag = true;
    return;
  }
  if (op != '*' && op != '+' && op != '-' && op != '/') {
    InvalidOp(store, "MODIFYBIN");
    return;
  }
  Span s = RowUseSpan(store, target);
  Busy busy;
  bool mark = false;
  const double missing = double(MissingValue);
  const double tiny = store.TinyThreshold;
  const Values tv(target), sv(source);
  Results out(s);
  for (int i = s.from; i <= s.to; ++i) {
    float t = tv[i];
    float v = sv[i];
    double r = missing;
    if (IsMissing(t) || IsMissing(v)) {
      mark = true;
    } else {
      double x = t, y = v;
      switch (op) {
        case '*': r = x * y; break;
        case '+': r = x + y; break;
        case '-': r = x - y; break;
        default:
          if (std::fabs(y) >= tiny)
            r = x / y;
          else
            mark = true;
      }
      if (std::fabs(r) < kTinyResult) r = 0;
      r = Fit(r, mark);
    }
    out[i] = r;
  }
  out.StoreInto(store, target);  // marks the series modified only when a value changes
  store.FailureFlag = mark;
}

void ModifyUnary(SeriesStore& store, char op, ColumnSlot& target) {
  op = platform::UpperAscii(op);
  if (!store.SelectOpenSeries(target)) return;
  if (op != 'E' && op != 'I' && op != 'L' && op != 'N') {
    InvalidOp(store, "MODIFYUN");
    return;
  }
  Span s = RowUseSpan(store, target);
  Busy busy;
  InverseWarning warn;
  bool mark = false;
  const double missing = double(MissingValue);
  const Values tv(target);
  Results out(s);
  for (int i = s.from; i <= s.to; ++i) {
    float t = tv[i];
    double r = missing;
    if (!IsMissing(t)) {
      double x = t;
      switch (op) {
        case 'E':
          if (x <= kExpLimit) r = std::exp(x);
          break;
        case 'I':
          if (std::fabs(x) >= store.TinyThreshold)
            r = 1.0 / x;
          else
            warn(store, busy);
          break;
        case 'L':
          if (x > 0) r = std::log(x);
          break;
        default:
          r = -x;
      }
      if (r != missing && std::fabs(r) < kTinyResult) r = 0;
    }
    if (r == missing) mark = true;  // here every domain failure counts
    out[i] = Fit(r, mark);
  }
  out.StoreInto(store, target);
  store.FailureFlag = mark;
}

namespace {
// A limit as the index series' name writes it: "M" for the minus sign.
std::string LimitText(int v) {
  return v < 0 ? "M" + platform::IntToString(-v) : platform::IntToString(v);
}
}  // namespace

void MakeIndexSeries(SeriesStore& store, ColumnSlot& slot) {
  store.FailureFlag = false;
  if (store.RowUseHigh < store.RowUseLow) return;
  Busy busy;
  store.OpenSeriesInSlot(slot, "ix" + LimitText(store.RowUseLow) + "to" + LimitText(store.RowUseHigh),
                         "Index series");
  Span s{store.RowUseLow, store.RowUseHigh};
  Results out(s);
  for (int i = s.from; i <= s.to; ++i) out[i] = i;
  out.StoreInto(store, slot);
  store.FailureFlag = false;
}

void MakeDifferenceSeries(SeriesStore& store, ColumnSlot& slot, double start, double step) {
  store.FailureFlag = false;
  if (store.RowUseHigh < store.RowUseLow) return;
  Busy busy;
  store.FreeSeries(slot);
  store.NewSeries(slot, false, "");
  bool mark = false;
  double v = start;  // summed in double, so a long run does not drift
  Span s{store.RowUseLow, store.RowUseHigh};
  Results out(s);
  for (int i = s.from; i <= s.to; ++i) {
    out[i] = Fit(v, mark);
    v += step;
  }
  out.StoreInto(store, slot);
  store.FailureFlag = mark;
}

void FillSeriesConstant(SeriesStore& store, ColumnSlot& slot, double value) {
  store.FailureFlag = false;
  if (store.RowUseHigh < store.RowUseLow) return;
  Busy busy;
  if (!store.SelectOpenSeries(slot)) store.NewSeries(slot, false, "");
  bool mark = false;
  Span s{store.RowUseLow, store.RowUseHigh};
  Results out(s);
  double v = Fit(value, mark);
  for (int i = s.from; i <= s.to; ++i) out[i] = v;
  out.StoreInto(store, slot);
  store.FailureFlag = mark;
}

}  // namespace krv::series
