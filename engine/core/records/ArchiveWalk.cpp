#include "ArchiveWalk.h"

#include <deque>

#include "OffsetSet.h"

namespace cairn {
namespace {

class Walker {
 public:
  Walker(ArchiveHeap& heap, ArchiveVisitor& visitor) : heap_(heap), visitor_(visitor) {}

  HRESULT Run() {
    if (!heap_.IsOpen()) return kArchiveClosed;
    Check(ForEach<FreeBlock>(heap_, heap_.HeaderField(header::kFreeList), [&](FreeBlock& block) {
      if (block.Start() < header::kSize || !heap_.Contains(block.Start(), block.Length()))
        Problem("free block area", block.Offset());
      visitor_.OnFreeBlock(block);
      return Once(seenFreeBlocks_, block.Offset(), "free list");
    }), "free list", heap_.HeaderField(header::kFreeList));

    uint32_t older = 0;
    Check(ForEach<SnapshotRecord>(heap_, heap_.HeaderField(header::kSnapshotList), [&](SnapshotRecord& snapshot) {
      HRESULT hr = Once(seenSnapshots_, snapshot.Offset(), "snapshot list");
      if (hr != S_OK) return hr;
      if (snapshot.Previous() != older) Problem("snapshot back link", snapshot.Offset());
      older = snapshot.Offset();
      std::string name, comment;
      if (FAILED(ReadString(heap_, snapshot.Name(), &name))) Problem("snapshot name", snapshot.Offset());
      if (FAILED(ReadString(heap_, snapshot.Comment(), &comment))) Problem("snapshot comment", snapshot.Offset());
      visitor_.OnSnapshot(snapshot, name, comment);
      WalkNodes(snapshot.Entries(), "snapshot entries", [&](const ObjectRecord& object) {
        visitor_.OnEntry(snapshot, object);
      });
      return S_OK;
    }), "snapshot list", heap_.HeaderField(header::kSnapshotList));

    WalkNodes(heap_.HeaderField(header::kNamedStreams), "named streams",
              [&](const ObjectRecord& object) { visitor_.OnNamedStream(object); });

    while (!pending_.empty()) {
      ObjectRecord object(heap_, pending_.front());
      pending_.pop_front();
      WalkObject(object);
    }
    return sound_ ? S_OK : kCorruptArchive;
  }

 private:
  void Problem(const char* what, uint32_t offset) {
    sound_ = false;
    visitor_.OnProblem(what, offset);
  }

  void Check(HRESULT hr, const char* what, uint32_t offset) {
    if (hr == kCorruptArchive) Problem(what, offset);
  }

  // Each record belongs to one list; meeting it twice means the lists overlap or loop.
  HRESULT Once(OffsetSet& seen, uint32_t offset, const char* what) {
    if (seen.Insert(offset)) return S_OK;
    Problem(what, offset);
    return S_FALSE;
  }

  // Walks a list of ListNodes, queueing each object it names and passing it to found.
  template <class Found>
  void WalkNodes(uint32_t first, const char* what, Found&& found) {
    Check(ForEach<ListNode>(heap_, first, [&](ListNode& node) {
      HRESULT hr = Once(seenNodes_, node.Offset(), what);
      if (hr != S_OK) return hr;
      visitor_.OnListNode(node);
      ObjectRecord object(heap_, node.Object());
      if (!object.IsValid()) {
        Problem("object link", node.Offset());
        return S_OK;
      }
      found(object);
      if (seenObjects_.Insert(object.Offset())) pending_.push_back(object.Offset());
      return S_OK;
    }), what, first);
  }

  void WalkObject(const ObjectRecord& object) {
    std::string name;
    if (FAILED(ReadString(heap_, object.Name(), &name))) Problem("object name", object.Offset());
    visitor_.OnObject(object, name);
    uint32_t previous = 0;
    Check(ForEach<RevisionRecord>(heap_, object.OldestRevision(), [&](RevisionRecord& revision) {
      HRESULT hr = Once(seenRevisions_, revision.Offset(), "revision chain");
      if (hr != S_OK) return hr;
      if (revision.Previous() != previous) Problem("revision back link", revision.Offset());
      previous = revision.Offset();
      visitor_.OnRevision(object, revision);
      Check(ForEach<DifferenceRecord>(heap_, revision.Differences(), [&](DifferenceRecord& difference) {
        HRESULT found = Once(seenDifferences_, difference.Offset(), "difference list");
        if (found != S_OK) return found;
        if (!difference.HasSoundData()) Problem("difference data", difference.Offset());
        visitor_.OnDifference(revision, difference);
        return S_OK;
      }), "difference list", revision.Differences());
      WalkNodes(revision.Children(), "child list",
                [&](const ObjectRecord& child) { visitor_.OnChild(revision, child); });
      return S_OK;
    }), "revision chain", object.OldestRevision());
  }

  ArchiveHeap& heap_;
  ArchiveVisitor& visitor_;
  bool sound_ = true;
  std::deque<uint32_t> pending_;
  OffsetSet seenFreeBlocks_, seenSnapshots_, seenNodes_, seenObjects_,
      seenRevisions_, seenDifferences_;
};

}  // namespace

HRESULT WalkArchive(ArchiveHeap& heap, ArchiveVisitor& visitor) {
  return Walker(heap, visitor).Run();
}

}  // namespace cairn
