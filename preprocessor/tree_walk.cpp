// The MPROC tree walk and the duplicate-output check.
#include "preprocessor/tree_walk.h"

#include <map>
#include <optional>
#include <unordered_map>
#include <string>

#include "platform/text.h"
#include "preprocessor/char_class.h"

namespace krv::pp {

namespace {

using platform::IntToString;

// A place in the model state: the type there and its first variable number.
struct Address {
  TypeRecord* type = nullptr;
  DimRecord* Dims = nullptr;  // an array not yet indexed
  long base = 0;
};

struct Frame {
  const MprocRecord* mproc = nullptr;
  std::vector<Address> params;  // per XVR heading parameter, in order
  long localsBase = 0;
  std::vector<Address> internals;  // per internal, in order
  // The fixed group member each variable-length type stands for here, and
  // the element counts its size identifiers take.
  std::map<const TypeRecord*, TypeRecord*> fixedTypes;
  std::map<std::string, long> sizes;
};

std::optional<long> ReadNumber(std::string_view s) {
  if (s.empty() || s.size() > 9) return std::nullopt;
  for (char ch : s)
    if (!IsDigit(ch)) return std::nullopt;
  return std::stol(std::string(s));
}

constexpr long kMaxSteps = 2000000;
constexpr size_t kMaxRecords = 2000000;

class Walker {
 public:
  Walker(ErrorReport& errors, const TextBuffer& text) : errors_(errors), text_(text) {}

  void WalkInstance(const Frame& frame, int level);
  bool Stopped() const { return stopped_; }
  WalkResult result;

 private:
  std::string Name(const NameRef& r) const { return std::string(text_.View(r)); }
  bool Range(const Frame& frame, const std::optional<LoopRange>& loop, long& start, long& end);
  std::optional<long> Bound(const Frame& frame, const std::string& text);
  TypeRecord* FixedTypeOf(const Frame& frame, TypeRecord* actual) const;
  void BindChild(const Frame& frame, const CallRecord& call, Frame& child);
  std::optional<Address> AddFieldOffset(const Address& at, std::string_view name);
  std::optional<Address> Eval(const Frame& frame, const ArgPath& path, long j);
  bool ReadPathSegment(const Frame& frame, const ArgPath& path, std::string_view seg, bool first, long j,
                       std::optional<Address>& at);
  void Leaves(const Address& a, std::vector<int32_t>& out);
  bool ArgumentNumbers(const Frame& frame, const std::vector<ArgPath>& paths, long j, std::vector<int32_t>& out);
  void RecordCallIncidences(const Frame& frame, const CallRecord& call);
  std::string InternalName(const CallRecord& call, const LocalVar& in) const;
  bool CallerInternal(const Frame& frame, const std::string& name) const;
  bool CheckLoopedInternals(const Frame& frame, const CallRecord& call);

  // Guards the expansion: a model is refused once it needs more loop
  // steps or records than any map could hold.
  bool Step();

  ErrorReport& errors_;
  const TextBuffer& text_;
  long steps_ = 0;
  bool stopped_ = false;
};

bool Walker::Step() {
  if (stopped_) return false;
  if (++steps_ <= kMaxSteps && result.incidences.size() <= kMaxRecords && result.outputs.size() <= kMaxRecords)
    return true;
  stopped_ = true;
  errors_.Pass2Error("MODEL TOO LARGE TO EXPAND");
  return false;
}

// A loop bound: a number, or a size identifier with an optional "+n"/"-n".
std::optional<long> Walker::Bound(const Frame& frame, const std::string& text) {
  if (auto n = ReadNumber(text)) return n;
  size_t op = text.find_first_of("+-");
  auto it = frame.sizes.find(platform::UpperAscii(text.substr(0, op)));
  if (it == frame.sizes.end()) return std::nullopt;
  if (op == std::string::npos) return it->second;
  auto k = ReadNumber(text.substr(op + 1));
  if (!k) return std::nullopt;
  return text[op] == '+' ? it->second + *k : it->second - *k;
}

bool Walker::Range(const Frame& frame, const std::optional<LoopRange>& loop, long& start, long& end) {
  start = end = 1;
  if (!loop) return true;
  auto s = Bound(frame, loop->start);
  auto e = Bound(frame, loop->end);
  if (!s) errors_.Pass2Error("_J1 ERR " + loop->start);
  if (!e) errors_.Pass2Error("_J2 ERR " + loop->end);
  if (!s || !e) return false;
  start = *s;
  end = *e;
  return true;
}

std::optional<Address> Walker::AddFieldOffset(const Address& at, std::string_view name) {
  long offset = at.base;
  for (FieldRecord* f = at.type ? at.type->fields : nullptr; f; f = f->next) {
    if (platform::EqualsCaseBlind(text_.View(f->name), name)) return Address{f->fieldType, f->Dims, offset};
    offset += long(f->fieldType->dimension) * (f->Dims ? f->Dims->count : 1);
  }
  errors_.Pass2Error("UNDEFINED IDENTIFIER=" + std::string(name) + " not in " +
                     (at.type ? Name(at.type->name) : std::string("?")));
  return std::nullopt;
}

// Evaluates "name[index].field..." with _J standing for `j`.
std::optional<Address> Walker::Eval(const Frame& frame, const ArgPath& path, long j) {
  std::string_view text = path.text;
  std::optional<Address> at;
  size_t pos = 0;
  bool first = true;
  while (pos <= text.size()) {
    size_t dot = text.find('.', pos);
    std::string_view seg = text.substr(pos, dot == std::string_view::npos ? std::string_view::npos : dot - pos);
    pos = dot == std::string_view::npos ? text.size() + 1 : dot + 1;
    if (!ReadPathSegment(frame, path, seg, first, j, at)) return std::nullopt;
    first = false;
  }
  return at;
}

// One segment of a path, a field name with an optional index: moves `at`
// to it (from the path's root when `first`). False after an error.
bool Walker::ReadPathSegment(const Frame& frame, const ArgPath& path, std::string_view seg, bool first,
                             long j, std::optional<Address>& at) {
  size_t br = seg.find('[');
  std::string_view name = seg.substr(0, br);
  if (first) {
    if (path.root == ArgPath::kInternal) {
      size_t k = 0;
      for (const LocalVar& l : frame.mproc->internals) {
        if (platform::EqualsCaseBlind(text_.View(l.name), name)) {
          if (k < frame.internals.size()) at = frame.internals[k];
          break;
        }
        ++k;
      }
      if (!at) {
        errors_.Pass2Error("GETFIXTY ERR");
        errors_.Log().LogLine(std::string(name));
        return false;
      }
    } else if (path.root == ArgPath::kParam) {
      size_t k = 0;
      for (const ProcParam* p = frame.mproc->params; p; p = p->next) {
        if (p->mode != kXvrParam) continue;
        if (platform::EqualsCaseBlind(text_.View(p->name), name)) {
          if (k < frame.params.size()) at = frame.params[k];
          break;
        }
        ++k;
      }
      if (!at) {
        errors_.Pass2Error("UNDEFINED IDENTIFIER=" + std::string(name));
        return false;
      }
    } else {
      at = AddFieldOffset({frame.mproc->localsType, nullptr, frame.localsBase}, name);
    }
  } else {
    at = AddFieldOffset(*at, name);
  }
  if (!at) return false;
  if (br == std::string_view::npos) return true;
  // The index: a number, _J, either with "+n" or "-n".
  std::string_view ix = seg.substr(br + 1);
  if (ix.empty() || ix.back() != ']') {
    errors_.Pass2Error("SYNTAX ERR " + std::string(seg));
    return false;
  }
  ix.remove_suffix(1);
  size_t op = ix.find_first_of("+-", 1);
  std::string_view lhs = ix.substr(0, op);
  std::optional<long> value = platform::EqualsCaseBlind(lhs, "_J") ? std::optional<long>(j) : ReadNumber(lhs);
  if (value && op != std::string_view::npos) {
    auto rhs = ReadNumber(ix.substr(op + 1));
    value = rhs ? std::optional<long>(ix[op] == '+' ? *value + *rhs : *value - *rhs) : std::nullopt;
  }
  if (!value) {
    errors_.Pass2Error("BAD INDEX, OR LOOP CONTAINING MPROC CANNOT HAVE VARIABLE RANGE");
    return false;
  }
  if (!at->Dims) {
    errors_.Pass2Error("NOT AN ARRAY");
    return false;
  }
  std::string bounds(text_.View(at->Dims->boundsText));
  size_t dd = bounds.find("..");
  auto lo = ReadNumber(bounds.substr(0, dd));
  auto hi = dd == std::string::npos ? std::nullopt : ReadNumber(bounds.substr(dd + 2));
  if (!lo || !hi || *value < *lo || *value > *hi) {
    errors_.Pass2Error("INDEX OUT OF RANGE in " + std::string(name) + " " + bounds +
                       " with IXVAL=" + IntToString(*value));
    return false;
  }
  at->base += (*value - *lo) * at->type->dimension;
  at->Dims = nullptr;
  return true;
}


void Walker::Leaves(const Address& a, std::vector<int32_t>& out) {
  long n = long(a.type ? a.type->dimension : 0) * (a.Dims ? a.Dims->count : 1);
  if (n > long(kMaxRecords)) {
    steps_ = kMaxSteps;  // refuses the expansion at the next step
    Step();
    return;
  }
  for (long k = 0; k < n; ++k) out.push_back(int32_t(a.base + k));
}

// The variable numbers of every path's leaves, in order; false when any
// path failed (the others are still evaluated and reported).
bool Walker::ArgumentNumbers(const Frame& frame, const std::vector<ArgPath>& paths, long j,
                             std::vector<int32_t>& out) {
  bool ok = true;
  for (const ArgPath& p : paths) {
    auto a = Eval(frame, p, j);
    if (a) Leaves(*a, out); else ok = false;
  }
  return ok;
}

void Walker::RecordCallIncidences(const Frame& frame, const CallRecord& call) {
  long start, end;
  if (!Range(frame, call.loop, start, end)) return;
  std::string callee = Name(call.xproc->name);
  uint8_t fix = callee == "QTLFIX" ? 1 : 0;
  uint8_t mode = callee == "QTLINTEG" ? 1 : callee == "QTLDERIV" ? 2 : 0;
  for (long v = start; v <= end && Step(); ++v) {
    std::vector<int32_t> in, out;
    bool inputsOk = ArgumentNumbers(frame, call.inputs, v, in);
    if (!ArgumentNumbers(frame, call.outputs, v, out) || !inputsOk) continue;
    if (call.xproc->kind == kXdxproc) {
      size_t pairs = std::min(in.size(), out.size());
      for (size_t k = 0; k < pairs; ++k) {
        result.outputs.push_back(out[k]);
        result.incidences.push_back({out[k], in[k], 0, 0});
      }
      if (in.size() != out.size()) {
        errors_.Pass2Error("NUMBER OF OUTPUTS<>NUMBER OF INPUTS IN XDXPROC");
        errors_.Log().LogLine(callee);
      }
      continue;
    }
    for (int32_t o : out) {
      result.outputs.push_back(o);
      for (int32_t i : in) result.incidences.push_back({o, i, fix, mode});
      if (result.incidences.size() > kMaxRecords && !Step()) return;
    }
  }
}

// The fixed group member a variable-length type stands for in `frame`; a
// fixed type stands for itself. None when the caller bound nothing to it.
TypeRecord* Walker::FixedTypeOf(const Frame& frame, TypeRecord* actual) const {
  if (!actual || !actual->VarLength) return actual;
  auto it = frame.fixedTypes.find(actual);
  return it == frame.fixedTypes.end() ? nullptr : it->second;
}

void Walker::BindChild(const Frame& frame, const CallRecord& call, Frame& child) {
  for (const auto& [formal, actual] : call.bound) {
    TypeRecord* fixed = FixedTypeOf(frame, actual);
    if (!fixed) {
      errors_.Pass2Error("GETFIXTY ERR");
      errors_.Log().LogLine(formal ? Name(formal->name) : std::string());
      continue;
    }
    child.fixedTypes[formal] = fixed;
    VarrayOwner v = FindVarray(formal);
    FieldRecord* varray = v.owner ? v.owner->LastField() : nullptr;
    if (!v.Dims || !varray || !varray->fieldType || varray->fieldType->dimension <= 0) {
      errors_.Pass2Error("ERR IN FINDING VARRAY IN TYPE CHAIN");
      errors_.Log().LogLine(Name(formal->name));
      continue;
    }
    long count = VarrayCount(formal, fixed);
    child.sizes[platform::UpperAscii(Name(v.Dims->boundsText))] =
        count >= 0 ? count : fixed->dimension / varray->fieldType->dimension;
  }
}

std::string Walker::InternalName(const CallRecord& call, const LocalVar& in) const {
  return call.moduleId + "_" + Name(in.name);
}

bool Walker::CallerInternal(const Frame& frame, const std::string& name) const {
  for (const LocalVar& c : frame.mproc->internals)
    if (platform::EqualsCaseBlind(text_.View(c.name), name)) return true;
  return false;
}

// An internal that stays variable-length in the caller would become an array
// of variable-length records over the loop, indexed again inside: refused.
bool Walker::CheckLoopedInternals(const Frame& frame, const CallRecord& call) {
  for (const LocalVar& in : call.mproc->internals) {
    std::string name = InternalName(call, in);
    if (!CallerInternal(frame, name)) continue;
    errors_.Pass2Error("MORE THAN ONE ARRAY DIMENSION IN A VARIABLE-LENGTH INTERNAL VARIABLE");
    errors_.Log().LogLine(frame.mproc->instanceName + "_" + name + "[_J]");
    return false;
  }
  return true;
}

void Walker::WalkInstance(const Frame& frame, int level) {
  for (const CallRecord& call : frame.mproc->xcalls) RecordCallIncidences(frame, call);
  if (frame.mproc->instances.empty()) return;
  if (level + 1 >= kMaxNesting) {
    errors_.Pass2Error("EXCEED 16 MPROC NESTING LMT");
    errors_.Log().LogLine(frame.mproc->instanceName);
    return;
  }
  for (const CallRecord& call : frame.mproc->instances) {
    if (call.loop && !CheckLoopedInternals(frame, call)) continue;
    long start, end;
    if (!Range(frame, call.loop, start, end)) continue;
    for (long v = start; v <= end && Step(); ++v) {
      Frame child;
      child.mproc = call.mproc;
      BindChild(frame, call, child);
      bool ok = true;
      for (const ArgPath& p : call.args) {
        auto a = Eval(frame, p, v);
        if (!a) ok = false;
        child.params.push_back(a ? *a : Address{});
      }
      if (call.mproc->localsType && !call.moduleId.empty()) {
        ArgPath own;
        own.text = call.moduleId + (call.loop ? "[_J]" : "");
        auto a = Eval(frame, own, v);
        if (a) child.localsBase = a->base; else ok = false;
      }
      for (const LocalVar& in : call.mproc->internals) {
        ArgPath own;
        std::string name = InternalName(call, in);
        own.text = name + (call.loop ? "[_J]" : "");
        // A field of the caller once bound to a fixed member, else the
        // caller's own internal of that name.
        own.root = CallerInternal(frame, name) ? ArgPath::kInternal : ArgPath::kLocal;
        auto a = Eval(frame, own, v);
        if (a) child.internals.push_back(*a); else ok = false;
      }
      if (ok) WalkInstance(child, level + 1);
    }
  }
}

}  // namespace

WalkResult WalkMprocTree(ErrorReport& errors, const TextBuffer& text, const MprocRecord& system) {
  Walker w(errors, text);
  Frame root;
  root.mproc = &system;
  w.WalkInstance(root, 0);
  // A refused expansion leaves no partial incidences for the map.
  if (w.Stopped()) w.result = WalkResult{};
  return std::move(w.result);
}

void CheckDuplicateOutputs(ErrorReport& errors, const std::vector<int32_t>& outputs) {
  if (outputs.size() > kDuplicateTable) {
    errors.Pass2Error("MORE THAN 11000 OUTPUTS: DUPLICATE CHECK NOT POSSIBLE");
    return;
  }
  // One line per pair i < j of equal numbers, in the order of i: as many as
  // the later occurrences of the number at i.
  std::unordered_map<int32_t, size_t> later;
  for (int32_t o : outputs) ++later[o];
  for (int32_t o : outputs) {
    for (size_t k = --later[o]; k > 0; --k) {
      errors.Log().LogLine("DUPLICATE OUTPUT ERROR at " + IntToString(o));
      errors.SetPass2Failed();
    }
  }
}

}  // namespace krv::pp
