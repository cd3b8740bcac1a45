// A disk file read into a content of its own, for a revision to be made from. Another program
// may write the file meanwhile: a copy is kept only when the file's size and last-write time are
// the same after it as before (and, for a file written within the clock's grain of the copy, a
// second reading finds the same bytes), so that a revision is the file as it was at one moment,
// and the comparison and the store that make it read the same bytes.
#pragma once

#include <windows.h>

#include <memory>

#include "ArchiveRecords.h"
#include "RebuiltContent.h"

namespace cairn {

// What copying a file of 4 GiB or more fails with (ERROR_FILE_TOO_LARGE): contents have 32-bit
// positions, so such a file cannot be archived.
constexpr HRESULT kFileTooLarge = static_cast<HRESULT>(0x800700DF);

// Copies the file at path, opened for reading with reading and writing shared, into *content and
// fills *stat from its directory entry (size, times, attributes; type 0). A file that changes
// under every one of a few tries counts as locked: ERROR_SHARING_VIOLATION.
HRESULT CopyDiskFile(const wchar_t* path, std::unique_ptr<RebuiltContent>* content, StatBlock* stat);

}  // namespace cairn
