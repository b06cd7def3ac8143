// The problem file on disk against the one the editor loaded.
#include "problem_editor/file_on_disk.h"

#include <algorithm>

#include "platform/byte_io.h"
#include "platform/file_resolver.h"
#include "problem_editor/LDSAVE.h"
#include "sequencer/prb_format.h"

namespace krv::pe {

namespace {

// Offsets in the value block: the editor's part (constraint letter, X in,
// Range) ends where the solver's (fourth value, X out) begins.
constexpr size_t kInputsEnd = 13;

bool SameLayout(const PrbImage& a, const PrbImage& b) {
  const auto& va = a.file.variables;
  const auto& vb = b.file.variables;
  if (a.v4 != b.v4 || a.orderingComplete != b.orderingComplete || a.file.header != b.file.header ||
      a.file.unreadOrdering != b.file.unreadOrdering || va.size() != vb.size())
    return false;
  for (size_t k = 0; k < va.size(); ++k)
    if (va[k].storedLine != vb[k].storedLine) return false;
  return true;
}

bool SameInputs(const VariableRecord& a, const VariableRecord& b) {
  return a.TypeCode == b.TypeCode &&
         std::equal(a.block.bytes.begin() + 1, a.block.bytes.begin() + kInputsEnd,
                    b.block.bytes.begin() + 1);
}

}  // namespace

DiskCheck CheckProblemOnDisk(const EditorBuffer& buf) {
  DiskCheck c;
  const std::string path = buf.problemName + ".PRB";
  if (!platform::FileExists(path)) {
    c.state = DiskState::Missing;
    return c;
  }
  std::string bytes;
  switch (platform::ReadFileBytes(path, bytes, seq::kMaxPrbFileBytes, &c.reason)) {
    case platform::ReadOutcome::kRead:
      break;
    case platform::ReadOutcome::kTooLarge:  // no problem file of any layout
      c.state = DiskState::OtherLayout;
      return c;
    case platform::ReadOutcome::kUnreadable:
      c.state = DiskState::Unreadable;
      return c;
  }
  if (bytes == buf.loadedBytes) return c;
  if (!ParsePrb(bytes, false, c.disk) || !SameLayout(c.disk.image, buf.image)) {
    c.state = DiskState::OtherLayout;
    return c;
  }
  c.state = DiskState::SameLayout;
  // What the editor loaded, to tell another editor's values from its own.
  EditorBuffer loaded;
  bool known = ParsePrb(buf.loadedBytes, false, loaded) &&
               loaded.records.size() == c.disk.records.size();
  const std::vector<VariableRecord>& before = known ? loaded.records : buf.records;
  for (size_t k = 0; k < c.disk.records.size(); ++k)
    if (!SameInputs(c.disk.records[k], before[k])) ++c.inputsChanged;
  return c;
}

bool TakeSolverValues(EditorBuffer& buf, const DiskCheck& check) {
  if (check.state != DiskState::SameLayout || check.disk.records.size() != buf.records.size())
    return false;
  bool changed = false;
  for (size_t k = 0; k < buf.records.size(); ++k) {
    auto& to = buf.records[k].block.bytes;
    const auto& from = check.disk.records[k].block.bytes;
    if (!std::equal(from.begin() + kInputsEnd, from.end(), to.begin() + kInputsEnd)) {
      std::copy(from.begin() + kInputsEnd, from.end(), to.begin() + kInputsEnd);
      changed = true;
    }
  }
  return changed;
}

}  // namespace krv::pe
