// The run's name store.
#include "preprocessor/name_store.h"

namespace krv::pp {

static NameRef Store(PassContext& c, std::string_view text) {
  NameRef ref;
  if (!c.text.StoreName(text, ref)) {
    c.errors.SyntaxError(kNameStoreFull);
    c.errors.SyntaxError(kFatalSyntaxErr);
  }
  return ref;
}

NameRef StoreLiteralName(PassContext& c, std::string_view text) {
  return Store(c, text.substr(0, 80));
}

NameRef StoreTokenName(PassContext& c, const TokenNode& node) {
  // Copied first: the view would not survive a growing store.
  std::string name(c.text.View(node.Token()));
  return Store(c, name);
}

bool NameEquals(const PassContext& c, std::string_view literal, const NameRef& ref) {
  return c.text.View(ref) == literal;
}

void LogNameRef(PassContext& c, const NameRef& ref) {
  c.Log().LogAppend(c.RefText(ref) + " ");
}

void RejectUnderscoreName(PassContext& c, std::string_view name) {
  if (name.find('_') == std::string_view::npos) return;
  c.Log().LogLine(std::string(name));
  c.errors.SyntaxError("'_' NOT ALLOWED IN NAME");
}

void RejectUnderscoreTokenName(PassContext& c, const NameRef& ref) {
  RejectUnderscoreName(c, c.TokenText(ref));
}

}  // namespace krv::pp
