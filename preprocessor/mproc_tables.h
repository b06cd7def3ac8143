// The records of model procedures: their locals, the equation-procedure
// calls and MPROC instances of their bodies, with the actual argument paths.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "preprocessor/proc_tables.h"
#include "preprocessor/type_chain.h"

namespace krv::pp {

// An MFOR range: start and end as written (numbers in this build).
struct LoopRange {
  std::string start, end;
};

// An actual argument as written in the calling MPROC, blanks dropped: its
// first name is a heading parameter or a local of the caller.
struct ArgPath {
  enum Root { kLocal, kParam, kInternal };
  std::string text;
  Root root = kLocal;
  TypeRecord* type = nullptr;
};

struct MprocRecord;

struct CallRecord {
  XprocRecord* xproc = nullptr;    // an equation-procedure call
  MprocRecord* mproc = nullptr;    // an MPROC instance
  std::optional<LoopRange> loop;   // the MFOR in force at the call
  std::vector<ArgPath> inputs, outputs;  // equation call: per VARIN / VAROT
  std::vector<ArgPath> args;       // MPROC call: per XVR heading parameter
  std::string moduleId;
  // Variable-length formal types of the callee and the actual types bound
  // to them by this call.
  std::vector<std::pair<TypeRecord*, TypeRecord*>> bound;
  int line = 0;
};

struct LocalVar {
  NameRef name;
  TypeRecord* type = nullptr;
  DimRecord* Dims = nullptr;
  bool declared = false;  // written in the MPROC's VAR part, not made by a call
};

struct MprocRecord {
  NameRef name;
  MprocRecord* next = nullptr;
  bool isSystem = false;
  std::string instanceName;        // "_" + MODID parameter, or the access prefix for SYSTEM
  TypeRecord* localsType = nullptr;  // "_" + name, in the chain once closed with locals
  std::string localsTypeName;
  ProcParam* params = nullptr;
  VarLengthUse* varLengthUses = nullptr;
  std::vector<LocalVar> locals;
  std::vector<LocalVar> internals;  // locals of variable-length types
  std::vector<CallRecord> xcalls;     // equation-procedure calls in body order
  std::vector<CallRecord> instances;  // MPROC calls in body order
  char storageLetter = '0';
};

class MprocTables {
 public:
  void Reset() {
    head_ = tail_ = nullptr;
    records_.clear();
  }
  MprocRecord* Head() const { return head_; }
  MprocRecord* Append(NameRef name) {
    MprocRecord& m = records_.emplace_back();
    m.name = name;
    if (tail_) tail_->next = &m; else head_ = &m;
    tail_ = &m;
    return &m;
  }
  MprocRecord* System() const {
    for (MprocRecord* m = head_; m; m = m->next)
      if (m->isSystem) return m;
    return nullptr;
  }

 private:
  MprocRecord* head_ = nullptr;
  MprocRecord* tail_ = nullptr;
  std::deque<MprocRecord> records_;
};

}  // namespace krv::pp
