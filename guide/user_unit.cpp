// The user unit KRVUSER.PAS that ties a problem's generated Pascal to the solver.
#include "guide/user_unit.h"

#include "platform/line_reader.h"

namespace krv::guide {

std::string UserUnitText(const std::string& name) {
  const std::string lines[] = {
      "UNIT KRVUSER;",
      "{$MODE Delphi}",
      " INTERFACE",
      "   USES KRVPROCS;",
      "   {$PACKRECORDS 1}",
      "PROCEDURE SYSTEMM(T2T:BOOLEAN);",
      "PROCEDURE REPORT;",
      "PROCEDURE SETUP;",
      "PROCEDURE TIMESET;",
      "PROCEDURE PARSET;",
      "PROCEDURE ADDSET;",
      "PROCEDURE USERBPR;",
      "IMPLEMENTATION",
      "  USES DPARPROC;",
      "TYPE",
      "{$I " + name + ".GTY }",
      "VAR _X:_SYSTEM ABSOLUTE _Y;",
      "VAR _X2T:_SYSTEM ABSOLUTE _Y2T;",
      // The owner test of the next problem choice looks for this line.
      "{$I " + name + ".PSY }",
      "procedure SYSTEMM(T2T:BOOLEAN);",
      "begin",
      "   IF T2T THEN SYSTEMMC(_X2T) ELSE SYSTEMMC(_X);",
      "end;",
      "INITIALIZATION",
      "   _CMPLABEL:=_UCMPLABEL;",
      "end.",
  };
  static_assert(sizeof lines / sizeof lines[0] == 26);
  return krv::platform::JoinCrLf(lines, 26);
}

std::optional<std::string> UserUnitOwner(std::string_view unitText) {
  krv::platform::LineReader reader(unitText, true);
  std::string line;
  while (reader.Next(line)) {
    size_t ext = line.find(".PSY");
    size_t lower = line.find(".psy");
    if (ext == std::string::npos || (lower != std::string::npos && lower < ext)) ext = lower;
    if (ext == std::string::npos) continue;
    std::string head = line.substr(0, ext);
    size_t cut = head.find_last_of(" \\/");
    std::string owner = cut == std::string::npos ? head : head.substr(cut + 1);
    if (owner.size() > 31) owner.resize(31);
    return owner;
  }
  return std::nullopt;
}

}  // namespace krv::guide
