// The preprocessor core: the run state and the run driver RunPreprocessor.
#pragma once

#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "preprocessor/directives.h"
#include "preprocessor/log_writer.h"
#include "preprocessor/output_writer.h"
#include "preprocessor/pass_context.h"
#include "preprocessor/mproc_tables.h"
#include "preprocessor/proc_tables.h"
#include "preprocessor/scanner.h"
#include "preprocessor/syntax_error.h"
#include "preprocessor/text_buffer.h"
#include "preprocessor/token_list.h"
#include "preprocessor/type_chain.h"

namespace krv::pp {

inline constexpr const char* kBanner = "Foreparse QTL preprocessor, version 1.0";
inline constexpr const char* kIntermediateFile = "TMPQTL.TMP";
// Held by a run for its scratch files (TMPQTL.TMP, SAVI.TMP, SAVIJ.TMP),
// which every run in a directory shares.
inline constexpr const char* kScratchLockFile = ".TMPQTL.TMP.lock";

struct RunState {
  std::string modelPath;    // without extension; once set, no further run
  bool ran = false;         // a run has started, even on an empty path
  bool debugDump = false;
  std::string switchArg;    // the command line's second argument
  std::string accessPrefix = "_X";
  bool firstPass = true;
  bool pass2Failed = false;
  std::string currentFileName;
};

// One instance for the life of the program; the log is its only sink.
class Preprocessor {
 public:
  explicit Preprocessor(LogWriter& log);
  ~Preprocessor();
  Preprocessor(const Preprocessor&) = delete;
  Preprocessor& operator=(const Preprocessor&) = delete;

  RunState& State() { return state_; }
  LogWriter& Log() { return log_; }

  // One whole run on State().modelPath. Returns after "Err Halt" or a
  // completed run; throws EMyExc when a fatal error abandons the run and
  // EFileError when a file cannot be created or written. The outputs are
  // written beside their old versions and replace them when the run ends,
  // stopped runs included; after a file error every old output stays.
  // A second run in the same directory is refused (logged) while this one
  // holds its scratch files.
  void RunPreprocessor();
  bool SourceOpen() const { return scanner_.IsOpen(); }
  void CloseSource() { scanner_.Close(); }

  // Dumps the tables as they stand (empty before a run).
  void DumpTables();

  const TextBuffer& Text() const { return text_; }
  const TypeChain& Types() const { return types_; }
  const ProcTables& Procs() const { return procs_; }
  const MprocTables& Mprocs() const { return mprocs_; }
  const std::string& Label() const { return label_; }
  unsigned ErrorCount() const { return errors_.Count(); }

 private:
  void RunPasses();
  void StartRun();
  void OpenSource(bool segmentMarks);
  void CreateTextFile(platform::AtomicFile& f);
  void CloseTextFile(platform::AtomicFile& f);
  // Puts every output of the run in place, or on a failure none of those
  // not yet in place.
  void CommitOutputs();
  // Drops the run's new outputs and its scratch files.
  void AbandonOutputs();
  void WriteGeneratedTypes();
  std::vector<std::string> LabelsOnDisk() const;
  // Writes the map text, its tail and the final byte 26, and closes the map.
  void WriteMap(const std::string& text, const std::string& tail);

  LogWriter& log_;
  RunState state_;
  TextBuffer text_;
  ErrorReport errors_;
  Directives directives_;
  Scanner scanner_;
  OutputWriter out_;
  TokenList stmt_;
  TypeChain types_;
  ProcTables procs_;
  MprocTables mprocs_;
  PassContext ctx_;
  platform::AtomicFile typesFile_;
  platform::AtomicFile mapFile_;
  std::string label_;
};

// Bytes allocated from the heap, for the log's first and last lines.
long long HeapBytesInUse();

}  // namespace krv::pp
