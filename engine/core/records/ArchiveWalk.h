// Safe walks over the linked lists of an archive. Every node is checked to lie inside the
// archive, behind the header, with room for its whole record, before it is read; a list that
// loops ends the walk with kCorruptArchive as soon as the loop is closed.
#pragma once

#include <cstdint>
#include <string>

#include "ArchiveRecords.h"
#include "LoopCheck.h"

namespace cairn {

// Calls visit(R&) for each record of the list that starts at first and is linked by Next().
// visit returns S_OK to go on, S_FALSE to stop early (ForEach then returns S_FALSE), or a
// failure, which ForEach returns. A link to a record that is not wholly inside the archive data
// behind the header, or a loop, is kCorruptArchive.
template <class R, class Visit>
HRESULT ForEach(ArchiveHeap& heap, uint32_t first, Visit&& visit) {
  LoopCheck loop;
  loop.Restart(first);
  for (uint32_t at = first; at != 0;) {
    R record(heap, at);
    if (!record.IsValid()) return kCorruptArchive;
    // Long lists wait on memory: the next record is fetched while this one is visited.
    heap.Prefetch(record.Next());
    HRESULT hr = visit(record);
    if (hr != S_OK) return hr;
    at = record.Next();
    if (!loop.Step(at)) return kCorruptArchive;
  }
  return S_OK;
}

// What a walk over the whole archive reports, in this order: the free list; each snapshot with
// its entries; the named streams; then every object reached from those, once, with its revision
// chain, each revision's differences and children. Problems are reported where they are found
// and the walk goes on with whatever else it can reach.
class ArchiveVisitor {
 public:
  virtual ~ArchiveVisitor() = default;
  virtual void OnFreeBlock(const FreeBlock&) {}
  virtual void OnSnapshot(const SnapshotRecord&, const std::string& /*name*/, const std::string& /*comment*/) {}
  virtual void OnEntry(const SnapshotRecord&, const ObjectRecord&) {}
  virtual void OnNamedStream(const ObjectRecord&) {}
  virtual void OnObject(const ObjectRecord&, const std::string& /*name*/) {}
  virtual void OnRevision(const ObjectRecord&, const RevisionRecord&) {}
  virtual void OnDifference(const RevisionRecord&, const DifferenceRecord&) {}
  virtual void OnChild(const RevisionRecord&, const ObjectRecord&) {}
  // Each ListNode of the snapshot entries, named streams and child lists, before its object.
  virtual void OnListNode(const ListNode&) {}
  // what names the list or record at fault, offset where it is.
  virtual void OnProblem(const std::string& /*what*/, uint32_t /*offset*/) {}
};

// Walks everything reachable from the header. Returns S_OK when the archive is sound, else
// kCorruptArchive (after reporting each problem), or kArchiveClosed.
HRESULT WalkArchive(ArchiveHeap& heap, ArchiveVisitor& visitor);

}  // namespace cairn
