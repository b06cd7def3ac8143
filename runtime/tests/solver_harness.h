// Test helper: a problem directory with user unit and program file, compiled with fpc and run.
#pragma once

#include <string>
#include <vector>

#include "testing/temp_dir.h"
#include "viewer/ttr_format.h"

namespace krv::rt {

struct RunResult {
  int status = -1;     // exit status; 128 + signal when killed
  std::string output;  // stdout and stderr together
};

// Runs a shell command in `dir`, collecting its output.
RunResult RunIn(const std::string& dir, const std::string& command);

// The 26-line user unit the guide writes for problem `name`.
std::string UserUnitText(const std::string& name);

// "program NAME;" followed by the shipped program body.
std::string ProgramFileText(const std::string& name);

using TtrRecord = view::TTRRecord;

struct Trajectory {
  int mark = 0, d = 0, jtmax = 0;
  double last_t = 0.0;
  std::string label;
  std::vector<TtrRecord> records;
};

// Reads a trajectory file through the viewer's reader: the header (a 32000
// file's JTmax as the viewer holds it) and records 0..JTmax. False when the
// file is not whole 64-byte blocks, its header is not one the viewer reads
// or a record is missing.
bool ReadTrajectory(const std::string& path, Trajectory& out);

class ProblemDir {
 public:
  explicit ProblemDir(std::string name);

  const std::string& name() const { return name_; }
  const testing::TempDir& dir() const { return dir_; }

  // Writes NAME.GTY (the type lines, then the label constant and byte 26),
  // NAME.PSY, KRVUSER.PAS and NAME.LPR.
  void WriteModel(const std::vector<std::string>& type_lines, const std::string& label,
                  const std::string& psy) const;
  // Runs Foreparse's batch run on NAME.QTL here; its log goes to `log`.
  void Preprocess(std::string* log) const;
  // Writes KRVUSER.PAS and NAME.LPR as the guide makes them.
  void WriteProgram() const;
  // Compiles NAME.LPR against the runtime units; false with the log on error.
  bool Compile(std::string* log) const;
  RunResult Run() const;

  void Write(const std::string& file, const std::string& bytes) const { dir_.Write(file, bytes); }
  std::string Read(const std::string& file) const { return dir_.Read(file); }
  bool Has(const std::string& file) const { return dir_.Has(file); }

 private:
  std::string name_;
  testing::TempDir dir_;
};

struct Outcome {
  RunResult run;
  std::string prb_after;
  bool has_ttr = false;
  Trajectory ttr;
};

// Writes NAME.PRB, removes any NAME.TTR, runs the solver and collects what it left.
Outcome Solve(const ProblemDir& dir, const std::string& prb);

// Lines joined with CR LF after each.
std::string CrLf(const std::vector<std::string>& lines);

}  // namespace krv::rt
