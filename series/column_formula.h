// Column formulas: a formula text is compiled, by rewriting its working
// text, into a flat list of operation items over column references,
// single constants and double temporaries; the list then fills the
// column row by row over the row-use limits. All formula columns are
// recomputed together in dependency order, with loops refused.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "series/series_store.h"

namespace krv::series {

constexpr int kFormulaItemMax = 100;  // items, and so temporaries, per formula
constexpr size_t kFormulaTextMax = 255;

enum FormulaOperandKind : uint8_t { kColumnRef = 0, kConstant = 1, kTemporary = 2 };

struct FormulaOperand {
  uint8_t kind = kConstant;
  uint8_t relative = 0;  // 1: row is an offset from the row computed
  int16_t column = 0;    // worksheet column, or temporary number
  int16_t row = 0;
  int16_t low = 0, high = -1;  // the column's index range when compiled
  float constant = 0;
};

enum FormulaOp : uint8_t {
  kNegate = 1,
  kLn = 2,
  kExp = 3,
  kSin = 4,
  kCos = 5,
  kPower = 6,
  kMultiply = 7,
  kDivide = 8,
  kAdd = 9,
  kSubtract = 10,
};

struct FormulaItem {
  uint8_t op = 0;
  int16_t result = 0;  // temporary number
  FormulaOperand a, b;
};

// The compiler and evaluator of one formula at a time, over the store's
// column slots. Formulas are the worksheet's texts, one per column.
class ColumnFormulas {
 public:
  ColumnFormulas(SeriesStore& store, const std::array<std::string, kColumnCount>& formulas)
      : store_(store), formulas_(formulas) {}

  // ---- Compiler state ----
  std::string WorkingText;
  std::array<FormulaItem, kFormulaItemMax> Items;
  int ItemCount = 0;
  int TemporaryCount = 0;
  std::array<double, kFormulaItemMax> Temporaries{};
  FormulaOperand SingleOperand;
  int FormulaColumn = 0;
  bool FormulaError = false;
  bool OutOfRange = false;

  // Fills the items or SingleOperand from `text`; FormulaError when it is
  // refused, with the message shown.
  void CompileFormula(const std::string& text);
  // Shows "<letters>: <message> at <position>:<working text>".
  void ReportFormulaError(const std::string& message, int position);
  // The value of `operand` in row `index`; MissingValue (and FormulaError)
  // when it has none.
  double FetchFormulaOperand(const FormulaOperand& operand, int index);
  // Compiles the column's formula and fills the column over the row-use limits.
  void ComputeColumnFormula(int column);
  // Every formula column, each after the formula columns it reads.
  void RecalculateFormulas();

  // The order RecalculateFormulas computes in; false (with the message
  // shown) on a compile error or a loop.
  bool RecalculationOrder(std::array<int16_t, kColumnCount>& order, int& count);

 private:
  struct Parsed {
    FormulaOperand operand;
    size_t end = 0;  // position after the operand's text
  };
  bool ParseGroup(size_t p, Parsed& out);
  bool ParseChain(size_t start, const char* ops, Parsed& out);
  bool ParseOperand(size_t p, Parsed& out);
  bool ParseNumber(size_t p, Parsed& out);
  bool ParseColumnRef(size_t p, Parsed& out);
  bool AppendItem(uint8_t op, const FormulaOperand& a, const FormulaOperand& b, size_t from,
                  size_t to, FormulaOperand& result);
  void Fail(const char* message, size_t index) { ReportFormulaError(message, int(index) + 1); }
  // An operand as one computation reads it: a column's cells are found
  // once, before the rows, so that a row reads each in constant time.
  struct Source {
    uint8_t kind = kConstant;  // kColumnRef: another column; kOwn: this computation's
    bool relative = false;
    int row = 0;
    int low = 0, high = -1;
    double constant = 0;
    int temporary = 0;
    const float* cells = nullptr;  // the cell of index `base`
    int base = 0;
    bool ownEarlier = false;  // an own earlier row: read whatever the range
  };
  static constexpr uint8_t kOwn = 3;
  struct Step {
    uint8_t op;
    int result;
    Source a, b;
  };
  Source Resolve(const FormulaOperand& o);
  // False when the operand has no value: missing, or outside its column
  // (then `outside` is set too).
  // `Own`: the formula reads its own column, which needs a look-up.
  template <bool Own>
  bool Fetch(const Source& s, int index, double& v, bool& outside);
  // Runs the items (or the single operand) for one row; false: the row failed.
  template <bool Own>
  bool EvaluateRow(int index, double& value, bool& outside);
  double ReadOwnColumn(int r);

  std::array<Step, kFormulaItemMax> steps_;
  Source single_;
  ColumnSlot* own_ = nullptr;
  std::vector<double> rowValues_;  // a computation's rows, stored a run at a time

  SeriesStore& store_;
  const std::array<std::string, kColumnCount>& formulas_;
  bool warned_ = false;  // one "beyond range" warning per computation
};

}  // namespace krv::series
