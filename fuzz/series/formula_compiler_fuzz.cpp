// Fuzzes the column formula compiler and evaluator: the input is up to
// four formulas, one a line, for columns C to F over a few data columns;
// each is compiled (its tables checked), then all are recalculated over a
// short row-use range next to the grid's ends, as the first byte picks.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/user_prompts.h"
#include "series/WkUnit.h"

using namespace krv::series;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 2048) return 0;
  static krv::platform::ScriptedPrompts prompts;
  prompts.messages.clear();
  SeriesStore store;
  Worksheet ws(store);
  int low = data[0] & 1 ? 11980 : -400;
  store.RowUseLow = int16_t(low);
  store.RowUseHigh = int16_t(low + 20);
  for (int c : {0, 1, 509}) {
    ColumnSlot& slot = store.ColumnSlots[size_t(c)];
    store.NewSeries(slot, false, "");
    for (int i = low - 5; i <= low + 15; ++i) store.PutVal(slot, int16_t(i), (i % 7) - 2.5 * c);
  }
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  int column = 2;
  size_t start = 0;
  while (column < 6 && start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    ws.Formula[size_t(column++)] = text.substr(start, end - start);
    start = end + 1;
  }
  ColumnFormulas& f = ws.Formulas;
  for (int c = 2; c < column; ++c) {
    f.FormulaColumn = c;
    f.CompileFormula(ws.Formula[size_t(c)]);
    if (f.FormulaError) continue;
    if (f.ItemCount > kFormulaItemMax || f.TemporaryCount != f.ItemCount) abort();
    for (int k = 0; k < f.ItemCount; ++k) {
      const FormulaItem& item = f.Items[size_t(k)];
      for (const FormulaOperand* o : {&item.a, &item.b}) {
        // An item reads only temporaries made before it, and real columns.
        if (o->kind == kTemporary && o->column >= item.result) abort();
        if (o->kind == kColumnRef && (o->column < 0 || o->column >= kColumnCount)) abort();
      }
    }
  }
  f.RecalculateFormulas();
  return 0;
}
