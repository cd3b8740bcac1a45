// What a snapshot could not archive, told on standard error: each object the archive's log
// entries written while the snapshot ran say it left out, and a snapshot refused because the
// archive is full.
#pragma once

#include <windows.h>

#include <cstdint>

#include "cairn.h"

namespace cairn {
namespace cn {

// The time a snapshot starts (UTC), from which on the log's entries are the snapshot's own.
uint64_t SnapshotStart();

// Tells, after CreateSnapShot answered result, what the snapshot started at start left out (see
// NotArchivedLines.h), one line each, or that it failed because the archive cannot grow past
// 4 GB. Opening the log makes it when there is none, so it is read only when the snapshot may
// have written to it: it stored one (S_OK), or it walked items to add (adding) or the objects of
// an earlier snapshot.
void ReportNotArchived(ICairnArchive* archive, uint64_t start, HRESULT result, bool adding);

}  // namespace cn
}  // namespace cairn
