// Copies out of a shared file mapping, turning the fault of a page that is
// gone or cannot be read into a failed copy instead of the end of the
// program.
#pragma once

#include <cstddef>

namespace krv::platform {

// Copies `n` bytes from `from`, which lies in a file mapping, to `to`.
// Another program may cut the file short beneath the mapping, or the disk
// may fail to deliver a page: Linux then raises SIGBUS at the access. That
// is caught here and the copy fails, with `to` undefined; the caller reads
// the file the ordinary way, which names the reason. A SIGBUS anywhere
// else goes on to whatever handled it before (by default, the end of the
// program, as without this).
bool CopyFromMapping(void* to, const void* from, size_t n);

}  // namespace krv::platform
