// The solver's readers as a program of their own (krvreaderprobe, built
// with range, overflow and input/output checks), started once and asked
// input after input over a socket: fast enough for a fuzz target to hand
// it every input it makes.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/tests/solver_verdicts.h"

namespace krv::rt {

class ReaderProbe {
 public:
  // Starts the probe with a scratch directory of its own.
  ReaderProbe();
  ~ReaderProbe();
  ReaderProbe(const ReaderProbe&) = delete;
  ReaderProbe& operator=(const ReaderProbe&) = delete;

  // The solver's problem-file reader on `bytes`.
  SolverAnswer Problem(std::string_view bytes);
  // The solver's store reader on the store `bytes`, once per path.
  std::vector<SolverAnswer> Series(std::string_view store, const std::vector<std::string>& paths);
  // The solver's write of one value into each series of `paths`: its answer
  // and the store's bytes after it.
  std::pair<SolverAnswer, std::string> WriteOneValues(std::string_view store,
                                                      const std::vector<std::string>& paths,
                                                      const std::vector<double>& values);
  // The solver's reading of a start trajectory for `maxValues` variables.
  SolverAnswer StartRecord(std::string_view ttr, int maxValues);

  // A fault in the reader: code -1, the exception and its call trace, or
  // the probe's end and its log. The probe is started again for the next
  // question.
  static bool IsFault(const SolverAnswer& a) { return a.code == -1; }

  // Ends the probe; its heap checker's report ("0 unfreed memory blocks"
  // when nothing leaked).
  std::string Stop();

 private:
  void Start();
  std::vector<SolverAnswer> Ask(char kind, const std::vector<std::string_view>& parts);

  std::string dir_;
  pid_t pid_ = -1;
  int fd_ = -1;
};

}  // namespace krv::rt
