// The archive's 72-byte status block and the platform's STATSTG (80 bytes on win64, with
// padding the archive does not have) are converted field by field, here and nowhere else.
#pragma once

#include <windows.h>
#include <objidl.h>

#include "ArchiveRecords.h"

namespace cairn {

// The status block of a STATSTG; the name is not kept (the archive stores 0).
StatBlock ToStatBlock(const STATSTG& stat);

// A STATSTG without a name from a status block; the attributes travel in `reserved`.
STATSTG ToStatStg(const StatBlock& block);

}  // namespace cairn
