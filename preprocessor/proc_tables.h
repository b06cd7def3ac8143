// The records of equation procedures: their parameters, VARIN and VAROT
// lists and variable-length uses, kept for the whole run.
#pragma once

#include <cstdint>
#include <deque>

#include "preprocessor/text_buffer.h"
#include "preprocessor/type_chain.h"

namespace krv::pp {

struct XvrParam {
  NameRef name;
  XvrParam* next = nullptr;
  bool used = false;
  TypeRecord* type = nullptr;
};

enum ParamMode : uint8_t {
  kXvrParam = 0,     // XVR-typed name under VARIN, VAROT or VAR
  kOtherVarParam = 1,  // name under VARIN, VAROT or VAR of a type not in the chain
  kValueParam = 2,   // plain value parameter (and MODID of an XPROC)
  kModIdParam = 3,   // MODID parameter of an MPROC
};

struct ProcParam {
  NameRef name;
  uint8_t mode = kValueParam;
  ProcParam* next = nullptr;
  TypeRecord* type = nullptr;   // none for types outside the chain
  XvrParam* xvr = nullptr;      // its VARIN or VAROT entry
};

struct VarLengthUse {
  VarLengthUse* next = nullptr;
  TypeRecord* type = nullptr;
};

enum XprocKind : uint8_t { kXproc = 1, kXdxproc = 2 };

struct XprocRecord {
  NameRef name;
  XprocRecord* next = nullptr;
  uint8_t kind = kXproc;
  XvrParam* inputs = nullptr;
  XvrParam* outputs = nullptr;
  VarLengthUse* varLengthUses = nullptr;
  ProcParam* params = nullptr;
};

// Owns every record; the XPROC list runs in definition order.
class ProcTables {
 public:
  void Reset();
  XprocRecord* XprocHead() const { return xprocHead_; }
  XprocRecord* AppendXproc(NameRef name, uint8_t kind);
  XvrParam* NewXvrParam(NameRef name, TypeRecord* type);
  ProcParam* NewProcParam(NameRef name, uint8_t mode, TypeRecord* type);
  VarLengthUse* NewVarLengthUse(TypeRecord* type);

 private:
  XprocRecord* xprocHead_ = nullptr;
  XprocRecord* xprocTail_ = nullptr;
  std::deque<XprocRecord> xprocs_;
  std::deque<XvrParam> xvrParams_;
  std::deque<ProcParam> procParams_;
  std::deque<VarLengthUse> uses_;
};

// Appends to a singly linked list kept by its tail pointer.
template <class T>
void AppendTo(T*& head, T* item) {
  T** link = &head;
  while (*link) link = &(*link)->next;
  *link = item;
}

}  // namespace krv::pp
