// What a snapshot could not archive, told on standard error: the archive's log entries written
// while the snapshot ran, each one a line of cn's own.
#pragma once

#include <cstdint>

#include "cairn.h"

namespace cairn {
namespace cn {

// The time a snapshot starts (UTC), from which on the log's entries are the snapshot's own.
uint64_t SnapshotStart();

// Prints one line for each object that the log's entries written from `start` on say was left
// out because its name cannot be stored. Opening the log makes it when there is none, so it is
// read only when the snapshot may have written to it.
void ReportNotArchived(ICairnArchive* archive, uint64_t start);

}  // namespace cn
}  // namespace cairn
