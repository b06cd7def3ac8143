// Pass 1, part A: parsing the XVTYPE part into the type chain.
#include "preprocessor/xvtype_part.h"

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/text.h"
#include "preprocessor/char_class.h"
#include "preprocessor/name_store.h"

namespace krv::pp {

namespace {

constexpr std::string_view kSyntaxErr = "SYNTAX ERR IN XVTYPE PART";
constexpr std::string_view kUndefined = "UNDEFINED XVR TYPE";
constexpr std::string_view kMustBeGroupsec = "MUST BE GROUPSEC";
constexpr std::string_view kMoreThanOneVar = "MORE THAN 1 VARLENGTH REC IN GROUP";
constexpr int kMaxCount = 32767;

// Scalar counts are summed wide and checked, never wrapped.
struct Count {
  int64_t value = 0;
  void Add(int64_t v) { value += v; }
};

class XvtypeParser {
 public:
  XvtypeParser(PassContext& c, TypeChain& chain) : c_(c), chain_(chain) {}
  void Run();

 private:
  // The group a body belongs to, when it is a group body.
  struct Group {
    std::vector<TypeRecord*> members;
    bool sec = false;
    TypeRecord* varMember = nullptr;
  };

  TokenNode* Next();
  bool Is(const TokenNode* t, std::string_view w) const { return c_.NodeTokenIs(t, w); }
  bool IsAt(size_t i, std::string_view w) const { return i < body_.size() && Is(body_[i], w); }
  std::string Upper(const TokenNode* t) const { return c_.NodeTokenUpper(t); }
  void SkipToSemicolon(TokenNode* t);
  void CollectBody(bool section);
  // "= record-word" gives false, "= section-word" true; anything else is
  // reported and the declaration skipped to its ';'.
  std::optional<bool> ReadDeclarationKind(std::string_view record, std::string_view section);
  void ParseSingleType();
  void ParseGroup();
  // Parses the collected body into `type`; returns the scalar count of the
  // plain declarations.
  int64_t ParseFields(TypeRecord* type, bool section, Group* group);
  bool ParseArrayBounds(DimRecord*& dims);
  bool ParseMemberList(const std::vector<NameRef>& names, TypeRecord* first,
                       int64_t sharedCount, Group& group);
  bool ParseMemberSpec(TypeRecord* member, FieldRecord* field, TypeRecord* elem,
                       int64_t sharedCount, Group& group);
  void SetVarMember(TypeRecord* member, Group& group);
  void SkipDeclaration();
  int CheckedDimension(int64_t v);
  // A type declared before the declaration being parsed; its own name (or
  // a later one) is undefined there.
  TypeRecord* FindDeclared(std::string_view name) const;
  std::optional<long long> BoundValue(size_t k) const;

  PassContext& c_;
  TypeChain& chain_;
  std::vector<TokenNode*> body_;
  size_t i_ = 0;
  TypeRecord* declaring_ = nullptr;  // first type of the current declaration
};

TypeRecord* XvtypeParser::FindDeclared(std::string_view name) const {
  TypeRecord* found = chain_.FindXvrType(c_.text, name);
  for (const TypeRecord* t = declaring_; t && found; t = t->next)
    if (t == found) return nullptr;
  return found;
}

// A token scanned inside a declaration; end of file there stops the run.
TokenNode* XvtypeParser::Next() {
  c_.Scan();
  if (c_.scanner.EndOfFile()) c_.errors.SyntaxError(kFatalSyntaxErr);
  return c_.stmt.current;
}

void XvtypeParser::SkipToSemicolon(TokenNode* t) {
  while (!Is(t, ";")) t = Next();
}

int XvtypeParser::CheckedDimension(int64_t v) {
  if (v > kMaxCount) {
    c_.errors.SyntaxError(kSyntaxErr);
    return kMaxCount;
  }
  return int(v);
}

void XvtypeParser::Run() {
  CopyUntilXvtypeOrXproc(c_);
  chain_.Reset();
  TypeRecord* xvr = chain_.Append(StoreLiteralName(c_, "XVR"));
  xvr->dimension = 1;
  xvr->section = true;
  bool typePart = c_.CurrentTokenIs("XVTYPE");
  if (typePart) NewStatement(c_);
  static constexpr std::string_view kStops[] = {"VAR",       "TYPE",     "XPROC",
                                                "XDXPROC",   "MPROC",    "PROCEDURE",
                                                "FUNCTION",  "LABEL",    "CONST"};
  for (;;) {
    std::string first = c_.CurrentTokenUpper();
    bool stop = false;
    for (auto w : kStops) stop = stop || first == w;
    if (stop) return;
    if (c_.scanner.EndOfFile()) {
      // A type part must be followed by the procedures; without one the
      // source simply ends here.
      if (typePart) c_.errors.SyntaxError(kFatalSyntaxErr);
      return;
    }
    const TokenNode* t = c_.stmt.current;
    if (Is(t, "("))
      ParseGroup();
    else if (t->kind == kIdent)
      ParseSingleType();
    NewStatement(c_);
  }
}

void XvtypeParser::CollectBody(bool section) {
  body_.clear();
  i_ = 0;
  bool closed = section;
  for (;;) {
    TokenNode* t = Next();
    body_.push_back(t);
    if (!closed) {
      closed = Is(t, "END") || Is(t, ")");
      continue;
    }
    if (Is(t, ";")) return;
  }
}

std::optional<bool> XvtypeParser::ReadDeclarationKind(std::string_view record,
                                                      std::string_view section) {
  TokenNode* t = Next();
  if (Is(t, "=")) {
    t = Next();
    if (Is(t, record)) return false;
    if (Is(t, section)) return true;
  }
  c_.errors.SyntaxError(kSyntaxErr);
  SkipToSemicolon(t);
  return std::nullopt;
}

void XvtypeParser::ParseSingleType() {
  TokenNode* nameTok = c_.stmt.current;
  std::string name = c_.NodeTokenText(nameTok);
  if (chain_.FindXvrType(c_.text, name)) c_.errors.SyntaxError("DUPLICATE TYPE IN XVTYPE PART");
  TypeRecord* type = chain_.Append(StoreTokenName(c_, *nameTok));
  auto kind = ReadDeclarationKind("RECORD", "SECTION");
  if (!kind) return;
  bool section = *kind;
  CollectBody(section);
  declaring_ = type;
  type->dimension = CheckedDimension(ParseFields(type, section, nullptr));
  declaring_ = nullptr;
  type->GroupVarMember = nullptr;
  type->section = section;
}

void XvtypeParser::ParseGroup() {
  Group group;
  bool bad = false;
  for (TokenNode* t = Next(); !Is(t, ")"); t = Next()) {
    if (t->kind == kIdent)
      group.members.push_back(chain_.Append(StoreTokenName(c_, *t)));
    else
      bad = true;
  }
  if (bad) c_.errors.SyntaxError(kSyntaxErr);
  auto kind = ReadDeclarationKind("GROUPREC", "GROUPSEC");
  if (!kind) return;
  group.sec = *kind;
  CollectBody(group.sec);
  declaring_ = group.members.empty() ? nullptr : group.members[0];
  if (!group.members.empty()) ParseFields(group.members[0], group.sec, &group);
  declaring_ = nullptr;
  if (group.members.size() < 2) c_.errors.SyntaxError("SHOULD BE MORE THAN 1 RECORD IN GROUP");
  for (TypeRecord* m : group.members) m->GroupVarMember = group.varMember;
}

// Moves past the rest of a broken declaration: to its ';' or END.
void XvtypeParser::SkipDeclaration() {
  while (i_ < body_.size() && !IsAt(i_, ";") && !IsAt(i_, "END")) ++i_;
  if (IsAt(i_, ";")) ++i_;
}

// A bound is a decimal whole number; its size is not limited, only the
// count. Hexadecimal bounds stay refused: the map and the index evaluation
// read bounds as decimal.
std::optional<long long> XvtypeParser::BoundValue(size_t k) const {
  if (k >= body_.size() || body_[k]->kind != kLiteral) return std::nullopt;
  std::string s = c_.NodeTokenText(body_[k]);
  if (s.empty() || !IsDigit(s[0])) return std::nullopt;
  return platform::ParseInt(s);
}

bool XvtypeParser::ParseArrayBounds(DimRecord*& dims) {
  // ARRAY has been read: [ lo .. hi ] OF
  auto number = [&](size_t k) { return BoundValue(k); };
  if (!IsAt(i_, "[")) return false;
  auto lo = number(i_ + 1);
  if (!lo || !IsAt(i_ + 2, "..")) return false;
  auto hi = number(i_ + 3);
  if (!hi || !IsAt(i_ + 4, "]") || !IsAt(i_ + 5, "OF")) return false;
  long long count = *hi - *lo + 1;
  if (count <= 0 || count > kMaxCount) return false;
  std::string bounds = c_.NodeTokenText(body_[i_ + 1]) + ".." +
                       c_.NodeTokenText(body_[i_ + 3]);
  dims = chain_.NewDims(int(count), StoreLiteralName(c_, bounds));
  i_ += 6;
  return true;
}

int64_t XvtypeParser::ParseFields(TypeRecord* type, bool section, Group* group) {
  Count total;
  FieldRecord** link = &type->fields;
  while (*link) link = &(*link)->next;
  while (i_ < body_.size()) {
    if (IsAt(i_, "END")) {
      // An END closes the body: only its ';' may follow.
      ++i_;
      if (IsAt(i_, ";")) ++i_;
      if (i_ < body_.size()) c_.errors.SyntaxError(kSyntaxErr);
      break;
    }
    // Field names up to ':'.
    std::vector<NameRef> names;
    bool badName = false;
    while (i_ < body_.size() && !IsAt(i_, ":")) {
      const TokenNode* t = body_[i_++];
      if (t->kind != kIdent) {
        badName = true;
        continue;
      }
      names.push_back(StoreTokenName(c_, *t));
      RejectUnderscoreTokenName(c_, names.back());
    }
    if (i_ >= body_.size()) c_.errors.SyntaxError(kFatalSyntaxErr);
    if (badName || (names.empty() && !IsAt(i_ + 1, "("))) c_.errors.SyntaxError(kSyntaxErr);
    ++i_;  // ':'
    if (IsAt(i_, "(")) {
      if (!group || names.empty()) {
        c_.errors.SyntaxError(kSyntaxErr);
        SkipDeclaration();
        continue;
      }
      ParseMemberList(names, type, total.value, *group);
      return total.value;
    }
    DimRecord* dims = nullptr;
    if (IsAt(i_, "ARRAY")) {
      ++i_;
      if (!ParseArrayBounds(dims)) {
        c_.errors.SyntaxError(kSyntaxErr);
        SkipDeclaration();
        continue;
      }
    }
    if (i_ >= body_.size() || body_[i_]->kind != kIdent) {
      c_.errors.SyntaxError(kSyntaxErr);
      SkipDeclaration();
      continue;
    }
    TypeRecord* fieldType = FindDeclared(c_.NodeTokenText(body_[i_]));
    ++i_;
    if (!fieldType) {
      c_.errors.SyntaxError(kUndefined);
    } else {
      for (const NameRef& n : names) {
        *link = chain_.NewField(n, fieldType, dims);
        link = &(*link)->next;
      }
      total.Add(int64_t(dims ? dims->count : 1) * int64_t(names.size()) * fieldType->dimension);
      if (fieldType->VarLength) type->VarLength = true;
    }
    // The declaration ends with ';', END, or ';' END.
    if (IsAt(i_, ";")) {
      ++i_;
    } else if (!IsAt(i_, "END")) {
      c_.errors.SyntaxError(kSyntaxErr);
      // A section holds exactly one declaration.
      if (section) c_.errors.SyntaxError("ONLY ONE SECTION ALLOWED IN \"SECTION\" TYPE");
      SkipDeclaration();
    }
  }
  if (group) c_.errors.SyntaxError(kSyntaxErr);  // no member-field list
  return total.value;
}

void XvtypeParser::SetVarMember(TypeRecord* member, Group& group) {
  member->VarLength = true;
  if (group.varMember && group.varMember != member)
    c_.errors.SyntaxError(kMoreThanOneVar);
  else
    group.varMember = member;
}

bool XvtypeParser::ParseMemberList(const std::vector<NameRef>& names, TypeRecord* first,
                                   int64_t sharedCount, Group& group) {
  if (names.size() != 1) c_.errors.SyntaxError("ONLY ONE VARIABLE FIELD ALLOWED");
  TypeRecord* elem = nullptr;
  if (group.sec) {
    // The element type is the token just before the body's final ';'.
    if (body_.size() >= 2) elem = FindDeclared(c_.TokenText(body_[body_.size() - 2]->Token()));
    if (!elem) c_.errors.SyntaxError(kUndefined);
  }
  FieldRecord* last = chain_.NewField(names[0], chain_.Head(), nullptr);
  FieldRecord** link = &first->fields;
  while (*link) link = &(*link)->next;
  *link = last;
  // Every further member gets a copy of the shared list.
  std::vector<FieldRecord*> lastFields{last};
  for (size_t m = 1; m < group.members.size(); ++m) {
    FieldRecord** to = &group.members[m]->fields;
    for (FieldRecord* f = first->fields; f; f = f->next) {
      *to = chain_.NewField(f->name, f->fieldType, f->Dims);
      if (f->fieldType && f->fieldType->VarLength && f != last) group.members[m]->VarLength = true;
      if (f == last) lastFields.push_back(*to);
      to = &(*to)->next;
    }
  }
  ++i_;  // '('
  for (size_t m = 0; m < group.members.size(); ++m) {
    if (IsAt(i_, ")") || i_ >= body_.size() ||
        !ParseMemberSpec(group.members[m], lastFields[m], elem, sharedCount, group)) {
      c_.errors.SyntaxError(kSyntaxErr);
      return false;
    }
  }
  if (!IsAt(i_, ")")) {
    c_.errors.SyntaxError(kSyntaxErr);
    return false;
  }
  ++i_;
  // What follows ')' is the element type of a GROUPSEC and the final ';'.
  size_t rest = body_.size() - i_;
  if (rest != (group.sec ? 2u : 1u)) c_.errors.SyntaxError(kSyntaxErr);
  i_ = body_.size();
  return true;
}

bool XvtypeParser::ParseMemberSpec(TypeRecord* member, FieldRecord* field, TypeRecord* elem,
                                   int64_t sharedCount, Group& group) {
  Count count;
  const TokenNode* t = body_[i_];
  TypeRecord* elemType = elem ? elem : chain_.Head();
  if (Is(t, "VARRAY")) {
    ++i_;
    if (!group.sec) c_.errors.SyntaxError(kMustBeGroupsec);
    if (!IsAt(i_, "[") || i_ + 1 >= body_.size()) return false;
    const TokenNode* size = body_[i_ + 1];
    NameRef sizeName = StoreTokenName(c_, *size);
    if (size->kind != kIdent) c_.errors.SyntaxError("VARIABLE LENGTH ARRAY SIZE MUST BE AN ALPHA IDENT.");
    if (!IsAt(i_ + 2, "]") || !IsAt(i_ + 3, "OF")) return false;
    i_ += 4;
    field->fieldType = elemType;
    field->Dims = chain_.NewDims(0, sizeName);
    SetVarMember(member, group);
  } else if (Is(t, "ARRAY")) {
    ++i_;
    if (!group.sec) c_.errors.SyntaxError(kMustBeGroupsec);
    DimRecord* dims = nullptr;
    if (!ParseArrayBounds(dims)) return false;
    field->fieldType = elemType;
    field->Dims = dims;
    count.Add(int64_t(dims->count) * elemType->dimension);
  } else if (t->kind == kIdent) {
    ++i_;
    TypeRecord* named = FindDeclared(c_.NodeTokenText(t));
    if (!named) {
      c_.errors.SyntaxError(kUndefined);
    } else {
      if (!named->section || (group.sec && (!named->fields || named->fields->fieldType != elem)))
        c_.errors.SyntaxError("MULTIPLE-SEC RECTYPE IN VARLENG FLD");
      field->fieldType = named;
      field->Dims = nullptr;
      count.Add(named->dimension);
      if (named->VarLength) SetVarMember(member, group);
    }
  } else {
    return false;
  }
  member->dimension = CheckedDimension(sharedCount + count.value);
  member->section = group.sec;
  return true;
}

}  // namespace

void ParseXvtypePart(PassContext& c, TypeChain& chain) { XvtypeParser(c, chain).Run(); }

}  // namespace krv::pp
