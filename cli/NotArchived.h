// What a snapshot could not archive, told on standard error: the archive's log entries written
// while the snapshot ran, each one a line of cn's own.
#pragma once

#include <cstdint>

#include "cairn.h"

namespace cairn {
namespace cn {

// The log's length now, where the entries of a snapshot about to be taken begin; 0 when it
// cannot be had.
uint64_t LogEnd(ICairnArchive* archive);

// Prints one line for each object that the entries after `from` say was left out because its
// name cannot be stored.
void ReportNotArchived(ICairnArchive* archive, uint64_t from);

}  // namespace cn
}  // namespace cairn
