// How the extension turns what the engine holds into items: the snapshot and object item
// builders, and the walks over snapshots, objects and revisions that the levels need.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ComPtr.h"
#include "ItemId.h"
#include "StoredText.h"
#include "cairn.h"

namespace cairn {
namespace shell {

// An object's latest revision (its revision enumerator's Last(1)); null when it has none.
ComPtr<ICairnRevision> LatestRevision(ICairnObject* object);

// The status record of a revision's content; false when it cannot be read.
bool RevisionStat(ICairnRevision* revision, STATSTG* stat);

// How the archive's names are kept (its option 0x40); the code page when its options cannot be
// read.
StoredText NamesOf(ICairnArchive* archive);

// A snapshot by its stored name, or the latest (Last(1)); null when there is none.
ComPtr<ICairnSnapShot> SnapshotByName(ICairnArchive* archive, const std::string& name);
ComPtr<ICairnSnapShot> LatestSnapshot(ICairnArchive* archive);
// Stored names as the archive's names are kept; empty when they cannot be read.
std::string SnapshotName(ICairnSnapShot* snapshot, const StoredText& names);
std::string ObjectName(ICairnObject* object, const StoredText& names);

// What the created-in rule needs of every snapshot, in the engine's order.
struct SnapshotStamp {
  uint64_t stamp;  // as-at stamp, as a FILETIME's 64 bits
  int32_t number;
  std::string name;
  uint64_t created = 0;  // the creation time, whatever the stamp
};
std::vector<SnapshotStamp> SnapshotStamps(ICairnArchive* archive);

// The item of a snapshot, and of an object as one of its revisions shows it (with the extra
// attribute bits the level adds); its texts as the archive's names are kept.
std::vector<uint8_t> BuildSnapshotItem(ICairnSnapShot* snapshot, const StoredText& names);
std::vector<uint8_t> BuildObjectItem(ICairnObject* object, ICairnRevision* revision,
                                     const std::vector<SnapshotStamp>& snapshots, const StoredText& names,
                                     uint32_t extraAttributes = 0);

// True when one of the listed objects is a folder (its first revision says so); stops there.
bool AnyFolder(IEnumCairnObjects* objects);

}  // namespace shell
}  // namespace cairn
