// The text listing of a display list: two lines per row, written by
// "Save&Text" and read back, record by record, by the TXT auto-match.
#pragma once

#include <string>
#include <string_view>

#include "problem_editor/editor_buffer.h"

namespace krv::pe {

// The listing's bytes: for every display row its caption (whole) and its
// value line, each ended by CR LF.
std::string TextListingBytes(const EditorBuffer& buf);

// Writes the listing to `path` through a temporary file, so a failure
// leaves no half-written listing; reports a failure naming the file.
bool SaveTextListing(const EditorBuffer& buf, const std::string& path);

// A listing being read: lines end with CR LF, a bare LF or a bare CR.
class TextLines {
 public:
  explicit TextLines(std::string_view bytes) : b_(bytes) {}
  bool AtEnd() const { return pos_ >= b_.size(); }
  // The next line without its end; an empty line at the end of the text.
  std::string_view Next();

 private:
  std::string_view b_;
  size_t pos_ = 0;
};

// One record read from a listing: its name upper-cased as written (a
// "_X." name or a mask) and its value block.
struct TxtMergeRecord {
  std::string name;
  seq::PRBValueBlock block;
};

enum class TxtRead { Record, End, Bad };

// Reads the next two lines into `rec`. End: the text ends (a last line
// without its value line is no record). Bad: a first line with no name.
// The name is "_X." and up to 77 characters of a name (or a mask of up to
// 77 characters); the value line's first character is the constraint
// letter, then X in, and either Range or X out and Range (not for IC),
// where a token that is no number leaves its field as it was.
TxtRead ReadTxtMergeRecord(TextLines& in, TxtMergeRecord& rec);

}  // namespace krv::pe
