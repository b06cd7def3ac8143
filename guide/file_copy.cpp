// Copying a shipped sample into a problem so that the copy keeps the sample's date.
#include "guide/file_copy.h"

#include "guide/file_probe.h"
#include "platform/byte_io.h"
#include "platform/file_stamp.h"
#include "platform/user_prompts.h"

namespace krv::guide {

namespace pf = krv::platform;

bool CopyFileKeepDate(const std::string& source, const std::string& destination) {
  // The source is only read, so a sample in a read-only installation works.
  uint32_t stamp = 0;
  std::string bytes, reason;
  if (!GetFileDate(source, stamp) || !pf::ReadFileBytes(source, bytes))
    reason = "Cannot read " + FullName(source) + ": " + ReadFailure(source);
  else if (!pf::WriteFileAtomic(FullName(destination), bytes, &reason))
    ;  // the writer's reason names the file
  else if (!pf::SetPackedFileDate(destination, stamp))
    reason = "Cannot set the date of " + FullName(destination) + ": " + SystemReason();
  if (reason.empty()) return true;
  pf::Prompts().ShowMessage("ERROR in " + source + "copy to " + destination + "\n" + reason);
  return false;
}

}  // namespace krv::guide
