// The preprocessor core: the run driver.
#include "preprocessor/PPU1.h"

#include <malloc.h>

#include <filesystem>

#include "platform/byte_io.h"
#include "platform/file_resolver.h"
#include "platform/file_stamp.h"
#include "platform/text.h"
#include "preprocessor/generated_types.h"
#include "preprocessor/pass2.h"
#include "preprocessor/subprogram_pass.h"
#include "preprocessor/table_dump.h"
#include "preprocessor/xvtype_part.h"

namespace krv::pp {

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

Preprocessor::~Preprocessor() {
  if (typesFile_) std::fclose(typesFile_);
  if (mapFile_) std::fclose(mapFile_);
}

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

std::FILE* Preprocessor::CreateTextFile() {
  std::FILE* f = std::fopen(platform::ResolvePath(state_.currentFileName).c_str(), "wb");
  if (!f) throw EFileError("Cannot create file " + state_.currentFileName);
  return f;
}

void Preprocessor::CloseTextFile(std::FILE*& f, bool withEofMark) {
  if (!f) return;
  bool ok = !withEofMark || std::fputc(kEofChar, f) != EOF;
  ok = std::fclose(f) == 0 && ok;
  f = nullptr;
  if (!ok) throw EFileError("Cannot write file " + state_.currentFileName);
}

void Preprocessor::StartRun() {
  const std::string& sw = state_.switchArg;
  state_.accessPrefix = (sw == "/E" || sw == "/e") ? "_X^" : "_X";
  state_.currentFileName = state_.modelPath + ".QTL";
  OpenSource(false);
  text_.ResetNames();
  state_.currentFileName = kIntermediateFile;
  out_.Create(kIntermediateFile);
  if (typesFile_) std::fclose(typesFile_);
  if (mapFile_) std::fclose(mapFile_);
  typesFile_ = mapFile_ = nullptr;
  state_.currentFileName = state_.modelPath + ".GTY";
  typesFile_ = CreateTextFile();
  state_.currentFileName = state_.modelPath + ".VNM";
  mapFile_ = CreateTextFile();
}

void Preprocessor::WriteGeneratedTypes() {
  state_.currentFileName = state_.modelPath + ".GTY";
  auto stamp = platform::PackedFileDate(kIntermediateFile);
  if (!stamp) throw EFileError(std::string("Cannot open file ") + kIntermediateFile);
  label_ = CompileLabel(LabelTimeFromPackedStamp(*stamp), state_.modelPath);
  std::string body = GeneratedTypesText(text_, types_, directives_.VSwitch(), label_);
  if (std::fwrite(body.data(), 1, body.size(), typesFile_) != body.size())
    throw EFileError("Cannot write file " + state_.currentFileName);
  CloseTextFile(typesFile_, true);
}

void Preprocessor::DumpTables() { pp::DumpTables({text_, types_, procs_, mprocs_}, log_); }

void Preprocessor::RunPreprocessor() {
  log_.LogLine(platform::IntToString(HeapBytesInUse()));
  state_.firstPass = true;
  scanner_.SetFirstPass(true);
  log_.LogLine(kBanner);
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
    out_.CloseOutput();
    WriteMap(label_ + "\r\n", "***ERROR***\r\n");
    throw;
  }
  state_.pass2Failed = errors_.Pass2Failed();
  CloseSource();
  stmt_.Clear();
  out_.CloseOutput();
  WriteMap(map, state_.pass2Failed ? "***ERROR***\r\n" : "");
  log_.LogLine("  ---FINISHED" + platform::IntToString(HeapBytesInUse()));
}

void Preprocessor::WriteMap(const std::string& text, const std::string& tail) {
  state_.currentFileName = state_.modelPath + ".VNM";
  if (!mapFile_) return;
  if (std::fwrite(text.data(), 1, text.size(), mapFile_) != text.size() ||
      std::fwrite(tail.data(), 1, tail.size(), mapFile_) != tail.size())
    throw EFileError("Cannot write file " + state_.currentFileName);
  CloseTextFile(mapFile_, true);
}

}  // namespace krv::pp
