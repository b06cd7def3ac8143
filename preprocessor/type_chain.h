// The type chain of a model: XVR and the record, section and group types
// built from it, with their fields and array dimensions.
#pragma once

#include <deque>
#include <string_view>

#include "preprocessor/text_buffer.h"

namespace krv::pp {

struct TypeRecord;

struct DimRecord {
  int count = 0;        // hi - lo + 1; 0 for a VARRAY
  NameRef boundsText;   // "lo..hi" as written, or the VARRAY size name
  bool IsVarray() const { return count == 0; }
};

struct FieldRecord {
  FieldRecord* next = nullptr;
  TypeRecord* fieldType = nullptr;
  DimRecord* Dims = nullptr;  // none for a scalar field
  NameRef name;
};

struct TypeRecord {
  TypeRecord* next = nullptr;
  TypeRecord* GroupVarMember = nullptr;
  FieldRecord* fields = nullptr;
  NameRef name;
  int dimension = 0;  // XVR scalars in the fixed part
  bool VarLength = false;
  bool section = false;

  FieldRecord* LastField() const;
};

// Owns every record; records live until the chain is reset.
class TypeChain {
 public:
  void Reset();
  bool Empty() const { return head_ == nullptr; }
  TypeRecord* Head() const { return head_; }
  TypeRecord* Append(NameRef name);
  FieldRecord* NewField(NameRef name, TypeRecord* type, DimRecord* dims);
  DimRecord* NewDims(int count, NameRef bounds);

  // The first type whose name equals `name` ignoring case, or none.
  TypeRecord* FindXvrType(const TextBuffer& text, std::string_view name) const;

 private:
  TypeRecord* head_ = nullptr;
  TypeRecord* tail_ = nullptr;
  std::deque<TypeRecord> types_;
  std::deque<FieldRecord> fields_;
  std::deque<DimRecord> dims_;
};

// The type itself when it is a Section type, else its last field's type.
TypeRecord* LastSectionType(TypeRecord* type);

// The record that holds a variable-length type's VARRAY and its descriptor:
// follows the last field while its type belongs to a group with a
// variable-length member. Nothing when the walk meets a type without fields
// or the field found is not a VARRAY.
struct VarrayOwner {
  TypeRecord* owner = nullptr;
  DimRecord* Dims = nullptr;
};
VarrayOwner FindVarray(TypeRecord* type);

// The VARRAY elements that the fixed group member `fixed` holds for the
// variable-length type `formal`: the scalars of the field that stands where
// the VARRAY stands, divided by the element's, so shared plain fields of a
// GROUPREC member beside it are not counted. -1 when no VARRAY is found.
long VarrayCount(TypeRecord* formal, TypeRecord* fixed);

}  // namespace krv::pp
