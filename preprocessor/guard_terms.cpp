// The terms of a change guard.
#include "preprocessor/guard_terms.h"

#include "platform/text.h"

namespace krv::pp {

std::string GuardTerm(const TextBuffer& text, const TypeChain& types, const std::string& name,
                      TypeRecord* type) {
  if (!type || type == types.Head()) return name + ".D";
  std::string term = "QTLC(";
  if (type->VarLength) {
    // e*N scalars in the VARRAY, so a change in any element is seen.
    VarrayOwner v = FindVarray(type);
    FieldRecord* varray = v.owner ? v.owner->LastField() : nullptr;
    int e = varray && varray->fieldType ? varray->fieldType->dimension : 1;
    if (e > 1) term += platform::IntToString(e) + "*";
    if (v.Dims) term += std::string(text.View(v.Dims->boundsText));
    if (type->dimension != 0) term += "+";
  }
  if (type->dimension != 0) term += platform::IntToString(type->dimension);
  return term + ",@" + name + ")";
}

}  // namespace krv::pp
