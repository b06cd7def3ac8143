// Column formulas: the compiler rewrites its working text, reducing each
// operation to a three-character temporary token, so that positions in
// its messages refer to the text as rewritten so far.
#include "series/column_formula.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "problem_editor/value_entry.h"
#include "series/worksheet_format.h"

namespace krv::series {

namespace {

constexpr double kExpLimit = 690;       // exp beyond this fails the row
constexpr double kTinyDivisor = 1e-300;
constexpr double kTrigLimit = 9.223372036854775808e18;  // beyond it sine and cosine give 0
constexpr size_t kNumberTextMax = 35;

bool IsLetter(char c) { return c >= 'A' && c <= 'Z'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A temporary number as a token byte: "0".."9", then chr(value + 64).
char TokenChar(int v) { return char(v < 10 ? '0' + v : v + 64); }
int TokenValue(unsigned char c) { return c <= '9' ? c - '0' : c - 64; }

std::string Token(int temp) {
  return std::string{'%', TokenChar(temp & 0xFF), TokenChar((temp >> 8) & 0xFF)};
}

uint8_t OpOf(char c) {
  switch (c) {
    case '^': return kPower;
    case '*': return kMultiply;
    case '/': return kDivide;
    case '+': return kAdd;
    default: return kSubtract;
  }
}

}  // namespace

void ColumnFormulas::ReportFormulaError(const std::string& message, int position) {
  store_.ShowMessageStr(ColumnLetters(FormulaColumn) + ": " + message + " at " + std::to_string(position) +
                        ":" + WorkingText);
  FormulaError = true;
}

// ---- The compiler ----

void ColumnFormulas::CompileFormula(const std::string& text) {
  std::string t = text.substr(0, kFormulaTextMax);
  for (char& c : t) c = char(std::toupper(static_cast<unsigned char>(c)));
  FormulaError = false;
  WorkingText = "(";
  for (char c : t)
    if (c != ' ' && c != '=') WorkingText += c;
  WorkingText += ')';
  ItemCount = 0;
  TemporaryCount = 0;
  if (std::count(WorkingText.begin(), WorkingText.end(), '(') !=
      std::count(WorkingText.begin(), WorkingText.end(), ')')) {
    ReportFormulaError("Unbalanced parens", 1);
    return;
  }
  Parsed top;
  if (!ParseGroup(0, top)) return;
  // Whatever follows the outermost group was never read.
  if (top.end != WorkingText.size()) {
    Fail("Syntax Err", top.end);
    return;
  }
  if (ItemCount == 0) SingleOperand = top.operand;
}

bool ColumnFormulas::AppendItem(uint8_t op, const FormulaOperand& a, const FormulaOperand& b, size_t from,
                                size_t to, FormulaOperand& result) {
  if (ItemCount >= kFormulaItemMax) {  // the tables hold no more
    Fail("Syntax Err", from);
    return false;
  }
  FormulaItem& item = Items[size_t(ItemCount++)];
  item.op = op;
  item.result = int16_t(TemporaryCount);
  item.a = a;
  item.b = b;
  result = FormulaOperand{};
  result.kind = kTemporary;
  result.column = int16_t(TemporaryCount);
  WorkingText.replace(from, to - from, Token(TemporaryCount));
  ++TemporaryCount;
  return true;
}

bool ColumnFormulas::ParseGroup(size_t p, Parsed& out) {
  std::string& w = WorkingText;
  size_t n = p;
  if (w[p] == '@') {
    n = w.find('(', p);
    if (n == std::string::npos) {
      Fail("Syntax Err", p);
      return false;
    }
  }
  if (n + 1 < w.size() && w[n + 1] == '-') {
    Parsed operand;
    if (!ParseOperand(n + 2, operand)) return false;
    FormulaOperand t;
    if (!AppendItem(kNegate, operand.operand, FormulaOperand{}, n + 1, operand.end, t)) return false;
  }
  Parsed chain;
  for (const char* ops : {"^", "*/", "+-"})
    if (!ParseChain(n + 1, ops, chain)) return false;
  // The chain stopped at its closing parenthesis.
  size_t close = chain.end;
  if (w[p] == '@') {
    uint8_t op = 0;
    std::string_view name = std::string_view(w).substr(p, 4);
    if (name == "@LN(") op = kLn;
    else if (name == "@EXP") op = kExp;
    else if (name == "@SIN") op = kSin;
    else if (name == "@COS") op = kCos;
    else {
      Fail("Function syntax err", p);
      return false;
    }
    if (!AppendItem(op, chain.operand, FormulaOperand{}, p, close + 1, out.operand)) return false;
    out.end = p + 3;
    return true;
  }
  w.erase(close, 1);
  w.erase(n, 1);
  out.operand = chain.operand;
  out.end = close - 1;
  return true;
}

bool ColumnFormulas::ParseChain(size_t start, const char* ops, Parsed& out) {
  std::string& w = WorkingText;
  Parsed a;
  if (!ParseOperand(start, a)) return false;
  size_t from = start;
  for (;;) {
    if (a.end >= w.size()) {
      Fail("Syntax Err", a.end);
      return false;
    }
    char c = w[a.end];
    if (c == ')') break;
    // Between two operands stands an operator, nothing else.
    if (!std::strchr("^*/+-", c)) {
      Fail("Syntax Err", a.end);
      return false;
    }
    size_t bStart = a.end + 1;
    Parsed b;
    if (!ParseOperand(bStart, b)) return false;
    if (std::strchr(ops, c)) {
      if (!AppendItem(OpOf(c), a.operand, b.operand, from, b.end, a.operand)) return false;
      a.end = from + 3;
    } else {
      a = b;
      from = bStart;
    }
  }
  out = a;
  return true;
}

bool ColumnFormulas::ParseOperand(size_t p, Parsed& out) {
  const std::string& w = WorkingText;
  if (p >= w.size()) {
    Fail("Syntax Err", p);
    return false;
  }
  char c = w[p];
  if (c == '%') {
    // Only a token this compilation made: a typed "%" names nothing.
    int temp = p + 2 < w.size() ? TokenValue(static_cast<unsigned char>(w[p + 1])) +
                                      256 * TokenValue(static_cast<unsigned char>(w[p + 2]))
                                : -1;
    if (temp < 0 || temp >= TemporaryCount) {
      Fail("Syntax Err", p);
      return false;
    }
    out.operand = FormulaOperand{};
    out.operand.kind = kTemporary;
    out.operand.column = int16_t(temp);
    out.end = p + 3;
    return true;
  }
  if (c == '(' || c == '@') return ParseGroup(p, out);
  if (IsLetter(c)) return ParseColumnRef(p, out);
  return ParseNumber(p, out);
}

bool ColumnFormulas::ParseNumber(size_t p, Parsed& out) {
  const std::string& w = WorkingText;
  size_t e = p;
  while (e < w.size() && (IsDigit(w[e]) || w[e] == '.')) ++e;
  if (e < w.size() && w[e] == 'E') {
    ++e;
    if (e < w.size() && (IsDigit(w[e]) || w[e] == '+' || w[e] == '-')) ++e;
    while (e < w.size() && IsDigit(w[e])) ++e;
  }
  // A constant a single cannot hold is refused, never kept as infinity.
  std::optional<double> v = pe::ParseSingleValue(std::string_view(w).substr(p, std::min(e - p, kNumberTextMax)));
  if (!v) {
    Fail("Syntax Err", e);
    return false;
  }
  out.operand = FormulaOperand{};
  out.operand.kind = kConstant;
  out.operand.constant = float(*v);
  out.end = e;
  return true;
}

bool ColumnFormulas::ParseColumnRef(size_t p, Parsed& out) {
  const std::string& w = WorkingText;
  size_t e = p + 1;
  if (e < w.size() && IsLetter(w[e])) ++e;
  FormulaOperand& o = out.operand;
  o = FormulaOperand{};
  o.kind = kColumnRef;
  o.column = int16_t(ParseColumnLetters(std::string_view(w).substr(p, e - p)));
  o.relative = 1;
  if (e < w.size() && w[e] == '[') {
    size_t s = e + 1;
    size_t close = w.find(']', s);
    if (close == std::string::npos) close = w.size();
    o.relative = 0;
    if (s < close && w[s] == 'R') {
      o.relative = 1;
      ++s;
    }
    if (s < close) {
      std::optional<int> row = pe::ParseIndexValue(std::string_view(w).substr(s, close - s), INT16_MIN, INT16_MAX);
      if (!row) {
        Fail("Row Index Err", s);
        return false;
      }
      o.row = int16_t(*row);
    }
    e = std::min(close + 1, w.size());
  }
  ColumnSlot& slot = store_.ColumnSlots[size_t(o.column)];
  if (!slot.IsOpen() && o.column == FormulaColumn) {
    o.low = store_.RowUseLow;
    o.high = store_.RowUseHigh;
  } else {
    bool failure = store_.FailureFlag;
    store_.SeriesIndexRange(slot, o.low, o.high);
    store_.FailureFlag = failure;
  }
  out.end = e;
  return true;
}

// ---- The evaluator ----

double ColumnFormulas::ReadOwnColumn(int r) {
  ColumnSlot& slot = *own_;
  const SeriesHeader& h = slot.Header();
  int d = r - h.base;
  if (r <= h.highest && d >= int(h.firstOffset)) return slot.Cells()[size_t(d)];
  // An own earlier row outside the series: warned of once per computation.
  if (!warned_) {
    warned_ = true;
    store_.ReportError("Warning, GETVAL beyond range for " + slot.Descriptor().path);
  }
  return MissingValue;
}

ColumnFormulas::Source ColumnFormulas::Resolve(const FormulaOperand& o) {
  Source s;
  s.kind = o.kind;
  s.relative = o.relative != 0;
  s.row = o.row;
  s.low = o.low;
  s.high = o.high;
  if (o.kind == kConstant) s.constant = o.constant;
  if (o.kind == kTemporary) s.temporary = o.column;
  if (o.kind != kColumnRef) return s;
  ColumnSlot& slot = store_.ColumnSlots[size_t(o.column)];
  if (o.column == FormulaColumn) {
    // Written while read: looked up at every read.
    s.kind = kOwn;
    s.ownEarlier = s.relative && o.row < 0;
  } else if (slot.IsOpen() && o.low <= o.high) {
    // Inside the range it had when compiled, which nothing but this
    // computation's own column changes since.
    s.cells = slot.Cells().data();
    s.base = slot.Header().base;
  } else {
    s.low = 0, s.high = -1;  // nothing to read: every row is outside
  }
  return s;
}

template <bool Own>
inline bool ColumnFormulas::Fetch(const Source& s, int index, double& v, bool& outside) {
  switch (s.kind) {
    case kConstant:
      v = s.constant;
      break;
    case kTemporary:
      v = Temporaries[size_t(s.temporary)];
      break;
    default: {
      int r = s.relative ? s.row + index : s.row;
      if ((r < s.low || r > s.high) && !(Own && s.ownEarlier)) {
        outside = true;
        v = MissingValue;
        return false;
      }
      v = Own && s.kind == kOwn ? ReadOwnColumn(r) : s.cells[r - s.base];
    }
  }
  return v != double(MissingValue);
}

double ColumnFormulas::FetchFormulaOperand(const FormulaOperand& o, int index) {
  own_ = &store_.ColumnSlots[size_t(FormulaColumn)];
  double v;
  bool outside = false;
  if (!Fetch<true>(Resolve(o), index, v, outside)) FormulaError = true;
  if (outside) OutOfRange = true;
  return v;
}

template <bool Own>
bool ColumnFormulas::EvaluateRow(int index, double& value, bool& outside) {
  if (ItemCount == 0) return Fetch<Own>(single_, index, value, outside);
  double v = 0, x, y;
  for (int k = 0; k < ItemCount; ++k) {
    const Step& item = steps_[size_t(k)];
    if (!Fetch<Own>(item.op == kDivide ? item.b : item.a, index, x, outside)) return false;
    switch (item.op) {
      case kNegate:
        v = -x;
        break;
      case kLn:
        if (x <= 0) return false;
        v = std::log(x);
        break;
      case kExp:
        if (x > kExpLimit) return false;
        v = std::exp(x);
        break;
      case kSin:
        v = std::fabs(x) < kTrigLimit ? std::sin(x) : 0;
        break;
      case kCos:
        v = std::fabs(x) < kTrigLimit ? std::cos(x) : 0;
        break;
      case kPower: {
        if (x < 0) return false;
        if (x == 0) {
          v = 0;
          break;
        }
        if (!Fetch<Own>(item.b, index, y, outside)) return false;
        double t = std::log(x) * y;
        if (t > kExpLimit) return false;
        v = std::exp(t);
        break;
      }
      case kDivide:
        if (std::fabs(x) < kTinyDivisor) return false;
        if (!Fetch<Own>(item.a, index, y, outside)) return false;
        v = y / x;
        break;
      case kMultiply:
        if (!Fetch<Own>(item.b, index, y, outside)) return false;
        v = x * y;
        break;
      case kAdd:
        if (!Fetch<Own>(item.b, index, y, outside)) return false;
        v = x + y;
        break;
      default:
        if (!Fetch<Own>(item.b, index, y, outside)) return false;
        v = x - y;
    }
    Temporaries[size_t(item.result)] = v;
  }
  value = v;
  return true;
}

void ColumnFormulas::ComputeColumnFormula(int column) {
  FormulaColumn = column;
  CompileFormula(formulas_[size_t(column)]);
  if (FormulaError) return;
  ColumnSlot& slot = store_.ColumnSlots[size_t(column)];
  if (!slot.IsOpen()) store_.NewSeries(slot, false, "");
  own_ = &slot;
  for (int k = 0; k < ItemCount; ++k) {
    const FormulaItem& item = Items[size_t(k)];
    steps_[size_t(k)] = Step{item.op, item.result, Resolve(item.a), Resolve(item.b)};
  }
  if (ItemCount == 0) single_ = Resolve(SingleOperand);
  warned_ = false;
  bool readsOwn = ItemCount == 0 ? single_.kind == kOwn : false;
  for (int k = 0; k < ItemCount; ++k)
    readsOwn = readsOwn || steps_[size_t(k)].a.kind == kOwn || steps_[size_t(k)].b.kind == kOwn;
  int low = store_.RowUseLow, high = store_.RowUseHigh;
  if (readsOwn) {
    // A row may read the rows just written: each is stored at once.
    for (int i = low; i <= high; ++i) {
      bool outside = false;
      double v;
      FormulaError = !EvaluateRow<true>(i, v, outside);
      OutOfRange = outside;
      if (!FormulaError)
        store_.PutVal(slot, int16_t(i), v);  // beyond the single range it is stored as missing
      else if (!OutOfRange)
        store_.PutVal(slot, int16_t(i), MissingValue);
    }
  } else {
    // Runs of rows stored together, the chain grown once per run; a row
    // left unchanged ends a run.
    rowValues_.resize(size_t(std::max(0, high - low + 1)));
    int runStart = low;
    auto flush = [&](int end) {
      if (end > runStart)
        store_.PutValues(slot, int16_t(runStart), rowValues_.data() + (runStart - low), end - runStart);
    };
    for (int i = low; i <= high; ++i) {
      bool outside = false;
      double& v = rowValues_[size_t(i - low)];
      FormulaError = !EvaluateRow<false>(i, v, outside);
      OutOfRange = outside;
      if (FormulaError && OutOfRange) {
        flush(i);
        runStart = i + 1;
      } else if (FormulaError) {
        v = MissingValue;
      }
    }
    flush(high + 1);
  }
  if (store_.Display) store_.Display->ShowColumn(column);
}

// ---- Recalculation of all ----

bool ColumnFormulas::RecalculationOrder(std::array<int16_t, kColumnCount>& order, int& count) {
  count = 0;
  // Edges to other formula columns, in ascending order of the column read.
  std::vector<std::vector<int16_t>> edges(kColumnCount);
  auto hasFormula = [&](int c) { return !formulas_[size_t(c)].empty(); };
  for (int n = 0; n < kColumnCount; ++n) {
    if (!hasFormula(n)) continue;
    FormulaColumn = n;
    CompileFormula(formulas_[size_t(n)]);
    if (FormulaError) {
      store_.ShowMessageStr("Error, Column " + ColumnLetters(n));
      return false;
    }
    std::vector<int16_t>& e = edges[size_t(n)];
    auto add = [&](const FormulaOperand& o) {
      if (o.kind == kColumnRef && o.column != n && hasFormula(o.column)) e.push_back(o.column);
    };
    if (ItemCount == 0) add(SingleOperand);
    for (int k = 0; k < ItemCount; ++k) {
      const FormulaItem& item = Items[size_t(k)];
      add(item.a);
      if (item.op >= kPower) add(item.b);
    }
    std::sort(e.begin(), e.end());
    e.erase(std::unique(e.begin(), e.end()), e.end());
  }
  // Depth-first, each column after every column it reads; an edge back
  // into the path is a loop.
  enum : uint8_t { kUnseen, kOnPath, kDone };
  std::array<uint8_t, kColumnCount> state{};
  std::vector<std::pair<int16_t, size_t>> path;
  for (int s = 0; s < kColumnCount; ++s) {
    if (!hasFormula(s) || state[size_t(s)] != kUnseen) continue;
    path.push_back({int16_t(s), 0});
    state[size_t(s)] = kOnPath;
    while (!path.empty()) {
      auto& [n, next] = path.back();
      const std::vector<int16_t>& e = edges[size_t(n)];
      if (next < e.size()) {
        int16_t m = e[next++];
        if (state[size_t(m)] == kOnPath) {
          store_.ShowMessageStr("Possible recurs. loop found for " + ColumnLetters(m));
          return false;
        }
        if (state[size_t(m)] == kUnseen) {
          state[size_t(m)] = kOnPath;
          path.push_back({m, 0});
        }
      } else {
        state[size_t(n)] = kDone;
        order[size_t(count++)] = n;
        path.pop_back();
      }
    }
  }
  return true;
}

void ColumnFormulas::RecalculateFormulas() {
  std::array<int16_t, kColumnCount> order;
  int count = 0;
  if (RecalculationOrder(order, count))
    for (int k = 0; k < count; ++k) ComputeColumnFormula(order[size_t(k)]);
  if (store_.Display) store_.Display->RefreshColumnHeaders();
}

}  // namespace krv::series
