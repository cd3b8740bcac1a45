// The snapshot a /l or /r item names by its stored name.
#pragma once

#include <string>

#include "ComPtr.h"
#include "cairn.h"

namespace cairn {
namespace cn {

// Finds the snapshot whose stored name is the item's first path component, searching on from the
// shared enumerator's position. When there is none, prints "Snapshot, <item> does not exists" and
// returns false.
bool FindNamedSnapshot(IEnumSnapShots* snapshots, const std::string& item, ComPtr<ICairnSnapShot>* snapshot);

}  // namespace cn
}  // namespace cairn
