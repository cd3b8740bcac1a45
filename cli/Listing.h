// cn /l: the snapshots of an archive, or the top-level objects of one snapshot.
#pragma once

#include <string>
#include <vector>

#include "cairn.h"

namespace cairn {
namespace cn {

// Lists each item (kSnapshotMarker: every live snapshot; else a stored name;number: that
// snapshot's objects) in order on one snapshot enumerator, which is not reset between items.
// False after a failure that ends the run (also a damaged archive); its message has been printed.
bool ListSnapshots(IEnumSnapShots* snapshots, const std::vector<std::string>& items, const std::string& archive);

}  // namespace cn
}  // namespace cairn
