// Reading problem files into editor buffers and saving the main problem.
#pragma once

#include <string>
#include <string_view>

#include "problem_editor/editor_buffer.h"

namespace krv::pe {

inline constexpr const char* kNoFile = "NO FILE";
inline constexpr const char* kNotV4 = "NOT A V.4 FILE";
inline constexpr const char* kBrokenFile = "Error in problem file";
constexpr size_t kHeaderBufferMax = 87;

// Checks that `path` + ".PRB" can be loaded: "NO FILE" when it cannot be
// opened, "NOT A V.4 FILE" when its first character is not "*" (unless it
// is a merge source, which may be in the older format); each message is
// followed by the file's name, "NO FILE" also by the system's reason. On
// opening, `headerBuffer` gets the first line (87 characters) without its
// first character.
bool ValidatePrbFile(const std::string& path, bool mergeSource, std::string& headerBuffer);

// Parses a whole problem file into `out` (records, ranges, file image).
// Without `allowOld` the header must begin with "*". False for a broken
// file, with what is wrong in `error` when given; `out` is then
// unspecified.
bool ParsePrb(std::string_view bytes, bool allowOld, EditorBuffer& out, std::string* error = nullptr);

// The main problem's reading: ParsePrb's, and the file must also be one
// the solver runs (seq::PrbRules::Solver), so that damage the solver would
// refuse is told before the modeller edits the file. False with what is
// wrong in `error`; `damaged` tells damage (the remedy is to sequence the
// model again) from a problem larger than the editor holds.
bool ParseMainProblem(std::string_view bytes, EditorBuffer& out, std::string& error, bool& damaged);

// Reads `path` + ".PRB" into a fresh buffer and moves it into `out` only on
// success; the display list of `out` is emptied. Without `allowOld` this is
// the main problem's load (ParseMainProblem). On failure it reports, naming
// the file, "Error in problem file" with what is wrong (for damage to the
// main problem followed by "; run Sequence again"), or why the file cannot
// be read, and leaves `out` alone.
bool LoadProblemFile(const std::string& path, bool allowOld, EditorBuffer& out);

// The bytes a save writes: the loaded file with the edited value blocks.
std::string WritePrbFile(const EditorBuffer& buf);

// True when saving under `name` (without ".PRB") writes over the file the
// problem was loaded from: an empty name, the same name, or another
// spelling of the same file.
bool SavesOverSource(const EditorBuffer& buf, const std::string& name);

// Saves `buf` under `name` (without ".PRB"). Another file is written in
// place and becomes the problem name; the same file (or an empty name)
// goes through ".PNW" and keeps the previous version as ".PBK", with the
// problem file in place, old or new, at every moment. Reports a failure,
// naming the problem file, the file that could not be written and the
// system's reason, and returns false.
bool SaveProblemFile(EditorBuffer& buf, const std::string& name);

// The steps of a save under the problem's own name, in order.
inline constexpr const char* kSaveSteps[] = {"write PNW", "remove PBK", "link PBK", "rename PNW"};
// For tests: called before each step of such a save with the step's name;
// a step for which it returns false fails as if the system had refused it.
void SetSaveStepHook(bool (*hook)(const char* step));

}  // namespace krv::pe
