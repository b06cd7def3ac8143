// XPROC and XDXPROC translation: heading with storage overlays and size
// parameters, the change guard, and the rewriting of state accesses.
#include <vector>

#include "platform/text.h"
#include "preprocessor/guard_terms.h"
#include "preprocessor/name_store.h"
#include "preprocessor/subprogram_pass.h"

namespace krv::pp {

namespace {

constexpr std::string_view kExpectColon = "EXPECT : IN XPROC OR MPROC HEADING";

XvrParam* FindParam(PassContext& c, XvrParam* list, const TokenNode& t) {
  std::string_view name = c.text.View(t.Token());
  for (XvrParam* p = list; p; p = p->next)
    if (platform::EqualsCaseBlind(c.text.View(p->name), name)) return p;
  return nullptr;
}

// The next storage letter: '0'..'9', then 'A'..'Z'; 0 past 'Z'.
char NextLetter(char letter) {
  if (letter == '9') return 'A';
  if (letter == 'Z' || letter == 0) return 0;
  return char(letter + 1);
}

}  // namespace

void SubprogramPass::AddGuardTerm(const std::string& name, TypeRecord* type) {
  guard_.current = guard_.tail;
  if (guard_.Empty()) InsertTokenAfter(c_.text, guard_, "\r\n", "IF _BS");
  InsertTokenAfter(c_.text, guard_, " ", "OR");
  InsertTokenAfter(c_.text, guard_, " ", GuardTerm(c_.text, types_, name, type));
}

void SubprogramPass::LogFinished(const NameRef& name) {
  c_.Log().LogLine("Finished " + c_.TokenText(name) + " " + " BUF=" +
                   platform::IntToString(long(kNameStoreEnd) - long(c_.text.NamePtr())));
}

bool SubprogramPass::StartSubprogram() {
  ReplaceToken(c_.text, c_.stmt, "PROCEDURE");
  c_.out.EmitList(c_.stmt);
  NewStatement(c_);
  if (!IsSubprogramKeyword(c_.stmt.current)) return true;
  c_.errors.SyntaxError("EXPECT (");
  return false;
}

void SubprogramPass::ProcessXproc(const std::string& keyword) {
  if (!StartSubprogram()) return;
  inMproc_ = false;
  xproc_ = procs_.AppendXproc(StoreTokenName(c_, *c_.stmt.current),
                              keyword == "XDXPROC" ? kXdxproc : kXproc);
  c_.Scan();
  if (!c_.CurrentTokenIs("(")) {
    // Without a parameter list the rest is copied as it stands.
    c_.errors.SyntaxError("EXPECT (");
    EmitAllButCurrent();
    LogFinished(xproc_->name);
    return;
  }
  c_.out.EmitList(c_.stmt);
  if (!ParseXprocHeading(xproc_->params, xproc_->varLengthUses)) {
    LogFinished(xproc_->name);
    return;
  }
  if (!storage_.Empty()) {
    InsertTokenAtHead(c_.text, storage_, "\r\n", "VAR");
    c_.out.EmitListNoCommas(storage_);
    storage_.Clear();
  }
  ScanUntilWords({"BEGIN"});
  if (keywordSeen_) {
    c_.errors.SyntaxError("LOCAL SUBPGM NOT ALLOWED");
    EmitAllButCurrent();
    LogFinished(xproc_->name);
    return;
  }
  c_.out.EmitList(c_.stmt);
  guard_.current = guard_.tail;
  if (guard_.Empty()) InsertTokenAfter(c_.text, guard_, "\r\n", "IF _BS");
  InsertTokenAfter(c_.text, guard_, " ", "THEN BEGIN");
  c_.out.EmitList(guard_);
  guard_.Clear();
  for (XvrParam* p = xproc_->inputs; p; p = p->next) p->used = false;
  for (XvrParam* p = xproc_->outputs; p; p = p->next) p->used = false;
  TranslateBody();
  LogFinished(xproc_->name);
}

void SubprogramPass::EmitAllButCurrent() {
  TokenNode* keep = c_.stmt.current;
  for (TokenNode* n = c_.stmt.head; n && n != keep; n = n->next) c_.out.EmitToken(*n);
  c_.stmt.current = c_.stmt.head;
  while (c_.stmt.head && c_.stmt.head != keep) c_.stmt.DeleteToken();
  c_.stmt.current = keep;
}

bool SubprogramPass::ParseXprocHeading(ProcParam*& params, VarLengthUse*& uses) {
  storageLetter_ = '0';
  storage_.Clear();
  guard_.Clear();
  bool last = false;
  while (!last)
    if (!ParseParamGroup(params, uses, last)) return false;
  NewStatement(c_);
  if (!c_.CurrentTokenIs(";")) c_.errors.SyntaxError("EXPECT ;");
  if (IsSubprogramKeyword(c_.stmt.current)) return false;
  c_.out.EmitList(c_.stmt);
  return true;
}

bool SubprogramPass::ParseParamGroup(ProcParam*& params, VarLengthUse*& uses, bool& last) {
  ScanUntilWords({";", ")"});
  if (keywordSeen_) {
    c_.errors.SyntaxError("EXPECT )");
    c_.errors.SyntaxError(kFatalSyntaxErr);
  }
  TokenList& s = c_.stmt;
  TokenNode* term = s.tail;
  last = c_.NodeTokenIs(term, ")");
  TokenNode* first = s.head;
  bool varin = c_.NodeTokenIs(first, "VARIN");
  bool varot = c_.NodeTokenIs(first, "VAROT");
  bool var = c_.NodeTokenIs(first, "VAR");
  bool keyword = varin || varot || var;
  TokenNode* typeTok = term->prev;
  TokenNode* colon = nullptr;
  for (TokenNode* n = keyword ? first->next : first; n && n != term; n = n->next)
    if (c_.NodeTokenIs(n, ":")) {
      colon = n;
      break;
    }
  if (first == term) {
    // An empty group: "()" or a stray ';'.
    c_.out.EmitList(s);
    return true;
  }
  std::string typeName = typeTok && typeTok != first ? c_.NodeTokenText(typeTok) : std::string();
  TypeRecord* type = colon && typeTok != colon ? types_.FindXvrType(c_.text, typeName) : nullptr;
  if (type && !keyword) c_.errors.SyntaxError("VAR MISSING FOR XVR VARIABLE");
  if ((varin || varot) && !type) {
    c_.errors.SyntaxError(kExpectColon);
    c_.errors.SyntaxError(kFatalSyntaxErr);
  }
  bool modid = platform::EqualsCaseBlind(typeName, "MODID");
  uint8_t mode = modid ? (inMproc_ ? kModIdParam : kValueParam)
                 : !keyword                                 ? kValueParam
                 : type                                     ? kXvrParam
                                                            : kOtherVarParam;
  std::vector<TokenNode*> names;
  for (TokenNode* n = keyword ? first->next : first; n && n != colon && n != term; n = n->next)
    if (n->kind == kIdent) names.push_back(n);
  for (TokenNode* n : names) {
    NameRef name = StoreTokenName(c_, *n);
    ProcParam* pp = procs_.NewProcParam(name, mode, type);
    AppendTo(params, pp);
    if (mode == kModIdParam) {
      mproc_->instanceName = "_" + c_.NodeTokenText(n);
    } else if (inMproc_) {
      // MPROC headings declare their state with VAR; no equation lists here.
    } else if (varin || varot) {
      XvrParam* x = procs_.NewXvrParam(name, type);
      pp->xvr = x;
      AppendTo(varin ? xproc_->inputs : xproc_->outputs, x);
      if (varin) AddGuardTerm(c_.NodeTokenText(n), type);
    } else if (var && type && !inMproc_) {
      c_.errors.SyntaxError("XVR TYPE VARIABLE USED AS A VAR PARAM IN XPROC HEADING");
    }
  }
  if (!colon) c_.errors.SyntaxError(kExpectColon);
  if (mode == kModIdParam && !names.empty()) {
    s.current = nullptr;
    InsertTokenAtHead(c_.text, s, "", "constref ");
  }
  if (varin || varot) {
    s.current = first;
    ReplaceToken(c_.text, s, "VAR");
  }
  if (type && type->VarLength) {
    bool listed = false;
    for (VarLengthUse* u = uses; u; u = u->next) listed = listed || u->type == type;
    if (!listed) AppendTo(uses, procs_.NewVarLengthUse(type));
    // Each name becomes an untyped QTLA overlay; the typed name is declared
    // ABSOLUTE over it after the heading.
    for (TokenNode* n : names) {
      if (storageLetter_ == 0) {
        c_.errors.SyntaxError("PP ERR ABSOVFL");
        break;
      }
      std::string letter(1, storageLetter_);
      storage_.current = storage_.tail;
      storage_.InsertTokenCopy(*n);
      InsertTokenAfter(c_.text, storage_, "", ":" + typeName + " ABSOLUTE QTLA" + letter + ";");
      s.current = n;
      InsertTokenAfter(c_.text, s, n->separator == ',' ? "," : " ", "QTLA" + letter);
      s.current = n;
      s.DeleteToken();
      storageLetter_ = NextLetter(storageLetter_);
    }
    if (colon) {
      s.current = colon;
      s.DeleteToken();  // ':'
      s.DeleteToken();  // the type name
    }
  }
  if (last && uses) {
    // One SMALLINT size parameter per distinct VARRAY owner, before ')'.
    std::vector<TypeRecord*> owners;
    std::vector<std::string> sizes;
    for (VarLengthUse* u = uses; u; u = u->next) {
      VarrayOwner v = FindVarray(u->type);
      if (!v.owner) {
        c_.errors.SyntaxError("ERR IN FINDING VARRAY IN TYPE CHAIN");
        c_.Log().LogLine(c_.TokenText(u->type->name));
        continue;
      }
      bool seen = false;
      for (TypeRecord* o : owners) seen = seen || o == v.owner;
      if (seen) continue;
      owners.push_back(v.owner);
      sizes.push_back(c_.TokenText(v.Dims->boundsText));
    }
    s.current = s.tail->prev;
    for (size_t i = 0; i < sizes.size(); ++i)
      InsertTokenAfter(c_.text, s, "", (i == 0 ? ";" : ",") + sizes[i]);
    if (!sizes.empty()) InsertTokenAfter(c_.text, s, "", ":SMALLINT");
  }
  if (last && inMproc_) {
    // Pass 2 adds the state parameters at this mark.
    s.current = s.tail->prev;
    InsertTokenAfter(c_.text, s, "", std::string(1, kSegmentMark));
  }
  c_.out.EmitList(s);
  return true;
}

bool SubprogramPass::RewriteStatement() {
  TokenList& s = c_.stmt;
  for (TokenNode* t = s.head; t;) {
    if (t->kind != kIdent || t->separator == '.') {
      t = t->next;
      continue;
    }
    XvrParam* in = FindParam(c_, xproc_->inputs, *t);
    XvrParam* out = in ? nullptr : FindParam(c_, xproc_->outputs, *t);
    if (!in && !out) {
      t = t->next;
      continue;
    }
    (in ? in : out)->used = true;
    // Pass the designator: field selections and index parts.
    TokenNode* last = t;
    bool open = false;
    for (TokenNode* n = t->next; n; n = n->next) {
      if (open) {
        last = n;
        open = !c_.NodeTokenIs(n, "]");
      } else if (n->separator == '.' && n->kind == kIdent) {
        last = n;
      } else if (c_.NodeTokenIs(n, "[")) {
        last = n;
        open = true;
      } else {
        break;
      }
    }
    TokenNode* next = last->next;
    if (!next || open) {
      c_.errors.SyntaxError("SYNTAX ERR");
      return false;
    }
    const char* field = nullptr;
    if (c_.NodeTokenIs(next, ":=")) {
      if (out)
        field = ".O";
      else
        c_.errors.SyntaxError("VARIN USED AS A VAROT");
    } else if (in || directives_.NSwitch()) {
      field = ".I";
    } else {
      c_.errors.SyntaxError("VAROT USED AS A VARIN");
    }
    if (field) {
      s.current = last;
      InsertTokenAfter(c_.text, s, "", field);
      s.current->separator = '.';
    }
    t = next;
  }
  return true;
}

void SubprogramPass::ReportUnused() {
  struct Check {
    XvrParam* list;
    const char* message;
  } checks[] = {{xproc_->inputs, "XVR DEF AS VARIN BUT IS NEVER REFERENCED"},
                {xproc_->outputs, "XVR DEF AS VAROT BUT IS NEVER ASSIGNED VALUE(S)"}};
  for (const Check& k : checks) {
    bool any = false;
    for (XvrParam* p = k.list; p; p = p->next) {
      if (p->used) continue;
      c_.Log().LogLine(c_.TokenText(p->name));
      any = true;
    }
    if (any) c_.errors.SyntaxError(k.message);
  }
}

void SubprogramPass::TranslateBody() {
  for (;;) {
    ScanUntilWords({";", "END"});
    if (keywordSeen_) break;
    bool ok = RewriteStatement();
    c_.out.EmitList(c_.stmt);
    if (!ok) {
      NewStatement(c_);
      return;
    }
  }
  // Closes the guard's BEGIN; the keyword stays current for the loop.
  TokenNode* keyword = c_.stmt.current;
  InsertTokenAtHead(c_.text, c_.stmt, "\r\n", "END;");
  c_.stmt.current = keyword;
  ReportUnused();
}

}  // namespace krv::pp
