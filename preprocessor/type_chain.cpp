// The type chain of a model.
#include "preprocessor/type_chain.h"

#include "platform/text.h"

namespace krv::pp {

FieldRecord* TypeRecord::LastField() const {
  FieldRecord* f = fields;
  while (f && f->next) f = f->next;
  return f;
}

void TypeChain::Reset() {
  head_ = tail_ = nullptr;
  types_.clear();
  fields_.clear();
  dims_.clear();
}

TypeRecord* TypeChain::Append(NameRef name) {
  TypeRecord& t = types_.emplace_back();
  t.name = name;
  if (tail_) tail_->next = &t; else head_ = &t;
  tail_ = &t;
  return &t;
}

FieldRecord* TypeChain::NewField(NameRef name, TypeRecord* type, DimRecord* dims) {
  FieldRecord& f = fields_.emplace_back();
  f.name = name;
  f.fieldType = type;
  f.Dims = dims;
  return &f;
}

DimRecord* TypeChain::NewDims(int count, NameRef bounds) {
  DimRecord& d = dims_.emplace_back();
  d.count = count;
  d.boundsText = bounds;
  return &d;
}

TypeRecord* TypeChain::FindXvrType(const TextBuffer& text, std::string_view name) const {
  for (TypeRecord* t = head_; t; t = t->next)
    if (platform::EqualsCaseBlind(text.View(t->name), name)) return t;
  return nullptr;
}

TypeRecord* LastSectionType(TypeRecord* type) {
  if (!type || type->section) return type;
  FieldRecord* last = type->LastField();
  return last ? last->fieldType : nullptr;
}

VarrayOwner FindVarray(TypeRecord* type) {
  // Each step moves to a type declared before; the bound guards a chain
  // that names itself.
  for (int guard = 0; type && guard < 100000; ++guard) {
    FieldRecord* last = type->LastField();
    if (!last) return {};
    if (!last->fieldType || !last->fieldType->GroupVarMember) {
      if (!last->Dims || !last->Dims->IsVarray()) return {};
      return {type, last->Dims};
    }
    type = last->fieldType;
  }
  return {};
}


long VarrayCount(TypeRecord* formal, TypeRecord* fixed) {
  // The two types descend along their last fields side by side, as
  // FindVarray does on the variable-length one.
  for (int guard = 0; formal && fixed && guard < 100000; ++guard) {
    FieldRecord* v = formal->LastField();
    FieldRecord* f = fixed->LastField();
    if (!v || !f || !v->fieldType || !f->fieldType) return -1;
    if (!v->fieldType->GroupVarMember) {
      if (!v->Dims || !v->Dims->IsVarray() || v->fieldType->dimension <= 0) return -1;
      long scalars = long(f->Dims ? f->Dims->count : 1) * f->fieldType->dimension;
      return scalars / v->fieldType->dimension;
    }
    formal = v->fieldType;
    fixed = f->fieldType;
  }
  return -1;
}

}  // namespace krv::pp
