// Test helper: a problem directory with user unit and program file, compiled with fpc and run.
#include "runtime/tests/solver_harness.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/user_prompts.h"
#include "preprocessor/PPU1.h"
#include "preprocessor/program_start.h"
#include "viewer/ttr_file.h"

namespace krv::rt {

std::string CrLf(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\r\n";
  return out;
}

RunResult RunIn(const std::string& dir, const std::string& command) {
  RunResult result;
  std::string full = "cd '" + dir + "' && " + command + " 2>&1";
  FILE* pipe = ::popen(full.c_str(), "r");
  if (!pipe) return result;
  char buf[4096];
  size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, pipe)) > 0) result.output.append(buf, got);
  int status = ::pclose(pipe);
  if (WIFEXITED(status))
    result.status = WEXITSTATUS(status);
  else if (WIFSIGNALED(status))
    result.status = 128 + WTERMSIG(status);
  return result;
}

std::string UserUnitText(const std::string& name) {
  return CrLf({"UNIT KRVUSER;", "{$MODE Delphi}", " INTERFACE", "   USES KRVPROCS;",
               "   {$PACKRECORDS 1}", "PROCEDURE SYSTEMM(T2T:BOOLEAN);", "PROCEDURE REPORT;",
               "PROCEDURE SETUP;", "PROCEDURE TIMESET;", "PROCEDURE PARSET;", "PROCEDURE ADDSET;",
               "PROCEDURE USERBPR;", "IMPLEMENTATION", "  USES DPARPROC;", "TYPE",
               "{$I " + name + ".GTY }", "VAR _X:_SYSTEM ABSOLUTE _Y;",
               "VAR _X2T:_SYSTEM ABSOLUTE _Y2T;", "{$I " + name + ".PSY }",
               "procedure SYSTEMM(T2T:BOOLEAN);", "begin",
               "   IF T2T THEN SYSTEMMC(_X2T) ELSE SYSTEMMC(_X);", "end;", "INITIALIZATION",
               "   _CMPLABEL:=_UCMPLABEL;", "end."});
}

std::string ProgramFileText(const std::string& name) {
  std::ifstream f(std::string(KRV_SOURCE_DIR) + "/runtime/KRVSRC.TXT", std::ios::binary);
  std::ostringstream body;
  body << f.rdbuf();
  return "program " + name + ";\r\n" + body.str();
}

bool ReadTrajectory(const std::string& path, Trajectory& out) {
  out = Trajectory{};
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  view::TTRFile file;
  view::TTRHeader h;
  if (ec || size % view::kBlockSize != 0 || !file.Open(path) || !file.ReadHeader(h)) return false;
  h.Normalize();
  out.mark = h.Mark();
  out.d = h.D();
  out.last_t = h.LastT();
  out.label = h.Label();
  out.jtmax = h.JTmax();
  if (!view::IsKnownMark(h.Mark()) || out.d < 0 || out.d >= view::kMaxVariables) return false;
  const view::TTRLayout layout = view::TTRLayout::ForHeader(h);
  for (int jt = 0; jt <= out.jtmax; ++jt) {
    TtrRecord rec;
    if (!view::ReadTTRRecord(file, layout, jt, rec)) return false;
    out.records.push_back(std::move(rec));
  }
  return true;
}

ProblemDir::ProblemDir(std::string name) : name_(std::move(name)) {}

void ProblemDir::WriteModel(const std::vector<std::string>& type_lines, const std::string& label,
                            const std::string& psy) const {
  std::vector<std::string> gty = type_lines;
  gty.push_back("CONST _UCMPLABEL='" + label + "';");
  Write(name_ + ".GTY", CrLf(gty) + "\x1a");
  Write(name_ + ".PSY", psy);
  WriteProgram();
}

void ProblemDir::Preprocess(std::string* log) const {
  testing::ScopedCwd cwd(dir_.path());
  platform::ScriptedPrompts prompts;
  pp::LogWriter writer;
  pp::Preprocessor foreparse(writer);
  pp::HandleCommandLine(foreparse, {dir_.File(name_)});
  if (log) *log = writer.Text();
}

void ProblemDir::WriteProgram() const {
  Write("KRVUSER.PAS", UserUnitText(name_));
  Write(name_ + ".LPR", ProgramFileText(name_));
}

bool ProblemDir::Compile(std::string* log) const {
  RunResult r = RunIn(dir_.path(), std::string(KRV_FPC_PATH) + " -O1 '-Fu" +
                                       KRV_RUNTIME_UNITS + ";' " + name_ + ".LPR");
  if (log) *log = r.output;
  return r.status == 0 && Has(name_);
}

RunResult ProblemDir::Run() const { return RunIn(dir_.path(), "./" + name_); }

Outcome Solve(const ProblemDir& dir, const std::string& prb) {
  std::remove(dir.dir().File(dir.name() + ".TTR").c_str());
  dir.Write(dir.name() + ".PRB", prb);
  Outcome o;
  o.run = dir.Run();
  o.prb_after = dir.Read(dir.name() + ".PRB");
  o.has_ttr = dir.Has(dir.name() + ".TTR");
  if (o.has_ttr) ReadTrajectory(dir.dir().File(dir.name() + ".TTR"), o.ttr);
  return o;
}

}  // namespace krv::rt
