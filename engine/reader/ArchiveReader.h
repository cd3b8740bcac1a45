// Read-only navigation of an archive for programs that do not run the engine: its snapshots, what
// a snapshot holds, each object's revision as at a snapshot, a folder revision's children, and a
// revision's content. Portable; every link is checked before it is followed, so a damaged archive
// gives kCorruptArchive, never a stray read. Nothing here writes to the archive, so it reads
// beside a writer in another process.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ArchiveHeap.h"
#include "ArchiveRecords.h"
#include "ContentStore.h"
#include "WorkerPool.h"

namespace cairn {
namespace reader {

struct SnapshotInfo {
  uint32_t record = 0;
  std::string name;     // the stored name, "name;number"
  std::string comment;
  Stamp created;
  Stamp asAt;           // what orders it among revisions
  bool live = false;
};

// An object as some view holds it: its stored name and the revision that view holds (0 when the
// view holds none).
struct HeldObject {
  uint32_t object = 0;
  std::string name;
  uint32_t revision = 0;
};

// Opens the archive file at path for reading; a self-extracting one (a name ending in "xe") from
// its archive data on. Failures as ArchiveHeap::Open gives them.
HRESULT OpenForReading(PlatformFiles& files, const std::string& path, std::unique_ptr<ArchiveHeap>* heap);

// Every snapshot, oldest first.
HRESULT ReadSnapshots(ArchiveHeap& heap, std::vector<SnapshotInfo>* snapshots);

// The newest live snapshot, or null when there is none.
const SnapshotInfo* LatestLive(const std::vector<SnapshotInfo>& snapshots);

// The snapshot whose stored name is name, letter case respected; null when there is none.
const SnapshotInfo* FindSnapshot(const std::vector<SnapshotInfo>& snapshots, const std::string& name);

// The newest revision of object stamped no later than asAt (0 when there is none).
HRESULT RevisionAsAt(ArchiveHeap& heap, uint32_t object, Stamp asAt, uint32_t* revision);

// Every revision of object, oldest first.
HRESULT ReadChain(ArchiveHeap& heap, uint32_t object, std::vector<uint32_t>* chain);

// The objects of a list of ListNodes (a snapshot's entries, a revision's children), each with
// the revision it holds as at asAt.
HRESULT ReadHeld(ArchiveHeap& heap, uint32_t firstNode, Stamp asAt, std::vector<HeldObject>* objects);

// A revision's status block.
HRESULT ReadStat(ArchiveHeap& heap, uint32_t revision, StatBlock* stat);

// The content of revision, rebuilt into out (empty to start with); kCorruptArchive where the
// records do not rebuild it (or not to the size its status block states). Decompression runs on
// pool when one is given.
HRESULT ReadContent(ArchiveHeap& heap, uint32_t revision, ContentStore& out, WorkerPool* pool = nullptr);

}  // namespace reader
}  // namespace cairn
