// Directive comments: named text constants and the V and N switches.
#include "preprocessor/directives.h"

#include "platform/text.h"
#include "preprocessor/char_class.h"

namespace krv::pp {

static constexpr std::string_view kDirectiveError = "Error in PP directive";

void Directives::ResetDirectives() {
  for (auto& s : slots_) s = PPConstant{};
  count_ = 0;
  vSwitch_ = true;
  nSwitch_ = false;
}

static size_t SkipBlanks(std::string_view t, size_t i) {
  while (i < t.size() && t[i] == ' ') ++i;
  return i;
}

bool Directives::HandleDirective(std::string_view text, bool firstPass, ErrorReport& errors,
                                 int& slot) {
  size_t n = text.size();
  while (n > 0 && text[n - 1] == ' ') --n;
  if (n < 2) return false;
  std::string_view t = text.substr(0, n);
  switch (platform::UpperAscii(t[0])) {
    case 'V':
    case 'N': {
      bool* sw = platform::UpperAscii(t[0]) == 'V' ? &vSwitch_ : &nSwitch_;
      if (t[1] == '+')
        *sw = true;
      else if (t[1] == '-')
        *sw = false;
      else
        errors.SyntaxError(kDirectiveError);
      return false;
    }
    case 'D':
      if (firstPass) Define(t, errors);
      return false;
    case 'S':
      return Substitute(t, errors, slot);
    case 'P':
      return false;
    default:
      errors.SyntaxError(kDirectiveError);
      return false;
  }
}

void Directives::Define(std::string_view t, ErrorReport& errors) {
  if (count_ == kSlots) {
    errors.Log().LogLine("More than 20 PP Consts");
    errors.SyntaxError(kDirectiveError);
    return;
  }
  PPConstant& c = slots_[size_t(count_++)];
  size_t i = SkipBlanks(t, 1);
  size_t nameStart = i;
  while (i < t.size() && t[i] != ' ' && t[i] != '=') ++i;
  std::string_view name = t.substr(nameStart, i - nameStart);
  while (i < t.size() && (t[i] == ' ' || t[i] == '=')) ++i;
  std::string_view value = t.substr(i);
  if (name.empty() || value.empty()) {
    errors.SyntaxError(kDirectiveError);
    return;
  }
  c.name = platform::UpperAscii(name.substr(0, 31));
  c.value = std::string(value.substr(0, 49));
  c.kind = IsIdentChar(c.value[0]) ? 1 : IsDigit(c.value[0]) ? 2 : 0;
}

bool Directives::Substitute(std::string_view t, ErrorReport& errors, int& slot) {
  size_t i = SkipBlanks(t, 1);
  size_t nameStart = i;
  while (i < t.size() && t[i] != ' ') ++i;
  if (i == nameStart) {
    errors.SyntaxError(kDirectiveError);
    return false;
  }
  std::string name = platform::UpperAscii(t.substr(nameStart, i - nameStart).substr(0, 31));
  for (int s = 0; s < count_; ++s) {
    if (slots_[size_t(s)].name == name) {
      slot = s + 1;
      return true;
    }
  }
  errors.Log().LogLine("NO FIND");
  errors.SyntaxError(kDirectiveError);
  return false;
}

}  // namespace krv::pp
