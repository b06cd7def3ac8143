// Pass 2: completing the MPROC procedures of the intermediate file.
#include "preprocessor/pass2.h"

#include "preprocessor/guard_terms.h"
#include "preprocessor/tree_walk.h"
#include "preprocessor/variable_map.h"

namespace krv::pp {

namespace {

bool AtEnd(PassContext& c) { return c.scanner.EndOfFile(); }

// The mark in hand becomes a blank; `before` goes in front of it.
void ReplaceMark(PassContext& c, const std::string& before) {
  TokenNode* mark = c.stmt.current;
  std::string lead(c.text.View(mark->leadStart, mark->LeadLength()));
  if (before.empty()) {
    SetGeneratedText(c.text, *mark, lead, " ");
  } else {
    // The added text takes the mark's place after its line break.
    SetGeneratedText(c.text, *mark, "", " ");
    c.stmt.current = nullptr;
    InsertTokenAtHead(c.text, c.stmt, lead, before);
  }
  c.out.EmitList(c.stmt);
}

// Appends the change guard's term for `name` of `type` to `guard`.
void EmitCallGuard(PassContext& c, const TypeChain& types, std::string& guard, const std::string& name,
                   TypeRecord* type) {
  guard += " OR " + GuardTerm(c.text, types, name, type);
}

}  // namespace

void RewriteForPass2(PassContext& c, const TypeChain& types, const MprocTables& mprocs) {
  CopyUntilSegmentEnd(c);
  for (const MprocRecord* m = mprocs.Head(); m && !AtEnd(c); m = m->next) {
    if (m->isSystem) continue;  // its heading and body were written whole
    const std::string& inst = m->instanceName;
    // a. The state parameters at the end of the parameter list: the locals
    // record, and one untyped QTLB overlay per internal.
    std::string params = m->localsType ? ";VAR " + inst + ":" + m->localsTypeName : std::string();
    std::string block;
    char letter = '0';
    for (size_t k = 0; k < m->internals.size(); ++k) {
      if (letter == 0) {
        c.errors.Pass2Error("INTV OVFL");
        break;
      }
      const LocalVar& in = m->internals[k];
      std::string qtlb = std::string("QTLB") + letter;
      params += (k == 0 ? ";VAR " : ",") + qtlb;
      block += " " + inst + "_" + std::string(c.text.View(in.name)) + ":" +
               std::string(c.text.View(in.type->name)) + " ABSOLUTE " + qtlb + ";";
      letter = letter == '9' ? 'A' : letter == 'Z' ? 0 : char(letter + 1);
    }
    ReplaceMark(c, params);
    // b. The rest of the heading, and the internals declared over their overlays.
    NewStatement(c);
    while (!c.CurrentTokenIs(";") && !AtEnd(c) && !c.scanner.SegmentEnd()) c.Scan();
    if (AtEnd(c) || c.scanner.SegmentEnd()) break;
    if (!block.empty()) {
      c.stmt.current = c.stmt.tail;
      InsertTokenAfter(c.text, c.stmt, "\r\n", "VAR" + block);
    }
    c.out.EmitList(c.stmt);
    // c. Up to the mark after the body's BEGIN.
    CopyUntilSegmentEnd(c);
    if (AtEnd(c)) break;
    // d. The change guard over the parameters and the local state.
    std::string guard = "IF _BS";
    for (const ProcParam* p = m->params; p; p = p->next)
      if (p->mode == kXvrParam) EmitCallGuard(c, types, guard, std::string(c.text.View(p->name)), p->type);
    if (m->localsType) EmitCallGuard(c, types, guard, inst, m->localsType);
    for (const LocalVar& in : m->internals)
      EmitCallGuard(c, types, guard, inst + "_" + std::string(c.text.View(in.name)), in.type);
    ReplaceMark(c, guard + " THEN BEGIN");
    // e. Up to the next MPROC's first mark.
    CopyUntilSegmentEnd(c);
  }
  while (!AtEnd(c)) {
    // Marks left over (no record for them) are written as blanks.
    ReplaceMark(c, "");
    CopyUntilSegmentEnd(c);
  }
  c.out.EmitList(c.stmt);
}

std::string RunPass2(PassContext& c, const TypeChain& types, const MprocTables& mprocs,
                     const std::string& label) {
  c.Log().LogLine("continuing...");
  // Without SYSTEM there is no model to number.
  if (!mprocs.System()) c.errors.Pass2Error("NO MPROC SYSTEM IN THE MODEL");
  RewriteForPass2(c, types, mprocs);
  return WriteVariableMap(c.errors, c.text, types, mprocs, label);
}

}  // namespace krv::pp
