// cn /r: writes the files and folders of a snapshot back to where they were archived from.
#pragma once

#include <string>
#include <vector>

#include "cairn.h"

namespace cairn {
namespace cn {

// Restores each item (kSnapshotMarker: the newest live snapshot, nothing when there is none;
// else the snapshot with that stored name;number) in order on one snapshot enumerator. False
// after the first failure, which ends the run (also a damaged archive); its messages have been
// printed.
bool RestoreSnapshots(IEnumSnapShots* snapshots, const std::vector<std::string>& items, const std::string& archive);

}  // namespace cn
}  // namespace cairn
