// The records of equation procedures.
#include "preprocessor/proc_tables.h"

namespace krv::pp {

void ProcTables::Reset() {
  xprocHead_ = xprocTail_ = nullptr;
  xprocs_.clear();
  xvrParams_.clear();
  procParams_.clear();
  uses_.clear();
}

XprocRecord* ProcTables::AppendXproc(NameRef name, uint8_t kind) {
  XprocRecord& x = xprocs_.emplace_back();
  x.name = name;
  x.kind = kind;
  if (xprocTail_) xprocTail_->next = &x; else xprocHead_ = &x;
  xprocTail_ = &x;
  return &x;
}

XvrParam* ProcTables::NewXvrParam(NameRef name, TypeRecord* type) {
  XvrParam& p = xvrParams_.emplace_back();
  p.name = name;
  p.type = type;
  return &p;
}

ProcParam* ProcTables::NewProcParam(NameRef name, uint8_t mode, TypeRecord* type) {
  ProcParam& p = procParams_.emplace_back();
  p.name = name;
  p.mode = mode;
  p.type = type;
  return &p;
}

VarLengthUse* ProcTables::NewVarLengthUse(TypeRecord* type) {
  VarLengthUse& u = uses_.emplace_back();
  u.type = type;
  return &u;
}

}  // namespace krv::pp
