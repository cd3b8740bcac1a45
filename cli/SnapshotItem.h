// The snapshot a /l or /r item names by its stored name.
#pragma once

#include <string>

#include "ComPtr.h"
#include "cairn.h"

namespace cairn {
namespace cn {

// Finds the snapshot whose stored name is the item's first path component, searching on from the
// shared enumerator's position. When there is none, prints "Snapshot, <item> does not exists";
// when the snapshots cannot be walked (a damaged archive), the enumerator failure for the archive
// as typed; false either way.
bool FindNamedSnapshot(IEnumSnapShots* snapshots, const std::string& item, const std::string& archive,
                       ComPtr<ICairnSnapShot>* snapshot);

// Prints the failure of walking an archive's snapshots: "Failed to get snapshot enumerator for
// <archive>".
void SnapshotWalkFailed(const std::string& archive);

}  // namespace cn
}  // namespace cairn
