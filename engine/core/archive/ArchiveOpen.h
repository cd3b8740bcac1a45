// Opening an archive as a whole: the heap, and for a writer the repair of what an earlier writer
// left.
#pragma once

#include <memory>
#include <string>

#include "ArchiveHeap.h"

namespace cairn {

// Opens the archive's heap (see ArchiveHeap::Open, whose failures it gives as they are). Opened
// for writing, an archive that a writer changed and never released (a process that ended in the
// middle: the header's reserved word is set) is repaired: a revision switch under way is
// finished, and what that writer had written but not yet linked is given back (bytes that nothing
// covers go to the free list, or off the end). A file left longer than its archive is cut back to
// its logical end. A damaged archive is left as it is.
HRESULT OpenArchive(PlatformFiles& files, const std::string& path, bool create, bool write,
                    std::unique_ptr<ArchiveHeap>* heap);

}  // namespace cairn
