// MPROC translation: heading, XVR locals, MFOR loops, and the expansion of
// the equation-procedure and MPROC calls in its body.
#include <vector>

#include "platform/text.h"
#include "preprocessor/char_class.h"
#include "preprocessor/name_store.h"
#include "preprocessor/subprogram_pass.h"

namespace krv::pp {

namespace {

constexpr std::string_view kMforErr = "MFOR SYNTAX ERR";

bool IsNumberText(const std::string& s) {
  if (s.empty()) return false;
  for (char ch : s)
    if (!IsDigit(ch)) return false;
  return true;
}

// The arguments of a call statement NAME ( a1, a2 ... ): token runs split
// where a token's leading text holds a comma, up to the final ')'.
std::vector<std::vector<TokenNode*>> SplitArguments(TokenList& s) {
  std::vector<std::vector<TokenNode*>> args;
  if (!s.head || !s.head->next) return args;
  for (TokenNode* n = s.head->next->next; n && n != s.tail; n = n->next) {
    if (args.empty() || n->separator == ',') args.emplace_back();
    args.back().push_back(n);
  }
  return args;
}

// Replaces a token's text, keeping its leading text as it is.
void RetextToken(TextBuffer& text, TokenNode& node, const std::string& tokenText) {
  std::string lead(text.View(node.leadStart, node.LeadLength()));
  char sep = node.separator;
  SetGeneratedText(text, node, lead, tokenText);
  node.separator = sep;
}

}  // namespace

void SubprogramPass::ProcessMproc() {
  inMproc_ = true;
  xproc_ = nullptr;
  if (!StartSubprogram()) return;
  // SYSTEM must come last: the marks of pass 2 are consumed in list order.
  if (mprocs_.System()) c_.errors.SyntaxError("MPROC DEFINED AFTER MPROC SYSTEM");
  std::string name = c_.CurrentTokenText();
  bool isSystem = platform::EqualsCaseBlind(name, "SYSTEM");
  mproc_ = mprocs_.Append(isSystem ? StoreLiteralName(c_, "SYSTEM") : StoreTokenName(c_, *c_.stmt.current));
  mproc_->isSystem = isSystem;
  mproc_->localsTypeName = "_" + (isSystem ? std::string("SYSTEM") : name);
  if (isSystem) {
    mproc_->instanceName = accessPrefix_;
    ReplaceToken(c_.text, c_.stmt, " SYSTEMMC(VAR _X:_SYSTEM)");
    c_.Scan();
    if (!c_.CurrentTokenIs(";")) c_.errors.SyntaxError("EXPECT ;");
    if (IsSubprogramKeyword(c_.stmt.current)) {
      EmitAllButCurrent();
      return;
    }
    c_.out.EmitList(c_.stmt);
  } else {
    c_.Scan();
    if (!c_.CurrentTokenIs("(")) {
      c_.errors.SyntaxError("EXPECT (");
      EmitAllButCurrent();
      return;
    }
    c_.out.EmitList(c_.stmt);
    if (!ParseXprocHeading(mproc_->params, mproc_->varLengthUses)) return;
    mproc_->storageLetter = storageLetter_;
    if (!storage_.Empty()) {
      InsertTokenAtHead(c_.text, storage_, "\r\n", "VAR");
      c_.out.EmitListNoCommas(storage_);
      storage_.Clear();
    }
  }
  if (!ParseLocals()) return;
  TranslateMprocBody();
}

// The VAR part up to BEGIN; leaves the BEGIN statement written.
bool SubprogramPass::ParseLocals() {
  NewStatement(c_);
  if (c_.CurrentTokenIs("VAR")) {
    ParseLocalDeclaration(true);
    for (;;) {
      if (keywordSeen_) {
        c_.errors.SyntaxError("SYNTAX ERR");
        return false;
      }
      ScanUntilWords({";", "BEGIN"});
      if (c_.NodeTokenIs(c_.stmt.head, "BEGIN")) break;
      if (keywordSeen_) {
        c_.errors.SyntaxError("SYNTAX ERR");
        EmitAllButCurrent();
        return false;
      }
      ParseLocalDeclaration(false);
    }
  }
  if (IsSubprogramKeyword(c_.stmt.current) || !c_.CurrentTokenIs("BEGIN")) {
    c_.errors.SyntaxError("SYNTAX ERR");
    if (IsSubprogramKeyword(c_.stmt.current)) EmitAllButCurrent();
    return false;
  }
  if (!mproc_->isSystem) {
    c_.stmt.current = c_.stmt.tail;
    InsertTokenAfter(c_.text, c_.stmt, "\r\n", std::string(1, kSegmentMark));
  }
  c_.out.EmitList(c_.stmt);
  return true;
}

// One declaration "names : [ARRAY [lo..hi] OF] type ;". XVR locals are
// kept, not written; only the loop variable _J passes into the output.
void SubprogramPass::ParseLocalDeclaration(bool first) {
  TokenList& s = c_.stmt;
  if (first) {
    keywordSeen_ = false;
    for (;;) {
      const TokenNode* t = s.current;
      if (c_.NodeTokenIs(t, ";")) break;
      if (IsSubprogramKeyword(t) || c_.NodeTokenIs(t, "BEGIN")) {
        keywordSeen_ = true;
        return;
      }
      c_.Scan();
    }
  }
  TokenNode* start = first ? s.head->next : s.head;
  std::vector<TokenNode*> names;
  TokenNode* n = start;
  for (; n && !c_.NodeTokenIs(n, ":") && n != s.tail; n = n->next)
    if (n->kind == kIdent) names.push_back(n);
  if (!n || !c_.NodeTokenIs(n, ":") || names.empty()) {
    c_.errors.SyntaxError("Non-XVR VARIABLE DEF IN MPROC");
    return;
  }
  n = n->next;
  DimRecord* dims = nullptr;
  if (c_.NodeTokenIs(n, "ARRAY")) {
    // ARRAY [ lo .. hi ] OF
    TokenNode* lo = n->next ? n->next->next : nullptr;
    TokenNode* dd = lo ? lo->next : nullptr;
    TokenNode* hi = dd ? dd->next : nullptr;
    TokenNode* close = hi ? hi->next : nullptr;
    TokenNode* of = close ? close->next : nullptr;
    std::string l = lo ? c_.NodeTokenText(lo) : "", h = hi ? c_.NodeTokenText(hi) : "";
    if (!of || !c_.NodeTokenIs(n->next, "[") || !c_.NodeTokenIs(dd, "..") || !c_.NodeTokenIs(close, "]") ||
        !c_.NodeTokenIs(of, "OF") || !IsNumberText(l) || !IsNumberText(h) || l.size() > 5 || h.size() > 5 ||
        std::stoi(h) < std::stoi(l) || std::stoi(h) - std::stoi(l) + 1 > 32767) {
      c_.errors.SyntaxError("SYNTAX ERR");
      return;
    }
    dims = types_.NewDims(std::stoi(h) - std::stoi(l) + 1, StoreLiteralName(c_, l + ".." + h));
    n = of->next;
  }
  std::string typeName = n && n != s.tail ? c_.NodeTokenText(n) : "";
  TypeRecord* type = types_.FindXvrType(c_.text, typeName);
  if (type) {
    if (mproc_->instanceName.empty()) {
      c_.errors.SyntaxError("NEED MODID IN CURRENT MPROC");
      c_.errors.SyntaxError(kFatalSyntaxErr);
    }
    if (type->VarLength && mproc_->isSystem) {
      c_.errors.SyntaxError("VARIABLE LENGTH TYPE ILLEG IN MPROC SYSTEM");
      return;
    }
    for (TokenNode* name : names) {
      NameRef ref = StoreTokenName(c_, *name);
      RejectUnderscoreTokenName(c_, ref);
      (type->VarLength ? mproc_->internals : mproc_->locals).push_back({ref, type, dims, true});
    }
    return;
  }
  std::string upper = platform::UpperAscii(typeName);
  if (names.size() == 1 && c_.NodeTokenIs(names[0], "_J") && names[0] == start &&
      (upper == "INTEGER" || upper == "BYTE" || upper == "SMALLINT") && !dims) {
    if (first) {
      s.current = s.head;
      s.DeleteToken();  // the source's VAR goes; the declaration gets its own
    }
    s.current = nullptr;
    InsertTokenAtHead(c_.text, s, "\r\n", "VAR ");
    c_.out.EmitList(s);
    return;
  }
  c_.errors.SyntaxError("Non-XVR VARIABLE DEF IN MPROC");
}

bool SubprogramPass::ParseMfor(LoopRange& range) {
  TokenList& s = c_.stmt;
  std::vector<TokenNode*> t;
  for (TokenNode* n = s.head; n; n = n->next) t.push_back(n);
  auto is = [&](size_t i, std::string_view w) { return i < t.size() && c_.NodeTokenIs(t[i], w); };
  auto text = [&](size_t i) { return i < t.size() ? c_.NodeTokenText(t[i]) : std::string(); };
  if (!is(0, "MFOR") || !is(1, "_J") || !is(2, ":=") || !IsNumberText(text(3)) || !is(4, "TO"))
    return false;
  size_t i = 5;
  std::string end = text(i);
  if (IsNumberText(end)) {
    ++i;
  } else if (i < t.size() && t[i]->kind == kIdent && !is(i, "DO")) {
    ++i;
    if ((is(i, "+") || is(i, "-")) && IsNumberText(text(i + 1))) {
      end += text(i) + text(i + 1);
      i += 2;
    }
  } else {
    return false;
  }
  if (i + 1 != t.size() || !is(i, "DO")) return false;
  range = {text(3), end};
  s.current = s.head;
  ReplaceToken(c_.text, s, "FOR");
  return true;
}

void SubprogramPass::TranslateMprocBody() {
  int depth = 0;
  int loopDepth = -1;  // the compound statement an MFOR covers
  std::optional<LoopRange> loop;
  bool loopForNext = false;
  for (;;) {
    ScanUntilWords({")", "END", "DO", "BEGIN"});
    if (keywordSeen_) {
      c_.errors.SyntaxError("EXPECT ;");
      EmitAllButCurrent();
      return;
    }
    TokenNode* term = c_.stmt.tail;
    if (c_.NodeTokenIs(term, "BEGIN")) {
      c_.out.EmitList(c_.stmt);
      ++depth;
      if (loopForNext) {
        loopDepth = depth;
        loopForNext = false;
      }
      continue;
    }
    if (c_.NodeTokenIs(term, "DO")) {
      LoopRange range;
      if (!ParseMfor(range)) c_.errors.SyntaxError(kMforErr);
      loop = range;
      loopForNext = true;
      c_.out.EmitList(c_.stmt);
      continue;
    }
    bool isEnd = c_.NodeTokenIs(term, "END");
    if (!isEnd) {
      ProcessCall(loop);
      if (loopForNext) {
        loop.reset();
        loopForNext = false;
      }
      c_.Scan();
      isEnd = c_.CurrentTokenIs("END");
      if (!isEnd && !c_.CurrentTokenIs(";")) {
        c_.errors.SyntaxError("EXPECT ;");
        EmitAllButCurrent();
        return;
      }
      if (!isEnd) {
        c_.out.EmitList(c_.stmt);
        continue;
      }
      // The call and the END that follows it go out together.
    } else if (c_.stmt.head != term) {
      c_.errors.SyntaxError("EXPECT )");
    }
    // An END: of a compound statement, or of the body.
    for (;;) {
      if (depth == 0) {
        c_.Scan();
        if (!c_.CurrentTokenIs(";")) c_.errors.SyntaxError("EXPECT ;");
        if (IsSubprogramKeyword(c_.stmt.current)) {
          EmitAllButCurrent();
        } else {
          c_.out.EmitList(c_.stmt);
          c_.stmt.Clear();
        }
        if (!mproc_->isSystem) c_.out.EmitToken([&] {
          TokenNode n;
          SetGeneratedText(c_.text, n, "\r\n", "END;");
          return n;
        }());
        CloseMproc();
        return;
      }
      if (loopDepth == depth) {
        loop.reset();
        loopDepth = -1;
      }
      --depth;
      c_.Scan();
      if (c_.CurrentTokenIs(";")) break;
      if (!c_.CurrentTokenIs("END")) {
        c_.errors.SyntaxError("EXPECT ;");
        EmitAllButCurrent();
        return;
      }
    }
    c_.out.EmitList(c_.stmt);
  }
}

void SubprogramPass::ProcessCall(const std::optional<LoopRange>& loop) {
  TokenNode* head = c_.stmt.head;
  std::string name = c_.NodeTokenText(head);
  if (!c_.NodeTokenIs(head->next, "(")) {
    c_.errors.SyntaxError("EXPECT (");
    c_.out.EmitList(c_.stmt);
    return;
  }
  for (XprocRecord* p = procs_.XprocHead(); p; p = p->next)
    if (platform::EqualsCaseBlind(c_.text.View(p->name), name)) {
      ProcessXprocCall(p, loop);
      return;
    }
  for (MprocRecord* q = mprocs_.Head(); q; q = q->next)
    if (q != mproc_ && platform::EqualsCaseBlind(c_.text.View(q->name), name)) {
      ProcessMprocCall(q, loop);
      return;
    }
  c_.errors.SyntaxError("UNDEFINED PROCEDURE");
  c_.Log().LogLine(name);
  c_.out.EmitList(c_.stmt);
}

bool SubprogramPass::ResolveArgument(std::vector<TokenNode*>& arg, ProcParam* formal, ArgPath& path) {
  TokenNode* root = arg[0];
  std::string rootName = c_.NodeTokenText(root);
  TypeRecord* type = nullptr;
  DimRecord* dims = nullptr;
  for (ProcParam* p = mproc_->params; p && !type; p = p->next)
    if (p->mode == kXvrParam && platform::EqualsCaseBlind(c_.text.View(p->name), rootName)) {
      type = p->type;
      path.root = ArgPath::kParam;
    }
  for (auto* list : {&mproc_->locals, &mproc_->internals}) {
    if (type) break;
    for (const LocalVar& l : *list)
      if (platform::EqualsCaseBlind(c_.text.View(l.name), rootName)) {
        type = l.type;
        dims = l.Dims;
        bool internal = list == &mproc_->internals;
        path.root = internal ? ArgPath::kInternal : ArgPath::kLocal;
        RetextToken(c_.text, *root, mproc_->instanceName + (internal ? "_" : ".") + rootName);
        break;
      }
  }
  if (!type || root->kind != kIdent) {
    c_.errors.SyntaxError("UNDEFINED IDENTIFIER " + rootName);
    return false;
  }
  path.text = rootName;
  bool open = false;
  for (size_t i = 1; i < arg.size(); ++i) {
    TokenNode* t = arg[i];
    std::string tt = c_.NodeTokenText(t);
    if (open) {
      path.text += tt;
      open = !c_.NodeTokenIs(t, "]");
      continue;
    }
    if (c_.NodeTokenIs(t, "[")) {
      if (!dims) {
        c_.errors.SyntaxError("NOT AN ARRAY");
        return false;
      }
      dims = nullptr;
      open = true;
      path.text += tt;
    } else if (t->separator == '.' && t->kind == kIdent) {
      FieldRecord* f = type->fields;
      while (f && !platform::EqualsCaseBlind(c_.text.View(f->name), tt)) f = f->next;
      if (!f) {
        c_.errors.SyntaxError("UNDEFINED IDENTIFIER " + tt);
        return false;
      }
      type = f->fieldType;
      dims = f->Dims;
      path.text += "." + tt;
    } else {
      c_.errors.SyntaxError("SYNTAX ERR");
      return false;
    }
  }
  path.type = type;
  if (formal->type && !formal->type->VarLength && type != formal->type) {
    c_.errors.SyntaxError("PARAM TYPE MISMATCH " + c_.TokenText(type->name));
    return false;
  }
  // A variable-length type outside any group has no other member to stand
  // for it.
  if (formal->type && formal->type->VarLength && type != formal->type &&
      (!formal->type->GroupVarMember || type->GroupVarMember != formal->type->GroupVarMember)) {
    c_.errors.SyntaxError("PARAM TYPE NOT IN GROUP " + c_.TokenText(type->name));
    return false;
  }
  return true;
}

void SubprogramPass::ProcessXprocCall(XprocRecord* p, const std::optional<LoopRange>& loop) {
  CallRecord call;
  call.xproc = p;
  call.loop = loop;
  call.line = c_.errors.LineNumber();
  auto args = SplitArguments(c_.stmt);
  ProcParam* formal = p->params;
  bool ok = true;
  std::vector<std::pair<TypeRecord*, TypeRecord*>> bound;  // formal type, actual type
  for (auto& arg : args) {
    if (!formal) break;
    if (formal->mode == kXvrParam) {
      ArgPath path;
      if (!ResolveArgument(arg, formal, path)) {
        ok = false;
      } else {
        if (formal->type && formal->type->VarLength) Bind(bound, formal->type, path.type);
        bool isInput = false;
        for (XvrParam* x = p->inputs; x; x = x->next) isInput = isInput || x == formal->xvr;
        if (!formal->xvr) c_.errors.SyntaxError(" MTX Subst ERR");
        (isInput ? call.inputs : call.outputs).push_back(path);
      }
    }
    formal = formal->next;
  }
  if (ok && (formal || args.size() != size_t([&] {
                int n = 0;
                for (ProcParam* q = p->params; q; q = q->next) ++n;
                return n;
              }())))
    c_.errors.SyntaxError("NUMBER-OF-PARAMETERS MISMATCH");
  AppendSizeArguments(p->varLengthUses, bound);
  if (platform::EqualsCaseBlind(c_.text.View(p->name), "QTLFIX")) {
    // A fixing pair is data for the sequencer only: the call becomes a comment.
    RetextToken(c_.text, *c_.stmt.head, "{" + c_.NodeTokenText(c_.stmt.head));
    RetextToken(c_.text, *c_.stmt.tail, ")}");
  }
  mproc_->xcalls.push_back(std::move(call));
  c_.stmt.current = c_.stmt.tail;
}

// One size argument per distinct VARRAY owner of the callee's
// variable-length uses: the element count of the fixed member bound to it.
void SubprogramPass::AppendSizeArguments(
    VarLengthUse* uses, const std::vector<std::pair<TypeRecord*, TypeRecord*>>& bound) {
  std::vector<TypeRecord*> owners;
  for (VarLengthUse* u = uses; u; u = u->next) {
    VarrayOwner v = FindVarray(u->type);
    bool seen = false;
    for (TypeRecord* o : owners) seen = seen || o == v.owner;
    if (seen) continue;
    owners.push_back(v.owner);
    TypeRecord* actual = nullptr;
    for (const auto& b : bound)
      if (b.first == u->type) {
        actual = b.second;
        break;
      }
    if (!actual || !v.owner) {
      c_.errors.SyntaxError("NUMBER-OF-PARAMETERS MISMATCH");
      continue;
    }
    std::string count;
    if (actual->VarLength) {
      count = c_.TokenText(v.Dims->boundsText);
    } else {
      FieldRecord* varray = v.owner->LastField();
      int e = varray && varray->fieldType && varray->fieldType->dimension > 0 ? varray->fieldType->dimension : 1;
      long n = VarrayCount(u->type, actual);
      count = platform::IntToString(n >= 0 ? n : actual->dimension / e);
    }
    c_.stmt.current = c_.stmt.tail->prev;
    InsertTokenAfter(c_.text, c_.stmt, "", "," + count);
  }
}

// Whether one of the callee's calls passes an argument rooted at the name.
bool SubprogramPass::UsesName(const MprocRecord& q, ArgPath::Root root, NameRef name) const {
  for (const auto* calls : {&q.xcalls, &q.instances})
    for (const CallRecord& c : *calls)
      for (const auto* paths : {&c.inputs, &c.outputs, &c.args})
        for (const ArgPath& a : *paths)
          if (a.root == root &&
              platform::EqualsCaseBlind(std::string_view(a.text).substr(0, a.text.find_first_of(".[")),
                                        c_.text.View(name)))
            return true;
  return false;
}

// A formal XVR parameter that the callee passes to none of its calls.
void SubprogramPass::WarnUnusedFormals(const MprocRecord& q, int line) {
  for (const ProcParam* p = q.params; p; p = p->next)
    if (p->mode == kXvrParam && !UsesName(q, ArgPath::kParam, p->name))
      c_.Log().LogLine("Warning, unused variable within MPROC called at line " + platform::IntToString(line));
}

// A declared local of the callee that none of its calls uses has no place
// to go in the call's state: the call is refused. Mode 2 is the local case;
// an unused formal (1) only warns and internals (3) are not checked here.
void SubprogramPass::RejectUnusedLocals(const MprocRecord& q, const CallRecord& call) {
  for (const LocalVar& l : q.locals) {
    if (!l.declared || UsesName(q, ArgPath::kLocal, l.name)) continue;
    c_.Log().LogLine(call.moduleId + " " + c_.TokenText(q.name));
    c_.errors.SyntaxError("--Prob with this call--check MPROC definition, mode 2");
  }
}

// Binds a variable-length formal type to the member an argument passes; a
// second, different member of the same group is refused.
void SubprogramPass::Bind(std::vector<std::pair<TypeRecord*, TypeRecord*>>& bound, TypeRecord* formal,
                          TypeRecord* actual) {
  for (const auto& b : bound)
    if (b.first == formal) {
      if (b.second != actual)
        c_.errors.SyntaxError("MORE THAN 1 MEMBER OF SAME GROUP PRESENT " + c_.TokenText(b.second->name));
      return;
    }
  bound.push_back({formal, actual});
}

// The array over an MFOR range with constant bounds; none otherwise.
DimRecord* SubprogramPass::LoopDims(const LoopRange& loop) {
  if (!IsNumberText(loop.start) || !IsNumberText(loop.end) || loop.start.size() > 5 || loop.end.size() > 5)
    return nullptr;
  int lo = std::stoi(loop.start), hi = std::stoi(loop.end);
  if (hi < lo) return nullptr;
  return types_.NewDims(hi - lo + 1, StoreLiteralName(c_, loop.start + ".." + loop.end));
}

void SubprogramPass::ProcessMprocCall(MprocRecord* q, const std::optional<LoopRange>& loop) {
  CallRecord call;
  call.mproc = q;
  call.loop = loop;
  call.line = c_.errors.LineNumber();
  auto args = SplitArguments(c_.stmt);
  ProcParam* formal = q->params;
  size_t a = 0;
  if (formal && formal->mode == kModIdParam) {
    if (mproc_->instanceName.empty()) {
      c_.errors.SyntaxError("NEED MODID IN CURRENT MPROC");
      c_.errors.SyntaxError(kFatalSyntaxErr);
    }
    std::string lit = a < args.size() && args[a].size() == 1 ? c_.NodeTokenText(args[a][0]) : "";
    if (lit.size() < 2 || lit.front() != '\'' || lit.back() != '\'') {
      c_.errors.SyntaxError("MODID IS NOT STRING");
    } else {
      call.moduleId = lit.substr(1, lit.size() - 2);
      RejectUnderscoreName(c_, call.moduleId);
      if (loop) {
        c_.stmt.current = args[a][0];
        InsertTokenAfter(c_.text, c_.stmt, "", "{+_NS(_J)}");
      }
    }
    ++a;
    formal = formal->next;
  }
  bool ok = true;
  for (; a < args.size() && formal; ++a, formal = formal->next) {
    if (formal->mode != kXvrParam) continue;
    ArgPath path;
    if (ResolveArgument(args[a], formal, path)) {
      call.args.push_back(path);
      if (formal->type && formal->type->VarLength) Bind(call.bound, formal->type, path.type);
    } else {
      ok = false;
    }
  }
  if (ok && (formal || a != args.size())) c_.errors.SyntaxError("NUMBER-OF-PARAMETERS MISMATCH");
  AppendSizeArguments(q->varLengthUses, call.bound);
  WarnUnusedFormals(*q, call.line);
  RejectUnusedLocals(*q, call);
  if (q->localsType && !call.moduleId.empty()) {
    // The callee's state is the caller's field named by the module id.
    c_.stmt.current = c_.stmt.tail->prev;
    InsertTokenAfter(c_.text, c_.stmt, "",
                     "," + mproc_->instanceName + "." + call.moduleId + (loop ? "[_J]" : ""));
    DimRecord* dims = loop ? LoopDims(*loop) : nullptr;
    if (loop && !dims) c_.errors.SyntaxError("NEED FIXED CONSTANTS FOR LOOP WITH MPROC CALL INSIDE");
    if (!loop || dims) mproc_->locals.push_back({StoreLiteralName(c_, call.moduleId), q->localsType, dims});
  }
  // Each internal of the callee becomes the caller's: a field of the fixed
  // member the call binds, or an internal of its own while still variable.
  for (const LocalVar& in : q->internals) {
    if (call.moduleId.empty()) break;
    TypeRecord* bound = nullptr;
    for (const auto& b : call.bound)
      if (b.first == in.type) bound = b.second;
    if (!bound) {
      c_.errors.SyntaxError("NUMBER-OF-PARAMETERS MISMATCH");
      continue;
    }
    std::string name = call.moduleId + "_" + c_.TokenText(in.name);
    bool fixed = !bound->VarLength;
    c_.stmt.current = c_.stmt.tail->prev;
    InsertTokenAfter(c_.text, c_.stmt, "",
                     "," + mproc_->instanceName + (fixed ? "." : "_") + name + (loop ? "[_J]" : ""));
    DimRecord* dims = loop ? LoopDims(*loop) : nullptr;
    if (loop && !dims) continue;  // reported with the locals above
    (fixed ? mproc_->locals : mproc_->internals).push_back({StoreLiteralName(c_, name), bound, dims});
  }
  mproc_->instances.push_back(std::move(call));
  c_.stmt.current = c_.stmt.tail;
}

void SubprogramPass::CloseMproc() {
  if (!mproc_->locals.empty()) {
    TypeRecord* t = types_.Append(StoreLiteralName(c_, mproc_->localsTypeName));
    FieldRecord** link = &t->fields;
    long long dim = 0;
    for (const LocalVar& l : mproc_->locals) {
      *link = types_.NewField(l.name, l.type, l.Dims);
      link = &(*link)->next;
      dim += (long long)(l.type->dimension) * (l.Dims ? l.Dims->count : 1);
    }
    if (dim > 32767) {
      c_.errors.SyntaxError("SYNTAX ERR IN XVTYPE PART");
      dim = 32767;
    }
    t->dimension = int(dim);
    mproc_->localsType = t;
  }
  LogFinished(mproc_->name);
}

}  // namespace krv::pp
