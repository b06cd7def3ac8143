// Pass-1 error reports, the error limit, and the exception that abandons a run.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

#include "preprocessor/log_writer.h"

namespace krv::pp {

// The one signal that abandons a run; its message is never shown.
class EMyExc : public std::exception {
 public:
  const char* what() const noexcept override { return "EMERGENCY ERROR--MUST STOP"; }
};

// A file that cannot be opened, created or written during a run.
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

[[noreturn]] void FatalStop();

inline constexpr std::string_view kFatalSyntaxErr = " FATAL SYNTAX ERR";

// Counts and logs the errors of one run. The count never wraps, so a source
// with hundreds of notes still ends "Err Halt".
class ErrorReport {
 public:
  explicit ErrorReport(LogWriter& log) : log_(log) {}
  // The counter whose value prefixes every report (the scanner's line).
  void AttachLineNumber(const int* line) { line_ = line; }

  void StartRun() {
    pass2Failed_ = false;
    count_ = 0;
    limit_ = 3;
  }
  // Logs "<line> <message>" (message cut to 80), counts it, and stops the run
  // past the limit or on " FATAL SYNTAX ERR".
  void SyntaxError(std::string_view message);
  // A pass-2 error: the message alone on its line, counted with the same
  // limit; sets Pass2Failed.
  void Pass2Error(std::string_view message);
  bool Pass2Failed() const { return pass2Failed_; }
  void SetPass2Failed() { pass2Failed_ = true; }
  // Counts an error logged elsewhere, without the limit test.
  void CountNote() { ++count_; }

  unsigned Count() const { return count_; }
  unsigned Limit() const { return limit_; }
  LogWriter& Log() { return log_; }
  int LineNumber() const { return line_ ? *line_ : 0; }

 private:
  LogWriter& log_;
  const int* line_ = nullptr;
  unsigned count_ = 0;
  unsigned limit_ = 3;
  bool pass2Failed_ = false;
};

}  // namespace krv::pp
