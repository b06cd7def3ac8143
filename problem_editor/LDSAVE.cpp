// Reading problem files into editor buffers and saving the main problem.
#include "problem_editor/LDSAVE.h"

#include <cassert>

#include "platform/byte_io.h"
#include "platform/file_resolver.h"
#include "platform/user_prompts.h"
#include "sequencer/prb_format.h"

namespace krv::pe {

namespace {

constexpr size_t kCopiedLineMax = 127;

void Report(const std::string& text) { platform::Prompts().ShowMessage(text); }

bool (*g_stepHook)(const char*) = nullptr;

bool Step(const char* step) { return !g_stepHook || g_stepHook(step); }

}  // namespace

bool ValidatePrbFile(const std::string& path, bool mergeSource, std::string& headerBuffer) {
  std::string bytes;
  platform::ReadOutcome read = platform::ReadFileBytes(path + ".PRB", bytes, seq::kMaxPrbFileBytes);
  if (read == platform::ReadOutcome::kTooLarge) {
    Report(seq::PrbTooLargeMessage(path + ".PRB"));
    return false;
  }
  if (read != platform::ReadOutcome::kRead) {
    Report(kNoFile);
    return false;
  }
  size_t end = bytes.find_first_of("\r\n");
  std::string first = bytes.substr(0, std::min(end, kHeaderBufferMax));
  bool valid = (!first.empty() && first[0] == '*') || mergeSource;
  headerBuffer = first.empty() ? first : first.substr(1);
  if (!valid) Report(kNotV4);
  return valid;
}

bool ParsePrb(std::string_view bytes, bool allowOld, EditorBuffer& out) {
  PrbImage& img = out.image;
  img = PrbImage{};
  out.records.clear();
  seq::PrbReadOptions options;
  options.acceptOlderLayout = allowOld;
  // The editor needs only the names and value blocks; the ordering is
  // copied as it stands when the problem is saved.
  options.ordering = seq::PrbOrderingRule::CopyUnread;
  seq::PrbReadResult r = seq::ReadPrb(bytes, img.file, options);
  // Record indexes are 16-bit signed in the editor.
  if (!r.ok || img.file.variables.size() > size_t(kRecordMax)) return false;
  img.v4 = r.layout == seq::PrbLayout::V4;
  img.orderingComplete = r.orderingComplete;
  out.records.resize(img.file.variables.size());
  for (size_t k = 0; k < out.records.size(); ++k) {
    const seq::PrbVariable& v = img.file.variables[k];
    VariableRecord& rec = out.records[k];
    rec.name = v.name.substr(0, kRecordNameMax);
    rec.block = v.block;
    rec.typeCode = TypeCodeFor(v.kind[0], v.kind[1], v.block.bytes[0]);
  }
  out.beginNumber = 0;
  out.endNumber = out.N();
  return true;
}

bool LoadProblemFile(const std::string& path, bool allowOld, EditorBuffer& out) {
  std::string bytes;
  platform::ReadOutcome read = platform::ReadFileBytes(path + ".PRB", bytes, seq::kMaxPrbFileBytes);
  if (read != platform::ReadOutcome::kRead) {
    Report(read == platform::ReadOutcome::kTooLarge ? seq::PrbTooLargeMessage(path + ".PRB")
                                                    : "Cannot read " + path + ".PRB");
    return false;
  }
  EditorBuffer fresh;
  if (!ParsePrb(bytes, allowOld, fresh)) {
    Report(kBrokenFile);
    return false;
  }
  fresh.problemName = path;
  fresh.loadedBytes = std::move(bytes);
  out = std::move(fresh);
  return true;
}

std::string BuildPrbBytes(const EditorBuffer& buf) {
  seq::PrbProblem file = buf.image.file;
  assert(file.variables.size() == buf.records.size());
  for (size_t k = 0; k < buf.records.size(); ++k) file.variables[k].block = buf.records[k].BlockToWrite();
  seq::PrbWriteOptions options;
  options.keepStoredLines = true;
  options.copiedLineLimit = kCopiedLineMax;
  std::string bytes, error;
  if (!seq::WritePrb(file, bytes, error, options)) return std::string();
  return bytes;
}

bool SavesOverSource(const EditorBuffer& buf, const std::string& name) {
  // Another spelling of the same file is the same file.
  return name.empty() || name == buf.problemName ||
         platform::SameFile(name + ".PRB", buf.problemName + ".PRB");
}

void SetSaveStepHook(bool (*hook)(const char* step)) { g_stepHook = hook; }

bool SaveProblemFile(EditorBuffer& buf, const std::string& name) {
  const std::string source = buf.problemName + ".PRB";
  if (!buf.image.v4 || buf.image.file.variables.size() != buf.records.size()) {
    Report("Cannot save: no problem file is loaded");
    return false;
  }
  if (!buf.image.orderingComplete) {
    Report("Cannot save: the ordering section of " + source + " is incomplete");
    return false;
  }
  std::string bytes = BuildPrbBytes(buf);

  if (!SavesOverSource(buf, name)) {
    std::string target = name + ".PRB";
    if (!platform::WriteFileAtomic(target, bytes)) {
      Report("Cannot write " + target);
      return false;
    }
    buf.problemName = name;
    buf.loadedBytes = std::move(bytes);
    return true;
  }

  // The rotation keeps the problem file in place throughout: the new
  // version is written beside it, the backup becomes a second name of the
  // old file, and one rename puts the new version in the old one's place.
  // A kill at any moment leaves NAME.PRB whole, the old or the new version.
  const std::string& base = buf.problemName;
  const std::string onDisk = platform::ResolvePath(source);
  const std::string pnw = base + ".PNW", pbk = base + ".PBK";
  if (!Step(kSaveSteps[0]) || !platform::WriteFileAtomic(pnw, bytes)) {
    Report("Cannot write " + pnw);
    return false;
  }
  if (Step(kSaveSteps[1])) platform::DeleteFile(pbk);  // a failure is ignored
  if (platform::FileExists(onDisk) && (!Step(kSaveSteps[2]) || !platform::LinkFile(onDisk, pbk))) {
    // No second name to be had (an old backup that would not go, or a file
    // system without links): keep a copy of the old version instead.
    std::string old;
    if (platform::ReadFileBytes(onDisk, old, seq::kMaxPrbFileBytes) != platform::ReadOutcome::kRead ||
        !platform::WriteFileAtomic(pbk, old)) {
      Report("Cannot keep " + onDisk + " as " + pbk + "; the new version is in " + pnw);
      return false;
    }
  }
  if (!Step(kSaveSteps[3]) || !platform::RenameFile(pnw, onDisk, true)) {
    Report("Cannot rename " + pnw + " to " + onDisk);
    return false;
  }
  buf.loadedBytes = std::move(bytes);
  return true;
}

}  // namespace krv::pe
