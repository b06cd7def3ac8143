// The preprocessor core: the run driver.
#include "preprocessor/PPU1.h"

#include <malloc.h>

#include <filesystem>

#include "platform/byte_io.h"
#include "platform/file_resolver.h"
#include "platform/file_stamp.h"
#include "platform/run_lock.h"
#include "platform/text.h"
#include "preprocessor/generated_types.h"
#include "preprocessor/pass2.h"
#include "preprocessor/subprogram_pass.h"
#include "preprocessor/table_dump.h"
#include "preprocessor/variable_map.h"
#include "preprocessor/xvtype_part.h"

namespace krv::pp {

// Enough of a map's or a problem file's first line for any label.
static constexpr size_t kLabelLineBytes = 256;

long long HeapBytesInUse() {
  struct mallinfo2 mi = mallinfo2();
  return (long long)(mi.uordblks + mi.hblkhd);
}

Preprocessor::Preprocessor(LogWriter& log)
    : log_(log),
      errors_(log),
      scanner_(text_, errors_, directives_),
      out_(text_),
      ctx_{text_, errors_, scanner_, out_, stmt_} {
  errors_.AttachLineNumber(&scanner_.LineNumber());
}

Preprocessor::~Preprocessor() = default;

void Preprocessor::OpenSource(bool segmentMarks) {
  const std::string path = platform::ResolvePath(state_.currentFileName);
  std::error_code ec;
  auto size = std::filesystem::file_size(path, ec);
  std::string bytes;
  if (!ec && size >= kMaxRegionSize) {
    errors_.SyntaxError("FILE TOO LARGE");
    errors_.SyntaxError(kFatalSyntaxErr);
  }
  if (ec || !platform::ReadFileBytes(path, bytes) || bytes.size() >= kMaxRegionSize) {
    errors_.SyntaxError("NO FILE");
    errors_.SyntaxError(kFatalSyntaxErr);
  }
  stmt_.Clear();
  scanner_.Open(std::move(bytes), segmentMarks);
}

void Preprocessor::CreateTextFile(platform::AtomicFile& f) {
  if (!f.Open(state_.currentFileName)) throw EFileError(f.Error());
}

// Writes the closing byte 26 and flushes the file; it replaces the old
// version when the run ends.
void Preprocessor::CloseTextFile(platform::AtomicFile& f) {
  if (!f.IsOpen()) return;
  if (!f.Write(std::string_view(&kEofChar, 1)) || !f.Finish()) throw EFileError(f.Error());
}

void Preprocessor::CommitOutputs() {
  try {
    // Everything is on the disk before the first old file is replaced.
    out_.FinishOutput();
    for (platform::AtomicFile* f : {&typesFile_, &mapFile_})
      if (f->IsOpen() && !f->Finish()) throw EFileError(f->Error());
    // The types file replaces its old version first and the map last. A
    // run cut short between the renames then leaves a types file (and
    // perhaps a .PSY) of the new translation beside the old map: their
    // labels differ, which Sequist tells from the map and the types file,
    // and the solver from its own label and the problem file's. Never a new
    // .PSY with the old types file, nor a new map with an old .PSY.
    if (typesFile_.IsOpen() && !typesFile_.Commit()) throw EFileError(typesFile_.Error());
    out_.CommitOutput();
    if (mapFile_.IsOpen() && !mapFile_.Commit()) throw EFileError(mapFile_.Error());
  } catch (...) {
    AbandonOutputs();
    throw;
  }
}

void Preprocessor::AbandonOutputs() {
  out_.AbortOutput();
  typesFile_.Abort();
  mapFile_.Abort();
  for (const char* name : {kIntermediateFile, kMapScratchFile, kIncidenceScratchFile})
    platform::DeleteFile(name);
}

void Preprocessor::StartRun() {
  const std::string& sw = state_.switchArg;
  state_.accessPrefix = (sw == "/E" || sw == "/e") ? "_X^" : "_X";
  state_.currentFileName = state_.modelPath + ".QTL";
  OpenSource(false);
  text_.ResetNames();
  state_.currentFileName = kIntermediateFile;
  out_.CreateScratch(kIntermediateFile);
  state_.currentFileName = state_.modelPath + ".GTY";
  CreateTextFile(typesFile_);
  state_.currentFileName = state_.modelPath + ".VNM";
  CreateTextFile(mapFile_);
}

// The labels of the model's types file, map and problem file as they are
// on disk before this run replaces them: the translations a new one could
// stand beside.
std::vector<std::string> Preprocessor::LabelsOnDisk() const {
  std::vector<std::string> labels;
  std::string types;
  if (platform::ReadFileBytes(state_.modelPath + ".GTY", types, kMaxTypesFileBytes) ==
      platform::ReadOutcome::kRead)
    if (auto label = LabelOfTypesFile(types)) labels.push_back(*label);
  auto firstLine = [](const std::string& head) { return head.substr(0, head.find_first_of("\r\n")); };
  if (auto map = platform::ReadFileHead(state_.modelPath + ".VNM", kLabelLineBytes))
    labels.push_back(firstLine(*map));
  if (auto prb = platform::ReadFileHead(state_.modelPath + ".PRB", kLabelLineBytes))
    labels.push_back(firstLine(*prb));
  return labels;
}

void Preprocessor::WriteGeneratedTypes() {
  state_.currentFileName = state_.modelPath + ".GTY";
  auto stamp = platform::PackedFileDate(kIntermediateFile);
  if (!stamp) throw EFileError(std::string("Cannot open file ") + kIntermediateFile);
  uint32_t dated = DistinctLabelStamp(*stamp, state_.modelPath, LabelsOnDisk());
  // TMPQTL.TMP keeps dating the label.
  if (dated != *stamp) platform::SetPackedFileDate(kIntermediateFile, dated);
  label_ = CompileLabel(LabelTimeFromPackedStamp(dated), state_.modelPath);
  std::string body = GeneratedTypesText(text_, types_, directives_.VSwitch(), label_);
  if (!typesFile_.Write(body)) throw EFileError(typesFile_.Error());
  CloseTextFile(typesFile_);
}

void Preprocessor::DumpTables() { pp::DumpTables({text_, types_, procs_, mprocs_}, log_); }

void Preprocessor::RunPreprocessor() {
  log_.LogLine(platform::IntToString(HeapBytesInUse()));
  state_.firstPass = true;
  scanner_.SetFirstPass(true);
  log_.LogLine(kBanner);
  platform::RunLock lock;
  if (!lock.TryLock(kScratchLockFile)) {
    if (!lock.Busy()) throw EFileError(lock.Error());
    log_.LogLine("Another run is using TMPQTL.TMP, SAVI.TMP and SAVIJ.TMP in this directory: nothing done");
    return;
  }
  try {
    RunPasses();
  } catch (const EMyExc&) {
    // A stopped run leaves its outputs as far as they were written.
    CommitOutputs();
    throw;
  } catch (...) {
    AbandonOutputs();
    throw;
  }
}

void Preprocessor::RunPasses() {
  errors_.StartRun();
  directives_.ResetDirectives();
  types_.Reset();
  procs_.Reset();
  mprocs_.Reset();
  label_.clear();
  StartRun();
  ParseXvtypePart(ctx_, types_);
  RunSubprogramPass(ctx_, types_, procs_, mprocs_, directives_, state_.accessPrefix);
  stmt_.Clear();
  out_.CloseOutput();
  CloseSource();
  if (state_.debugDump) DumpTables();
  if (errors_.Count() > 0) {
    CommitOutputs();  // the .GTY and .VNM files, empty
    platform::DeleteFile(kIntermediateFile);
    log_.LogLine("Err Halt");
    return;
  }
  WriteGeneratedTypes();
  state_.currentFileName = kIntermediateFile;
  OpenSource(true);
  state_.currentFileName = state_.modelPath + ".PSY";
  out_.Create(state_.currentFileName);
  state_.firstPass = false;
  scanner_.SetFirstPass(false);
  std::string map;
  try {
    map = RunPass2(ctx_, types_, mprocs_, label_);
  } catch (const EMyExc&) {
    // A stopped pass 2 still leaves a complete .PSY and a map that every
    // reader refuses.
    stmt_.Clear();
    out_.FinishOutput();
    WriteMap(label_ + "\r\n", "***ERROR***\r\n");
    throw;
  }
  state_.pass2Failed = errors_.Pass2Failed();
  CloseSource();
  stmt_.Clear();
  out_.FinishOutput();
  WriteMap(map, state_.pass2Failed ? "***ERROR***\r\n" : "");
  CommitOutputs();
  log_.LogLine("  ---FINISHED" + platform::IntToString(HeapBytesInUse()));
}

void Preprocessor::WriteMap(const std::string& text, const std::string& tail) {
  state_.currentFileName = state_.modelPath + ".VNM";
  if (!mapFile_.IsOpen()) return;
  if (!mapFile_.Write(text) || !mapFile_.Write(tail)) throw EFileError(mapFile_.Error());
  CloseTextFile(mapFile_);
}

}  // namespace krv::pp
