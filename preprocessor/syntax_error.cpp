// Pass-1 error reports and the run's emergency stop.
#include "preprocessor/syntax_error.h"

#include "platform/text.h"

namespace krv::pp {

void FatalStop() { throw EMyExc(); }

void ErrorReport::SyntaxError(std::string_view message) {
  std::string_view text = message.substr(0, 80);
  log_.LogLine(platform::IntToString(LineNumber()) + " " + std::string(text));
  ++count_;
  if (count_ > limit_ || text == kFatalSyntaxErr) FatalStop();
}

void ErrorReport::Pass2Error(std::string_view message) {
  log_.LogLine(std::string(message));
  pass2Failed_ = true;
  ++count_;
  if (count_ > limit_) FatalStop();
}

}  // namespace krv::pp
