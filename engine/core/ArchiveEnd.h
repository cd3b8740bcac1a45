// Where an archive's data ends for what it holds: the end of the highest block that any record,
// data block, free area or switch journal reachable from the header covers. While an archive is
// open its file may run past that end in zeros (the heap grows the file in steps); after a
// crash the next open for writing cuts the file back to it.
#pragma once

#include <cstdint>

#include "ArchiveHeap.h"

namespace cairn {

// The logical end found by walking the whole archive. kCorruptArchive when the walk finds a
// problem (nothing may be cut from a damaged archive), kArchiveClosed when the heap is closed.
HRESULT FindLogicalEnd(ArchiveHeap& heap, uint32_t* end);

}  // namespace cairn
