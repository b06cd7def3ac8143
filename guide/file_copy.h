// Copying a shipped sample into a problem so that the copy keeps the sample's date.
#pragma once

#include <string>

namespace krv::guide {

// Copies `source` to `destination` (created or replaced whole) and gives
// the copy the source's stamp. On failure shows "ERROR in " + source +
// "copy to " + destination, with a second line naming the file that could
// not be read or written and the system's reason, and returns false; no
// partial copy is left.
bool CopyFileKeepDate(const std::string& source, const std::string& destination);

}  // namespace krv::guide
