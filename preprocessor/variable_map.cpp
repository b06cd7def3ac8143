// The variable map writer.
#include "preprocessor/variable_map.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "platform/byte_io.h"
#include "platform/file_resolver.h"
#include "platform/little_endian.h"
#include "platform/scratch_file.h"
#include "platform/text.h"
#include "preprocessor/tree_walk.h"

namespace krv::pp {

namespace {

using platform::AppendI16;
using platform::GetI16;
using platform::IntToString;
using platform::PadLeft;

// The scratch files as the map writer reads them back: SAVI.TMP 2-byte
// output numbers, SAVIJ.TMP 6-byte incidence records, little-endian. They
// are deleted once read, so they are written plainly, not flushed.
void WriteScratch(const WalkResult& walk) {
  std::string savi, savij;
  for (int32_t o : walk.outputs) AppendI16(savi, int16_t(o));
  for (const Incidence& r : walk.incidences) {
    AppendI16(savij, int16_t(r.output));
    AppendI16(savij, int16_t(r.input));
    savij += char(r.fix);
    savij += char(r.mode);
  }
  for (const auto& [name, bytes] : {std::pair{kMapScratchFile, &savi}, std::pair{kIncidenceScratchFile, &savij}}) {
    std::string error;
    if (!platform::WriteScratchFile(name, *bytes, &error)) throw EFileError(error);
  }
}

WalkResult ReadScratch() {
  std::string savi, savij;
  if (!platform::ReadFileBytes(kMapScratchFile, savi) || !platform::ReadFileBytes(kIncidenceScratchFile, savij))
    throw EFileError("Cannot read file SAVI.TMP");
  platform::DeleteFile(kMapScratchFile);
  platform::DeleteFile(kIncidenceScratchFile);
  WalkResult r;
  for (size_t i = 0; i + 2 <= savi.size(); i += 2) r.outputs.push_back(GetI16(savi, i));
  for (size_t i = 0; i + 6 <= savij.size(); i += 6)
    r.incidences.push_back({GetI16(savij, i), GetI16(savij, i + 2), uint8_t(savij[i + 4]),
                            uint8_t(savij[i + 5])});
  return r;
}

// Depth-first over the state type: one path per scalar variable.
class StateWalk {
 public:
  StateWalk(const TextBuffer& text, const TypeChain& types) : text_(text), types_(types) {}
  // `path` holds the path so far; each level appends to it and takes its
  // piece off again.
  void WalkStateType(const TypeRecord* type, std::string& path, int depth) {
    if (depth > 64 || paths.size() > size_t(kMaxMapVariables)) return;
    for (const FieldRecord* f = type->fields; f; f = f->next) {
      size_t base = path.size();
      path += '.';
      path += text_.View(f->name);
      long lo = 0, count = 1;
      if (f->Dims) {
        std::string b(text_.View(f->Dims->boundsText));
        auto l = platform::ParseInt(b.substr(0, b.find("..")));
        lo = l ? long(*l) : 1;
        count = f->Dims->count;
      }
      size_t named = path.size();
      if (f->fieldType != types_.Head() && (!f->fieldType || f->fieldType->dimension <= 0)) count = 0;
      for (long k = 0; k < count; ++k) {
        if (f->Dims) {
          path += '[';
          path += IntToString(lo + k);
          path += ']';
        }
        if (f->fieldType == types_.Head())
          paths.push_back(path);
        else if (f->fieldType && f->fieldType->dimension > 0)  // nothing to number otherwise
          WalkStateType(f->fieldType, path, depth + 1);
        path.resize(named);
        if (paths.size() > size_t(kMaxMapVariables)) break;
      }
      path.resize(base);
      if (paths.size() > size_t(kMaxMapVariables)) return;
    }
  }
  std::vector<std::string> paths;

 private:
  const TextBuffer& text_;
  const TypeChain& types_;
};

// One variable line: the number, the input and output kind letters and
// the name.
void KindCode(std::string& out, size_t v, char in, char outRole, const std::string& path) {
  out += PadLeft(IntToString((long long)v), 4);
  out += ' ';
  out += in;
  out += outRole;
  out += "  _X";
  out += path;
  out += "\r\n";
}

}  // namespace

std::string WriteVariableMap(ErrorReport& errors, const TextBuffer& text, const TypeChain& types,
                             const MprocTables& mprocs, const std::string& label) {
  LogWriter& log = errors.Log();
  const MprocRecord* system = mprocs.System();
  WalkResult walk;
  if (system) walk = WalkMprocTree(errors, text, *system);
  WriteScratch(walk);
  std::string out = label + "\r\n";
  CheckDuplicateOutputs(errors, walk.outputs);
  walk = ReadScratch();

  // The state type of SYSTEM, found by its name.
  StateWalk state(text, types);
  const TypeRecord* stateType = types.FindXvrType(text, "_SYSTEM");
  std::string path;
  if (stateType) {
    state.paths.reserve(size_t(std::min(stateType->dimension, kMaxMapVariables + 1)));
    state.WalkStateType(stateType, path, 0);
  }
  if (state.paths.size() > size_t(kMaxMapVariables)) {
    errors.Pass2Error("MORE THAN 10000 VARIABLES IN THE MODEL");
    state.paths.resize(kMaxMapVariables);
  }
  size_t n = state.paths.size();
  std::vector<char> in(n, '*'), outRole(n, '*');
  std::vector<int> fixIn(n, 0), anyIn(n, 0), fixOut(n, 0);
  // Every recorded output is an output, also of a call without inputs.
  for (int32_t o : walk.outputs)
    if (o >= 0 && size_t(o) < n) outRole[size_t(o)] = 'O';
  for (const Incidence& r : walk.incidences) {
    if (r.input >= 0 && size_t(r.input) < n) {
      in[size_t(r.input)] = r.fix ? 'C' : 'I';
      ++anyIn[size_t(r.input)];
      if (r.fix) ++fixIn[size_t(r.input)];
    }
    if (r.output >= 0 && size_t(r.output) < n && r.input != r.output) {
      outRole[size_t(r.output)] = r.fix ? 'C' : 'O';
      if (r.fix) ++fixOut[size_t(r.output)];
    }
  }
  size_t lastDot = 0;
  out.reserve(out.size() + n * 48 + walk.incidences.size() * 16 + 16);
  for (size_t v = 0; v < n; ++v) {
    if ((fixIn[v] > 0 && anyIn[v] > 1) || fixOut[v] > 1) {
      log.LogLine("MULTI-USE OF CONTROL OR FIXED VARIABLE " + IntToString((long long)v));
      errors.SetPass2Failed();
    }
    KindCode(out, v, in[v], outRole[v], state.paths[v]);
    if (v - lastDot > 40) {
      log.LogAppend(".");
      lastDot = v;
    }
  }
  out += "     #\r\n";
  for (const Incidence& r : walk.incidences) {
    out += PadLeft(IntToString(r.output), 5);
    out += PadLeft(IntToString(r.input), 5);
    out += r.fix ? " 1" : " 0";
    out += PadLeft(IntToString(r.mode), 2);
    out += "\r\n";
  }
  log.LogLine(" " + IntToString((long long)n) + " variables of type XVR");
  return out;
}

}  // namespace krv::pp
