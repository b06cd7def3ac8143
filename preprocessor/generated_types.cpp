// The generated types file and the compile label.
#include "preprocessor/generated_types.h"

#include "platform/file_resolver.h"
#include "platform/text.h"

namespace krv::pp {

namespace {

// A field line with the wrap rule: a piece that would take the line past
// 80 characters starts a continuation line of four blanks.
class FieldLine {
 public:
  explicit FieldLine(std::string& out) : out_(out) {}
  void Add(const std::string& piece) {
    if (buf_.size() + piece.size() > 80) {
      // The line goes out even when it holds only the four blanks.
      out_ += buf_ + "\r\n";
      buf_ = "    " + piece;
    } else {
      buf_ += piece;
    }
  }
  void Flush() {
    if (buf_.size() > 4) out_ += buf_ + "\r\n";
    buf_ = "    ";
  }

 private:
  std::string& out_;
  std::string buf_ = "    ";
};

}  // namespace

static void WriteType(const TextBuffer& text, const TypeRecord& type, std::string& out) {
  out += "  " + std::string(text.View(type.name)) + "=RECORD\r\n";
  for (const FieldRecord* f = type.fields; f;) {
    // A run: consecutive fields with the same type record and dimension record.
    const FieldRecord* end = f->next;
    while (end && end->fieldType == f->fieldType && end->Dims == f->Dims) end = end->next;
    FieldLine line(out);
    line.Add(" " + std::string(text.View(f->name)));
    for (const FieldRecord* g = f->next; g != end; g = g->next)
      line.Add("," + std::string(text.View(g->name)));
    line.Add(":");
    std::string typeName = f->fieldType ? std::string(text.View(f->fieldType->name)) : "XVR";
    if (f->Dims) {
      // A VARRAY is declared with room for its largest size.
      std::string bounds = f->Dims->IsVarray() ? "1..512" : std::string(text.View(f->Dims->boundsText));
      line.Add("ARRAY[" + bounds + "]OF " + typeName + ";");
    } else {
      line.Add(typeName + ";");
    }
    line.Flush();
    f = end;
  }
  out += "  END;\r\n";
}

std::string GeneratedTypesText(const TextBuffer& text, const TypeChain& chain, bool vSwitch,
                               const std::string& label) {
  std::string out;
  if (TypeRecord* head = chain.Head()) {
    for (const TypeRecord* t = head->next; t; t = t->next) {
      if (t->VarLength && !vSwitch) continue;
      WriteType(text, *t, out);
    }
  }
  out += LabelConstantLine(label) + "\r\n";
  return out;
}

}  // namespace krv::pp
