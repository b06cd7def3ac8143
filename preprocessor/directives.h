// Directive comments: named text constants (D, S) and the V and N switches.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "preprocessor/syntax_error.h"

namespace krv::pp {

struct PPConstant {
  std::string name;   // upper-cased, at most 31 characters
  std::string value;  // at most 49 characters
  uint8_t kind = 0;   // token kind the replacement takes
};

class Directives {
 public:
  static constexpr int kSlots = 20;

  void ResetDirectives();
  // Executes one directive text (what followed the '%'). Returns true for a
  // successful S directive and sets `slot` (1-based) to the constant found.
  bool HandleDirective(std::string_view text, bool firstPass, ErrorReport& errors, int& slot);

  const PPConstant& Slot(int slot) const { return slots_[size_t(slot - 1)]; }
  int ConstantCount() const { return count_; }
  bool VSwitch() const { return vSwitch_; }
  bool NSwitch() const { return nSwitch_; }

 private:
  void Define(std::string_view text, ErrorReport& errors);
  bool Substitute(std::string_view text, ErrorReport& errors, int& slot);

  std::array<PPConstant, kSlots> slots_;
  int count_ = 0;
  bool vSwitch_ = true;
  bool nSwitch_ = false;
};

}  // namespace krv::pp
