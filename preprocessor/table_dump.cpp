// The debug dump of the translator's tables.
#include "preprocessor/table_dump.h"

#include <cstdio>

#include "platform/byte_io.h"
#include "platform/file_resolver.h"
#include "platform/text.h"

namespace krv::pp {

namespace {

// Tables are read as they stand: every link may be missing after a stop.
class Dumper {
 public:
  explicit Dumper(const DumpSources& d) : d_(d) {}
  std::string out;

  void Types() {
    for (const TypeRecord* t = d_.types.Head(); t; t = t->next) {
      Line("");
      Line("XVTYPE=" + Name(t->name));
      Line(" DIMENS=" + In6(t->dimension));
      if (t->GroupVarMember) Line(" VARGROUP=" + Name(t->GroupVarMember->name));
      if (t->section) Line("  SECTN=TRUE");
      for (const FieldRecord* f = t->fields; f; f = f->next) {
        Line(Name(f->name) + ":" + TypeName(f->fieldType));
        if (f->Dims) Line("  array=" + Name(f->Dims->boundsText) + "  " + In6(f->Dims->count));
      }
    }
    Line("");
  }

  void Procedures() {
    for (const XprocRecord* x = d_.procs.XprocHead(); x; x = x->next) {
      Line("");
      Line("**XPROC " + Name(x->name));
      Uses(x->varLengthUses);
      Params(x->params);
      Line("  VARIN");
      for (const XvrParam* p = x->inputs; p; p = p->next) Line(Name(p->name) + ":" + TypeName(p->type));
      Line("  VAROT");
      for (const XvrParam* p = x->outputs; p; p = p->next) Line(Name(p->name) + ":" + TypeName(p->type));
    }
  }

  void Mprocs() {
    for (const MprocRecord* m = d_.mprocs.Head(); m; m = m->next) {
      Line("");
      Line("**MPROC " + Name(m->name));
      Uses(m->varLengthUses);
      Line("PARM1");
      Params(m->params);
      Line("INTFL1");
      for (const LocalVar& l : m->locals) Line(" PAR=" + Name(l.name) + ":" + TypeName(l.type));
      Line("INTVL1");
      Tree(*m, nullptr, 0);
    }
  }

 private:
  void Line(const std::string& s) {
    if (out.size() < kMaxDump) out += s + "\r\n";
  }
  std::string Name(const NameRef& r) const { return std::string(d_.text.View(r)); }
  std::string TypeName(const TypeRecord* t) const { return t ? Name(t->name) : std::string(); }
  static std::string In6(long long v) { return platform::PadLeft(platform::IntToString(v), 6); }

  void Uses(const VarLengthUse* u) {
    for (; u; u = u->next) {
      VarrayOwner v = FindVarray(u->type);
      Line(" VLTYP=" + TypeName(u->type) + " " + (v.Dims ? Name(v.Dims->boundsText) : std::string()));
    }
  }
  void Params(const ProcParam* p) {
    for (; p; p = p->next)
      Line(p->mode == kXvrParam ? " PAR=" + Name(p->name) + ":" + TypeName(p->type) : " PAR=---PAS");
  }
  void Loop(const CallRecord* c) {
    if (!c || !c->loop) return;
    Line("   _J:= " + c->loop->start + " TO " + c->loop->end);
    Line("");
  }
  void Paths(const std::vector<ArgPath>& paths) {
    for (const ArgPath& p : paths) Line(p.text + ":" + TypeName(p.type));
  }
  void Tree(const MprocRecord& m, const CallRecord* via, int depth) {
    if (depth > 16 || out.size() >= kMaxDump) return;
    Line("");
    Line("**MPROC " + Name(m.name));
    Loop(via);
    Uses(m.varLengthUses);
    for (const CallRecord& c : m.xcalls) {
      Line("");
      Line("**XPROC " + (c.xproc ? Name(c.xproc->name) : std::string()));
      if (c.xproc) Uses(c.xproc->varLengthUses);
      Loop(&c);
      Line("  VARIN");
      Paths(c.inputs);
      Line("  VAROT");
      Paths(c.outputs);
    }
    for (const CallRecord& c : m.instances)
      if (c.mproc) Tree(*c.mproc, &c, depth + 1);
  }

  static constexpr size_t kMaxDump = 64u << 20;
  const DumpSources& d_;
};

}  // namespace

std::string TableDumpText(const DumpSources& d) {
  Dumper dump(d);
  dump.Types();
  dump.Procedures();
  dump.Mprocs();
  return dump.out;
}

void DumpTables(const DumpSources& d, LogWriter& log) {
  std::string body = TableDumpText(d);
  if (!platform::WriteFileAtomic("DMPTABLE.txt", body)) log.LogLine("DMP exception");
}

}  // namespace krv::pp
