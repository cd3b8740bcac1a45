// Check Archive's window: it runs the check of an archive on a thread of its own while it counts
// the objects checked, with Cancel to stop, and then lists the damaged revisions (object,
// revision, snapshots, what is wrong) or says "No damage found".
#pragma once

#include "ArchiveOperations.h"

namespace cairn {
namespace shell {

// Shows the window, without an owner, on the calling thread, which it pumps until the user
// closes it; Cancel while the check runs stops it after the object being checked and closes the
// window. Returns once the check's thread has ended.
void RunCheckWindow(const ArchiveOperations& archive);

}  // namespace shell
}  // namespace cairn
