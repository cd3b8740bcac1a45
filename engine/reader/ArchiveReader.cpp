#include "ArchiveReader.h"

#include "ArchiveWalk.h"
#include "Revisions.h"

namespace cairn {
namespace reader {
namespace {

// A rebuild's faults are already in its result; the reader has no log to add them to.
struct NoLog final : InternalErrors {
  void Report(const char*, int) override {}
};

}  // namespace

HRESULT OpenForReading(PlatformFiles& files, const std::string& path, std::unique_ptr<ArchiveHeap>* heap) {
  return ArchiveHeap::Open(files, path, false, false, heap);
}

HRESULT ReadSnapshots(ArchiveHeap& heap, std::vector<SnapshotInfo>* snapshots) {
  snapshots->clear();
  return ForEach<SnapshotRecord>(heap, heap.HeaderField(header::kSnapshotList), [&](SnapshotRecord& record) {
    SnapshotInfo info;
    info.record = record.Offset();
    if (FAILED(ReadString(heap, record.Name(), &info.name))) return kCorruptArchive;
    if (record.Comment() != 0 && FAILED(ReadString(heap, record.Comment(), &info.comment))) return kCorruptArchive;
    info.created = record.Created();
    info.asAt = record.AsAt();
    info.live = (record.Flags() & snapshot_flags::kLive) != 0;
    snapshots->push_back(std::move(info));
    return S_OK;
  });
}

const SnapshotInfo* LatestLive(const std::vector<SnapshotInfo>& snapshots) {
  for (auto it = snapshots.rbegin(); it != snapshots.rend(); ++it)
    if (it->live) return &*it;
  return nullptr;
}

const SnapshotInfo* FindSnapshot(const std::vector<SnapshotInfo>& snapshots, const std::string& name) {
  for (const SnapshotInfo& snapshot : snapshots)
    if (snapshot.name == name) return &snapshot;
  return nullptr;
}

HRESULT RevisionAsAt(ArchiveHeap& heap, uint32_t object, Stamp asAt, uint32_t* revision) {
  *revision = 0;
  const ObjectRecord record(heap, object);
  if (!record.IsValid()) return kCorruptArchive;
  return ForEach<RevisionRecord>(heap, record.OldestRevision(), [&](RevisionRecord& r) {
    if (CompareStamps(r.AsAt(), asAt) > 0) return S_FALSE;
    *revision = r.Offset();
    return S_OK;
  }) == kCorruptArchive ? kCorruptArchive : S_OK;
}

HRESULT ReadChain(ArchiveHeap& heap, uint32_t object, std::vector<uint32_t>* chain) {
  chain->clear();
  const ObjectRecord record(heap, object);
  if (!record.IsValid()) return kCorruptArchive;
  return ForEach<RevisionRecord>(heap, record.OldestRevision(), [&](RevisionRecord& r) {
    chain->push_back(r.Offset());
    return S_OK;
  });
}

HRESULT ReadHeld(ArchiveHeap& heap, uint32_t firstNode, Stamp asAt, std::vector<HeldObject>* objects) {
  objects->clear();
  return ForEach<ListNode>(heap, firstNode, [&](ListNode& node) {
    HeldObject held;
    held.object = node.Object();
    const ObjectRecord object(heap, held.object);
    if (!object.IsValid() || FAILED(ReadString(heap, object.Name(), &held.name))) return kCorruptArchive;
    HRESULT hr = RevisionAsAt(heap, held.object, asAt, &held.revision);
    if (FAILED(hr)) return hr;
    objects->push_back(std::move(held));
    return S_OK;
  });
}

HRESULT ReadStat(ArchiveHeap& heap, uint32_t revision, StatBlock* stat) {
  return RevisionRecord(heap, revision).ReadStat(stat) ? S_OK : kCorruptArchive;
}

HRESULT ReadContent(ArchiveHeap& heap, uint32_t revision, ContentStore& out, WorkerPool* pool) {
  StatBlock stat;
  HRESULT hr = ReadStat(heap, revision, &stat);
  if (FAILED(hr)) return hr;
  NoLog log;
  hr = RebuildContent(heap, revision, out, log, "reader", pool);
  if (FAILED(hr)) return hr;
  return out.Size() == stat.size ? S_OK : kCorruptArchive;
}

}  // namespace reader
}  // namespace cairn
