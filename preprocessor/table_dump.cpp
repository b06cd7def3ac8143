// The debug dump of the translator's tables.
#include "preprocessor/table_dump.h"

#include <cstdio>

#include "platform/file_resolver.h"
#include "platform/text.h"

namespace krv::pp {

static std::string In6(long long v) { return platform::PadLeft(platform::IntToString(v), 6); }

std::string TableDumpText(const TextBuffer& text, const TypeChain& chain) {
  std::string out;
  auto line = [&](const std::string& s) { out += s + "\r\n"; };
  auto name = [&](const NameRef& r) { return std::string(text.View(r)); };
  for (const TypeRecord* t = chain.Head(); t; t = t->next) {
    line("");
    line("XVTYPE=" + name(t->name));
    line(" DIMENS=" + In6(t->dimension));
    if (t->groupVarMember) line(" VARGROUP=" + name(t->groupVarMember->name));
    if (t->section) line("  SECTN=TRUE");
    for (const FieldRecord* f = t->fields; f; f = f->next) {
      line(name(f->name) + ":" + (f->fieldType ? name(f->fieldType->name) : std::string()));
      if (f->dims) line("  array=" + name(f->dims->boundsText) + "  " + In6(f->dims->count));
    }
  }
  line("");
  return out;
}

void DumpTables(const TextBuffer& text, const TypeChain& chain, LogWriter& log) {
  std::string body = TableDumpText(text, chain);
  std::FILE* f = std::fopen(platform::ResolvePath("DMPTABLE.txt").c_str(), "wb");
  bool ok = f && std::fwrite(body.data(), 1, body.size(), f) == body.size();
  if (f && std::fclose(f) != 0) ok = false;
  if (!ok) log.LogLine("DMP exception");
}

}  // namespace krv::pp
