// The sequencer pass: from a variable map (.VNM) to a problem file (.PRB).
#include "sequencer/SEQCU1.h"

#include <malloc.h>

#include <fstream>
#include <optional>

#include "platform/byte_io.h"
#include "platform/file_resolver.h"
#include "platform/run_lock.h"
#include "platform/text.h"
#include "platform/user_prompts.h"
#include "preprocessor/compile_label.h"
#include "preprocessor/vnm_reader.h"
#include "sequencer/incidence_ordering.h"
#include "sequencer/prb_format.h"
#include "sequencer/prb_names.h"
#include "sequencer/vnm_map.h"

namespace krv::seq {

using platform::IntToString;

long long MemoryInUse() { return static_cast<long long>(mallinfo2().uordblks); }

// The problem's names and empty value blocks from the map's name lines.
static void AddVariables(const VnmMap& map, PrbProblem& prb) {
  prb.variables.reserve(map.nameLines.size());
  for (const auto& line : map.nameLines) {
    std::string cut = line.substr(0, kNameLineLimit);
    std::string moved = MoveSubscript(cut);
    PrbVariable v;
    v.kind = cut.substr(5, 2);
    // The name proper starts after "  _X." in column 13.
    v.name = moved.size() > 12 ? moved.substr(12) : "";
    prb.variables.push_back(std::move(v));
  }
}

bool SequenceMap(std::string_view mapBytes, std::string& prbBytes, pp::LogWriter& log,
                 const OrderingOptions& options) {
  prbBytes.clear();
  VnmMap map;
  VnmReadResult read = ReadVariableMap(mapBytes, map);
  if (!read.ok) {
    log.LogLine(read.error);
    return false;
  }
  PrbProblem prb;
  prb.header = MakeHeaderLine(map.title);
  AddVariables(map, prb);
  if (!ReadIncidenceAndWriteOrdering(map, prb.ordering, log, options)) return false;
  std::string error;
  if (!WritePrb(prb, prbBytes, error)) {
    log.LogLine("Cannot hold the problem: " + error);
    return false;
  }
  return true;
}

bool HoldsValues(std::string_view prbBytes) {
  PrbProblem old;
  PrbReadOptions options;
  options.acceptOlderLayout = true;
  options.ordering = PrbOrderingRule::CopyUnread;
  PrbReadResult read = ReadPrb(prbBytes, old, options);
  // What cannot be read whole may hold values past the damage.
  if (!read.ok) return !prbBytes.empty();
  const PRBValueBlock empty = PRBValueBlock::Unconstrained();
  for (const PrbVariable& v : old.variables) {
    if (v.block.IsPositive()) return true;
    for (size_t i = 1; i < kValueBlockSize; ++i)
      if (v.block.bytes[i] != empty.bytes[i]) return true;
  }
  return false;
}

std::string KeptProblemPathFor(const std::string& prbPath) {
  std::string base = prbPath;
  if (base.size() >= 4 && base.compare(base.size() - 4, 4, ".PRB") == 0) base.resize(base.size() - 4);
  return base + ".OLD.PRB";
}

// The values set in the editor live only in the problem file that a pass
// replaces; a file that holds any is kept whole beside the new one.
static bool KeepValuedProblem(const std::string& outputPath, pp::LogWriter& log) {
  if (!platform::FileExists(outputPath)) return true;
  std::string old;
  platform::ReadOutcome read = platform::ReadFileBytes(outputPath, old, kMaxPrbFileBytes);
  if (read == platform::ReadOutcome::kTooLarge) {
    log.LogLine(PrbTooLargeMessage(outputPath));
    return false;
  }
  if (read != platform::ReadOutcome::kRead) {
    log.LogLine("Cannot read " + outputPath + " to keep its values");
    return false;
  }
  if (!HoldsValues(old)) return true;
  const std::string kept = KeptProblemPathFor(outputPath);
  if (!platform::WriteFileAtomic(kept, old)) {
    log.LogLine("Cannot write " + kept + " to keep the values of " + outputPath);
    return false;
  }
  log.LogLine("The values of the replaced problem file are kept in " + kept);
  return true;
}

// The types file beside a map (NAME.GTY for NAME.VNM), where there is one,
// must come from the same translation: a Foreparse run cut short between
// its renames leaves the new types file beside the old map, and a problem
// file made from that map would run the old variables under new code.
static bool FromOneTranslation(const std::string& mapPath, std::string_view mapBytes,
                               pp::LogWriter& log) {
  const std::string base = platform::BaseName(mapPath);
  if (base.size() < 4 || !platform::EqualsCaseBlind(std::string_view(base).substr(base.size() - 4), ".VNM"))
    return true;
  const std::string typesPath = mapPath.substr(0, mapPath.size() - 4) + ".GTY";
  if (!platform::FileExists(typesPath)) return true;
  const std::string found = platform::ResolvePath(typesPath);
  std::string types;
  if (platform::ReadFileBytes(found, types, pp::kMaxTypesFileBytes) != platform::ReadOutcome::kRead) {
    log.LogLine("Cannot read " + found + " to check that it belongs to " + mapPath);
    return false;
  }
  const std::string mapLabel(mapBytes.substr(0, mapBytes.find_first_of("\r\n\x1a")));
  std::optional<std::string> typesLabel = pp::LabelOfTypesFile(types);
  if (typesLabel == mapLabel) return true;
  log.LogLine(mapPath + " and " + found + " are from different translations (" +
              (typesLabel ? "labels \"" + mapLabel + "\" and \"" + *typesLabel + "\""
                          : "the types file holds no label") +
              "): a Foreparse run was cut short. Preprocess the model again.");
  return false;
}

// Everything between the two banner lines; false when nothing is written.
static bool Sequence(const std::string& inputPath, const std::string& outputPath,
                     pp::LogWriter& log, const OrderingOptions& options) {
  std::string bytes;
  platform::ReadOutcome read = platform::ReadFileBytes(inputPath, bytes, pp::kMaxVariableMapBytes);
  if (read == platform::ReadOutcome::kTooLarge) {
    log.LogLine(pp::MapTooLargeMessage(inputPath));
    return false;
  }
  if (read != platform::ReadOutcome::kRead) {
    log.LogLine("Cannot read " + inputPath);
    return false;
  }
  std::string out;
  if (!SequenceMap(bytes, out, log, options)) return false;
  if (!FromOneTranslation(inputPath, bytes, log)) return false;
  if (!KeepValuedProblem(outputPath, log)) return false;
  std::string error;
  if (!platform::WriteFileAtomic(outputPath, out, &error)) {
    log.LogLine(error);
    return false;
  }
  return true;
}

// Two runs on one problem would race to replace its problem file: the
// second one is told so and leaves everything alone.
static std::string ProblemLockPath(const std::string& outputPath) {
  return platform::JoinPath(platform::DirName(outputPath),
                            "." + platform::UpperAscii(platform::BaseName(outputPath)) + ".lock");
}

bool RunSequencer(const std::string& inputPath, const std::string& outputPath,
                  pp::LogWriter& log, const OrderingOptions& options) {
  log.LogAppend(std::string(kBanner) + "  ");
  log.LogLine(IntToString(MemoryInUse()));
  platform::RunLock lock;
  bool written = false;
  if (lock.TryLock(ProblemLockPath(outputPath)))
    written = Sequence(inputPath, outputPath, log, options);
  else if (lock.Busy())
    log.LogLine("Another run is writing " + outputPath + ": nothing done");
  else
    log.LogLine(lock.Error());
  if (!written) log.LogLine("No problem file written");
  log.LogLine(" ---FINISHED" + IntToString(MemoryInUse()));
  return written;
}

static bool Opens(const std::string& path) {
  if (!platform::FileExists(path)) return false;
  std::ifstream f(platform::ResolvePath(path), std::ios::binary);
  return f.good();
}

bool RunFromCommandLine(const std::string& basePath, pp::LogWriter& log) {
  if (basePath.empty()) return false;
  std::string input = basePath + ".VNM";
  if (!Opens(input)) {
    platform::Prompts().ShowMessage("FILE ERROR");
    return false;
  }
  RunSequencer(input, basePath + ".PRB", log);
  return true;
}

// The open dialog of the File command: a variable map.
static platform::FileDialogSpec OpenDialog1() {
  platform::FileDialogSpec desc;
  desc.title = "Specify file to start processing";
  desc.filter = "TheFILT|*.VNM";
  desc.defaultExt = "VNM";
  return desc;
}

std::optional<std::string> ChooseMapFile() {
  const platform::FileDialogSpec desc = OpenDialog1();
  for (;;) {
    auto path = platform::Prompts().OpenFileName(desc);
    if (!path) return std::nullopt;
    if (Opens(*path)) return path;
  }
}

std::string ProblemPathFor(const std::string& mapPath) {
  size_t at = mapPath.find(".VNM");
  return mapPath.substr(0, at) + ".PRB";
}

}  // namespace krv::seq
