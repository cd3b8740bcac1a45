#include "ArchiveEnd.h"

#include <algorithm>

#include "ArchiveWalk.h"
#include "Revisions.h"

namespace cairn {
namespace {

class EndFinder final : public ArchiveVisitor {
 public:
  uint64_t end = header::kSize;

  void Cover(uint32_t offset, uint64_t length) {
    if (offset != 0) end = std::max(end, offset + length);
  }
  void OnFreeBlock(const FreeBlock& block) override {
    Cover(block.Offset(), FreeBlock::kSize);
    if (block.Length() != 0) Cover(block.Start(), block.Length());
  }
  void OnSnapshot(const SnapshotRecord& snapshot, const std::string& name, const std::string& comment) override {
    Cover(snapshot.Offset(), SnapshotRecord::kSize);
    Cover(snapshot.Name(), name.size() + 1);
    Cover(snapshot.Comment(), comment.size() + 1);
  }
  void OnListNode(const ListNode& node) override { Cover(node.Offset(), ListNode::kSize); }
  void OnObject(const ObjectRecord& object, const std::string& name) override {
    Cover(object.Offset(), ObjectRecord::kSize);
    Cover(object.Name(), name.size() + 1);
  }
  void OnRevision(const ObjectRecord&, const RevisionRecord& revision) override {
    Cover(revision.Offset(), RevisionRecord::kSize);
  }
  void OnDifference(const RevisionRecord&, const DifferenceRecord& difference) override {
    Cover(difference.Offset(), DifferenceRecord::kSize);
    if (difference.Kind() != difference_kind::kDeletion) Cover(difference.Data(), difference.Length());
  }
};

}  // namespace

HRESULT FindLogicalEnd(ArchiveHeap& heap, uint32_t* end) {
  *end = 0;
  EndFinder finder;
  const HRESULT hr = WalkArchive(heap, finder);
  if (hr != S_OK) return hr;
  // A revision switch that was under way keeps its journal until the switch is finished.
  const uint32_t journal = heap.HeaderField(header::kReserved);
  if (journal != 0) {
    if (!heap.Contains(journal, kSwitchSize)) return kCorruptArchive;
    finder.Cover(journal, kSwitchSize);
  }
  *end = static_cast<uint32_t>(finder.end);
  return S_OK;
}

}  // namespace cairn
