#include "ArchiveCoverage.h"

#include <algorithm>

#include "Revisions.h"

namespace cairn {
namespace {

// Collects the block of every record the walk reaches, and passes the walk on.
class Collector final : public ArchiveVisitor {
 public:
  explicit Collector(ArchiveVisitor* also) : also_(also) {}

  std::vector<ByteRange> blocks;

  void Cover(uint32_t offset, uint64_t length) {
    if (offset != 0 && length != 0) blocks.push_back(ByteRange{offset, static_cast<uint32_t>(length)});
  }

  void OnFreeBlock(const FreeBlock& block) override {
    Cover(block.Offset(), FreeBlock::kSize);
    Cover(block.Start(), block.Length());
    if (also_) also_->OnFreeBlock(block);
  }
  void OnSnapshot(const SnapshotRecord& snapshot, const std::string& name, const std::string& comment) override {
    Cover(snapshot.Offset(), SnapshotRecord::kSize);
    Cover(snapshot.Name(), name.size() + 1);
    Cover(snapshot.Comment(), comment.size() + 1);
    if (also_) also_->OnSnapshot(snapshot, name, comment);
  }
  void OnEntry(const SnapshotRecord& snapshot, const ObjectRecord& object) override {
    if (also_) also_->OnEntry(snapshot, object);
  }
  void OnNamedStream(const ObjectRecord& object) override {
    if (also_) also_->OnNamedStream(object);
  }
  void OnListNode(const ListNode& node) override {
    Cover(node.Offset(), ListNode::kSize);
    if (also_) also_->OnListNode(node);
  }
  void OnObject(const ObjectRecord& object, const std::string& name) override {
    Cover(object.Offset(), ObjectRecord::kSize);
    Cover(object.Name(), name.size() + 1);
    if (also_) also_->OnObject(object, name);
  }
  void OnRevision(const ObjectRecord& object, const RevisionRecord& revision) override {
    Cover(revision.Offset(), RevisionRecord::kSize);
    if (also_) also_->OnRevision(object, revision);
  }
  void OnDifference(const RevisionRecord& revision, const DifferenceRecord& difference) override {
    Cover(difference.Offset(), DifferenceRecord::kSize);
    if (difference.Kind() != difference_kind::kDeletion) Cover(difference.Data(), difference.Length());
    if (also_) also_->OnDifference(revision, difference);
  }
  void OnChild(const RevisionRecord& revision, const ObjectRecord& child) override {
    if (also_) also_->OnChild(revision, child);
  }
  void OnProblem(const std::string& what, uint32_t offset) override {
    if (also_) also_->OnProblem(what, offset);
  }

 private:
  ArchiveVisitor* also_;
};

// Collects the free list's blocks.
class FreeCollector final : public ArchiveVisitor {
 public:
  std::vector<FreeSpan> blocks;
  // The chain itself is damaged: a link out of the archive data or a loop. A link past the end
  // is no less damage than one into live bytes: once the archive grows, it names new ones.
  bool damaged = false;
  void OnFreeBlock(const FreeBlock& block) override {
    blocks.push_back(FreeSpan{block.Offset(), ByteRange{block.Start(), block.Length()}});
  }
  void OnProblem(const std::string& what, uint32_t) override {
    if (what == "free list") damaged = true;
  }
};

bool Intersect(const ByteRange& a, const ByteRange& b) {
  return static_cast<uint64_t>(a.start) + a.length > b.start && static_cast<uint64_t>(b.start) + b.length > a.start;
}

}  // namespace

uint64_t ArchiveCoverage::GapBytes() const {
  uint64_t total = 0;
  for (const ByteRange& gap : gaps) total += gap.length;
  return total;
}

HRESULT MapCoverage(ArchiveHeap& heap, ArchiveCoverage* coverage, ArchiveVisitor* also) {
  *coverage = ArchiveCoverage();
  Collector collector(also);
  HRESULT hr = WalkArchive(heap, collector);
  if (hr == kArchiveClosed) return hr;
  // A revision switch that was under way keeps its journal until the switch is finished.
  const uint32_t journal = heap.HeaderField(header::kReserved);
  if (journal >= header::kSize) {
    if (heap.Contains(journal, kSwitchSize))
      collector.Cover(journal, SwitchJournalSize(heap, journal));
    else
      hr = kCorruptArchive;
  }

  std::vector<ByteRange>& blocks = collector.blocks;
  std::sort(blocks.begin(), blocks.end(), [](const ByteRange& a, const ByteRange& b) { return a.start < b.start; });
  uint64_t end = header::kSize;  // the end of everything covered so far
  for (const ByteRange& block : blocks) {
    const uint64_t blockEnd = static_cast<uint64_t>(block.start) + block.length;
    if (block.start > end) {
      coverage->gaps.push_back(ByteRange{static_cast<uint32_t>(end), static_cast<uint32_t>(block.start - end)});
    } else if (block.start < end) {
      const uint64_t overlapEnd = std::min(end, blockEnd);
      ByteRange overlap{block.start, static_cast<uint32_t>(overlapEnd - block.start)};
      // Runs that touch join, so a block covered three times is one run.
      if (!coverage->overlaps.empty() &&
          static_cast<uint64_t>(coverage->overlaps.back().start) + coverage->overlaps.back().length >= overlap.start) {
        ByteRange& last = coverage->overlaps.back();
        last.length = static_cast<uint32_t>(std::max<uint64_t>(last.start + static_cast<uint64_t>(last.length), overlapEnd) - last.start);
      } else {
        coverage->overlaps.push_back(overlap);
      }
    }
    end = std::max(end, blockEnd);
  }
  coverage->logicalEnd = static_cast<uint32_t>(std::min<uint64_t>(end, UINT32_MAX));
  return hr;
}

HRESULT FindLogicalEnd(ArchiveHeap& heap, uint32_t* end) {
  *end = 0;
  ArchiveCoverage coverage;
  const HRESULT hr = MapCoverage(heap, &coverage);
  if (hr != S_OK) return hr;
  *end = coverage.logicalEnd;
  return S_OK;
}

HRESULT ReclaimUnreachable(ArchiveHeap& heap, uint64_t* reclaimed) {
  if (reclaimed != nullptr) *reclaimed = 0;
  if (!heap.IsOpen()) return kArchiveClosed;
  if (!heap.IsWritable()) return E_ACCESSDENIED;
  ArchiveCoverage coverage;
  FreeCollector list;
  HRESULT hr = MapCoverage(heap, &coverage, &list);
  if (hr != S_OK) return hr;
  if (!coverage.overlaps.empty()) return kCorruptArchive;
  uint64_t total = 0;
  // The end first: freeing the gaps may allocate records of the free list, which may grow it.
  if (coverage.logicalEnd < heap.DataSize()) {
    // An empty record left where the cut bytes were (an exact fit used its area up) would point
    // past the new end, where every walk takes it for damage: it moves to the end, first.
    for (const FreeSpan& block : list.blocks)
      if (block.area.length == 0 && block.area.start > coverage.logicalEnd)
        heap.Write32(block.record, coverage.logicalEnd);
    total += heap.DataSize() - coverage.logicalEnd;
    hr = heap.CutLogicalEnd(coverage.logicalEnd);
    if (FAILED(hr)) return hr;
  }
  for (const ByteRange& gap : coverage.gaps) {
    hr = heap.Free(gap.start, gap.length);
    if (FAILED(hr)) break;
    total += gap.length;
  }
  if (reclaimed != nullptr) *reclaimed = total;
  return hr;
}

std::vector<UnsoundFreeBlock> FindUnsoundFreeBlocks(const ArchiveHeap& heap, const ArchiveCoverage& coverage,
                                                    const std::vector<FreeSpan>& blocks) {
  std::vector<UnsoundFreeBlock> unsound;
  for (const FreeSpan& block : blocks) {
    const ByteRange record{block.record, ArchiveHeap::kFreeBlockSize};
    // An empty record hands out nothing, wherever its area starts.
    const bool areaPastEnd = block.area.length != 0 && !heap.Contains(block.area.start, block.area.length);
    if (!heap.Contains(record.start, record.length) || areaPastEnd) {
      unsound.push_back(UnsoundFreeBlock{block, FreeFault::kPastEnd});
      continue;
    }
    // Overlaps are few (none in a sound archive), so each is compared with every free block.
    for (const ByteRange& overlap : coverage.overlaps) {
      if (Intersect(record, overlap) || (block.area.length != 0 && Intersect(block.area, overlap))) {
        unsound.push_back(UnsoundFreeBlock{block, FreeFault::kOverlap});
        break;
      }
    }
  }
  return unsound;
}

HRESULT CheckFreeList(ArchiveHeap& heap) {
  if (!heap.IsOpen()) return kArchiveClosed;
  if (heap.HeaderField(header::kFreeList) == 0) return S_OK;  // nothing is handed out but new bytes
  FreeCollector list;
  ArchiveCoverage coverage;
  if (MapCoverage(heap, &coverage, &list) == kArchiveClosed) return kArchiveClosed;
  return !list.damaged && FindUnsoundFreeBlocks(heap, coverage, list.blocks).empty() ? S_OK : kCorruptArchive;
}

}  // namespace cairn
