// The preprocessor core: the run state and the run driver RunPreprocessor.
#pragma once

#include <cstdio>
#include <string>

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
  // EFileError when a file cannot be created or written.
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
  void StartRun();
  void OpenSource(bool segmentMarks);
  std::FILE* CreateTextFile();
  void CloseTextFile(std::FILE*& f, bool withEofMark);
  void WriteGeneratedTypes();
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
  std::FILE* typesFile_ = nullptr;
  std::FILE* mapFile_ = nullptr;
  std::string label_;
};

// Bytes allocated from the heap, for the log's first and last lines.
long long HeapBytesInUse();

}  // namespace krv::pp
