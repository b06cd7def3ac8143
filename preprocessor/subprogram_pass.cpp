// Pass 1, part B: the subprogram loop.
#include "preprocessor/subprogram_pass.h"

#include "platform/text.h"
#include "preprocessor/name_store.h"

namespace krv::pp {

void RunSubprogramPass(PassContext& c, TypeChain& types, ProcTables& procs, MprocTables& mprocs,
                       const Directives& directives, const std::string& accessPrefix) {
  SubprogramPass(c, types, procs, mprocs, directives, accessPrefix).Run();
}

bool SubprogramPass::IsSubprogramKeyword(const TokenNode* t) const {
  return t && t->keyword == kSubprogramKeyword;
}

void SubprogramPass::ScanUntilWords(std::initializer_list<std::string_view> words) {
  NewStatement(c_);
  keywordSeen_ = false;
  for (;;) {
    const TokenNode* t = c_.stmt.current;
    if (IsSubprogramKeyword(t)) {
      keywordSeen_ = true;
      break;
    }
    bool stop = false;
    for (auto w : words) stop = stop || c_.NodeTokenIs(t, w);
    if (stop) break;
    c_.Scan();
  }
  c_.stmt.CutListAtCurrent();
}

void SubprogramPass::SkipToSubprogram() {
  if (IsSubprogramKeyword(c_.stmt.current)) return;
  // The statement in hand (the token that ended the type part) is written
  // first, so no source text is lost.
  c_.out.EmitList(c_.stmt);
  NewStatement(c_);
  while (!IsSubprogramKeyword(c_.stmt.current)) {
    c_.out.EmitToken(*c_.stmt.current);
    c_.scanner.ScanToken(c_.stmt, false);
  }
}

void SubprogramPass::CopyPlainSubprogram() {
  // The heading up to its first ';'; the rest follows as plain text.
  for (;;) {
    const TokenNode* t = c_.stmt.current;
    if (c_.NodeTokenIs(t, ";") || c_.scanner.EndOfFile()) break;
    c_.Scan();
  }
  if (c_.scanner.EndOfFile()) {
    // The end-of-file mark stays for the loop; everything before it goes out.
    EmitAllButCurrent();
    return;
  }
  c_.out.EmitList(c_.stmt);
  NewStatement(c_);
}

void SubprogramPass::CreateBuiltins() {
  TypeRecord* xvr = types_.Head();
  for (const char* name : {"QTLFIX", "QTLINTEG", "QTLDERIV"}) {
    XprocRecord* x = procs_.AppendXproc(StoreLiteralName(c_, name), kXproc);
    XvrParam* in = procs_.NewXvrParam(StoreLiteralName(c_, "XI"), xvr);
    XvrParam* out = procs_.NewXvrParam(StoreLiteralName(c_, "XO"), xvr);
    x->inputs = in;
    x->outputs = out;
    ProcParam* po = procs_.NewProcParam(out->name, kXvrParam, xvr);
    po->xvr = out;
    ProcParam* pi = procs_.NewProcParam(in->name, kXvrParam, xvr);
    pi->xvr = in;
    po->next = pi;
    x->params = po;
  }
}

void SubprogramPass::Run() {
  procs_.Reset();
  mprocs_.Reset();
  CreateBuiltins();
  if (!c_.stmt.current) NewStatement(c_);
  for (;;) {
    SkipToSubprogram();
    if (c_.scanner.EndOfFile() && IsSubprogramKeyword(c_.stmt.current) &&
        c_.text.At(c_.stmt.current->tokenStart) == kEofChar)
      break;
    std::string keyword = c_.CurrentTokenUpper();
    if (keyword == "XPROC" || keyword == "XDXPROC")
      ProcessXproc(keyword);
    else if (keyword == "MPROC")
      ProcessMproc();
    else
      CopyPlainSubprogram();
  }
  c_.out.EmitList(c_.stmt);
}

}  // namespace krv::pp
