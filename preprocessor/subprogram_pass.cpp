// Pass 1, part B: the procedures after the type part.
#include "preprocessor/subprogram_pass.h"

namespace krv::pp {

void RunSubprogramPass(PassContext& c) {
  if (!c.stmt.current) NewStatement(c);
  if (!c.scanner.EndOfFile()) c.Log().LogLine("PROCEDURES COPIED WITHOUT TRANSLATION");
  while (!c.scanner.EndOfFile()) {
    c.out.EmitToken(*c.stmt.current);
    c.scanner.ScanToken(c.stmt, false);
  }
  c.out.EmitToken(*c.stmt.current);
}

}  // namespace krv::pp
