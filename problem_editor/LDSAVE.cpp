// Reading problem files into editor buffers and saving the main problem.
#include "problem_editor/LDSAVE.h"

#include <cassert>
#include <cerrno>

#include "platform/byte_io.h"
#include "platform/file_query.h"
#include "platform/file_resolver.h"
#include "platform/text.h"
#include "platform/user_prompts.h"
#include "sequencer/prb_format.h"

namespace krv::pe {

namespace {

constexpr size_t kCopiedLineMax = 127;

void Report(const std::string& text) { platform::Prompts().ShowMessage(text); }

bool (*g_stepHook)(const char*) = nullptr;

// A step the hook refuses fails as an I/O error of the system would.
bool Step(const char* step) {
  if (!g_stepHook || g_stepHook(step)) return true;
  errno = EIO;
  return false;
}

std::string LastReason() { return platform::SystemReason(errno); }

// Reads the file for a load; reports and returns false when it cannot.
bool ReadForLoad(const std::string& file, std::string& bytes, const char* noFile) {
  std::string reason;
  switch (platform::ReadFileBytes(file, bytes, seq::kMaxPrbFileBytes, &reason)) {
    case platform::ReadOutcome::kRead:
      return true;
    case platform::ReadOutcome::kTooLarge:
      Report(seq::PrbTooLargeMessage(file));
      return false;
    case platform::ReadOutcome::kUnreadable:
      break;
  }
  Report(std::string(noFile) + " " + file + ": " + reason);
  return false;
}

// Fills `out` from a problem read by the format's reader. `damaged` tells
// the reader's refusal from the editor's own limit.
bool TakeProblem(std::string_view bytes, const seq::PrbReadOptions& options, EditorBuffer& out,
                 std::string& error, bool& damaged) {
  PrbImage& img = out.image;
  img = PrbImage{};
  out.records.clear();
  seq::PrbReadResult r = seq::ReadPrb(bytes, img.file, options);
  damaged = !r.ok;
  if (!r.ok) {
    error = r.error;
    return false;
  }
  // Record indexes are 16-bit signed in the editor.
  if (img.file.variables.size() > size_t(kRecordMax)) {
    error = "it holds " + platform::IntToString(static_cast<long long>(img.file.variables.size())) +
            " variables; Casewright holds at most " + platform::IntToString(kRecordMax);
    return false;
  }
  img.v4 = r.layout == seq::PrbLayout::V4;
  img.orderingComplete = r.orderingComplete;
  out.records.resize(img.file.variables.size());
  for (size_t k = 0; k < out.records.size(); ++k) {
    const seq::PrbVariable& v = img.file.variables[k];
    VariableRecord& rec = out.records[k];
    rec.name = v.name.substr(0, kRecordNameMax);
    rec.block = v.block;
    rec.TypeCode = TypeCodeFor(v.kind[0], v.kind[1], v.block.bytes[0]);
  }
  out.beginNumber = 0;
  out.endNumber = out.HighestIndex();
  return true;
}

seq::PrbReadOptions EditorReadOptions() {
  seq::PrbReadOptions options;
  // The editor needs only the names and value blocks; the ordering is
  // copied as it stands when the problem is saved.
  options.ordering = seq::PrbOrderingRule::CopyUnread;
  return options;
}

}  // namespace

bool ValidatePrbFile(const std::string& path, bool mergeSource, std::string& headerBuffer) {
  const std::string file = path + ".PRB";
  std::string bytes;
  if (!ReadForLoad(file, bytes, kNoFile)) return false;
  size_t end = bytes.find_first_of("\r\n");
  std::string first = bytes.substr(0, std::min(end, kHeaderBufferMax));
  bool valid = (!first.empty() && first[0] == '*') || mergeSource;
  headerBuffer = first.empty() ? first : first.substr(1);
  if (!valid) Report(std::string(kNotV4) + " " + file);
  return valid;
}

bool ParsePrb(std::string_view bytes, bool allowOld, EditorBuffer& out, std::string* error) {
  seq::PrbReadOptions options = EditorReadOptions();
  options.acceptOlderLayout = allowOld;
  std::string why;
  bool damaged = false;
  bool ok = TakeProblem(bytes, options, out, why, damaged);
  if (!ok && error) *error = why;
  return ok;
}

bool ParseMainProblem(std::string_view bytes, EditorBuffer& out, std::string& error, bool& damaged) {
  seq::PrbReadOptions options = EditorReadOptions();
  options.rules = seq::PrbRules::Solver;
  return TakeProblem(bytes, options, out, error, damaged);
}

bool LoadProblemFile(const std::string& path, bool allowOld, EditorBuffer& out) {
  const std::string file = path + ".PRB";
  std::string bytes;
  if (!ReadForLoad(file, bytes, "Cannot read")) return false;
  EditorBuffer fresh;
  std::string error;
  bool damaged = true;
  bool ok = allowOld ? ParsePrb(bytes, true, fresh, &error) : ParseMainProblem(bytes, fresh, error, damaged);
  if (!ok) {
    Report(std::string(kBrokenFile) + " " + file + ": " + error +
           (!allowOld && damaged ? "; run Sequence again" : ""));
    return false;
  }
  fresh.problemName = path;
  fresh.loadedBytes = std::move(bytes);
  out = std::move(fresh);
  return true;
}

std::string WritePrbFile(const EditorBuffer& buf) {
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
  std::string bytes = WritePrbFile(buf);
  std::string reason;

  if (!SavesOverSource(buf, name)) {
    std::string target = name + ".PRB";
    if (!platform::WriteFileAtomic(target, bytes, nullptr, &reason)) {
      Report("Cannot save " + target + ": " + reason);
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
  // A problem file marked read-only is not replaced, as no other file is.
  if (platform::FileExists(onDisk) && platform::IsReadOnlyFile(onDisk)) {
    Report("Cannot save " + onDisk + ": the file is read-only");
    return false;
  }
  if (!Step(kSaveSteps[0])) reason = LastReason();
  if (!reason.empty() || !platform::WriteFileAtomic(pnw, bytes, nullptr, &reason)) {
    Report("Cannot save " + onDisk + ": its new version " + pnw + " could not be written: " + reason);
    return false;
  }
  if (Step(kSaveSteps[1])) platform::DeleteFile(pbk);  // a failure is ignored
  if (platform::FileExists(onDisk) && (!Step(kSaveSteps[2]) || !platform::LinkFile(onDisk, pbk))) {
    // No second name to be had (an old backup that would not go, or a file
    // system without links): keep a copy of the old version instead.
    std::string old;
    platform::ReadOutcome read = platform::ReadFileBytes(onDisk, old, seq::kMaxPrbFileBytes, &reason);
    if (read == platform::ReadOutcome::kTooLarge) reason = seq::PrbTooLargeMessage(onDisk);
    if (read != platform::ReadOutcome::kRead || !platform::WriteFileAtomic(pbk, old, nullptr, &reason)) {
      Report("Cannot save " + onDisk + ": its backup " + pbk + " could not be made: " + reason +
             "; the new version is in " + pnw);
      return false;
    }
  }
  if (!Step(kSaveSteps[3]) || !platform::RenameFile(pnw, onDisk, true)) {
    Report("Cannot save " + onDisk + ": " + pnw + " could not be renamed to it: " + LastReason() +
           "; the new version is in " + pnw);
    return false;
  }
  buf.loadedBytes = std::move(bytes);
  return true;
}

}  // namespace krv::pe
