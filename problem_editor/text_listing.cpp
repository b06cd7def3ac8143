// The text listing of a display list: two lines per row, written by
// "Save&Text" and read back, record by record, by the TXT auto-match.
#include "problem_editor/text_listing.h"

#include <vector>

#include "platform/byte_io.h"
#include "platform/text.h"
#include "platform/user_prompts.h"
#include "problem_editor/FormatReal.h"
#include "problem_editor/value_entry.h"
#include "problem_editor/variable_grid.h"

namespace krv::pe {

static std::string ValueLine(const VariableRecord& r) {
  const char letter = r.Positive() ? 'P' : ' ';
  std::string line(1, letter);
  if (r.TypeCode >= 5) return "    " + FormatReal(14, r.XIn());
  const bool ic = r.TypeCode == 2 || r.TypeCode == 3;
  line += "   " + FormatReal(14, r.XIn()) + "  ";
  line += ic ? std::string(14, ' ') : FormatReal(14, r.XOut());
  line += "  " + FormatReal(10, r.Range()) + "  " + FormatReal(9, r.Fourth()) + "    ";
  // Unlike the grid, a negative Range still gives an error value here.
  line += ic || r.Range() == 0 ? std::string(" ") : FormatReal(10, ScaledError(r));
  return line;
}

std::string TextListingBytes(const EditorBuffer& buf) {
  std::string out;
  for (int d = 0; d <= buf.lastDisplayed; ++d) {
    const int i = buf.display[size_t(d)];
    const VariableRecord& r = buf.records[size_t(i)];
    out += RecordCaption(i, r) + "\r\n" + ValueLine(r) + "\r\n";
  }
  return out;
}

bool SaveTextListing(const EditorBuffer& buf, const std::string& path) {
  std::string reason;
  if (platform::WriteFileAtomic(path, TextListingBytes(buf), nullptr, &reason)) return true;
  platform::Prompts().ShowMessage("Cannot write the listing " + path + ": " + reason);
  return false;
}

std::string_view TextLines::Next() {
  size_t end = b_.find_first_of("\r\n", pos_);
  if (end == std::string_view::npos) end = b_.size();
  std::string_view line = b_.substr(pos_, end - pos_);
  pos_ = end;
  if (pos_ < b_.size() && b_[pos_] == '\r') {
    ++pos_;
    if (pos_ < b_.size() && b_[pos_] == '\n') ++pos_;
  } else if (pos_ < b_.size()) {
    ++pos_;  // a bare LF
  }
  return line;
}

static std::vector<std::string_view> Tokens(std::string_view s) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    size_t j = i;
    while (j < s.size() && s[j] != ' ' && s[j] != '\t') ++j;
    if (j > i) out.push_back(s.substr(i, j - i));
    i = j;
  }
  return out;
}

TxtRead ReadTxtMergeRecord(TextLines& in, TxtMergeRecord& rec) {
  rec.block = seq::PRBValueBlock::Unconstrained();
  rec.name.clear();
  if (in.AtEnd()) return TxtRead::End;
  std::string_view first = in.Next();
  if (in.AtEnd()) return TxtRead::End;
  const bool ic = first.find(" IC ") != std::string_view::npos;
  size_t at = std::string_view::npos;
  for (const char* mark : {" _X.", " *", " ?", " &"}) {
    at = first.find(mark);
    if (at != std::string_view::npos) break;
  }
  if (at == std::string_view::npos) return TxtRead::Bad;
  std::string_view name = first.substr(at + 1);
  // "_X." and a whole stored name (77 characters), so every listing
  // written here is read back whole.
  const size_t keep = name.starts_with("_X.") ? 3 + kRecordNameMax : kRecordNameMax;
  rec.name = platform::UpperAscii(name.substr(0, keep));

  std::string_view second = in.Next();
  if (second.empty()) return TxtRead::Record;
  rec.block.SetConstraint(second[0]);
  auto tokens = Tokens(second.substr(1));
  if (tokens.empty()) return TxtRead::Record;
  if (auto v = ParseRealValue(tokens[0])) rec.block.SetXIn(*v);
  if (tokens.size() < 2) return TxtRead::Record;
  std::string_view rangeToken = tokens[1];
  if (tokens.size() >= 3 && !ic) {
    if (auto v = ParseRealValue(tokens[1])) rec.block.SetXOut(*v);
    rangeToken = tokens[2];
  }
  if (auto v = ParseSingleValue(rangeToken)) rec.block.SetRange(float(*v));
  return TxtRead::Record;
}

}  // namespace krv::pe
