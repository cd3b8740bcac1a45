#include "ArchiveCoverage.h"

#include <algorithm>

#include "Revisions.h"

namespace cairn {
namespace {

// Hands the block of every record the walk reaches to blocks (Free for a free block's record
// and area, Add for everything else), and passes the walk on.
template <class Blocks>
class Collector final : public ArchiveVisitor {
 public:
  Collector(Blocks& blocks, ArchiveVisitor* also) : blocks_(blocks), also_(also) {}

  void Cover(uint32_t offset, uint64_t length) {
    if (offset != 0 && length != 0) blocks_.Add(ByteRange{offset, static_cast<uint32_t>(length)});
  }

  void OnFreeBlock(const FreeBlock& block) override {
    blocks_.Free(block);
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
  Blocks& blocks_;
  ArchiveVisitor* also_;
};

// Every covered block, for the map.
struct AllBlocks {
  std::vector<ByteRange> blocks;
  void Add(const ByteRange& range) { blocks.push_back(range); }
  void Free(const FreeBlock& block) {
    Add(ByteRange{block.Offset(), FreeBlock::kSize});
    if (block.Start() != 0 && block.Length() != 0) Add(ByteRange{block.Start(), block.Length()});
  }
};

bool Intersect(const ByteRange& a, const ByteRange& b) {
  return static_cast<uint64_t>(a.start) + a.length > b.start && static_cast<uint64_t>(b.start) + b.length > a.start;
}

// The free list's test without the map: each block the walk reaches is looked up among the free
// records and areas (which the walk meets first, and which are few beside the records of an
// archive), so nothing is kept or sorted per record. A free record or area that meets the header
// or another block of any kind, or an area that passes the end, makes the list unsound: the
// blocks that the map's overlaps would name. (An area at offset 0, which the map leaves
// uncovered, is left alone here too: the heap never hands it out.)
class FreeListTest {
 public:
  explicit FreeListTest(const ArchiveHeap& heap) : heap_(heap) {}
  bool unsound = false;

  void Free(const FreeBlock& block) {
    free_.push_back(ByteRange{block.Offset(), FreeBlock::kSize});
    if (block.Length() == 0) return;  // an empty record hands out nothing, wherever its area starts
    if (!heap_.Contains(block.Start(), block.Length())) unsound = true;
    if (block.Start() != 0) free_.push_back(ByteRange{block.Start(), block.Length()});
  }
  void Add(const ByteRange& range) {
    if (unsound) return;
    Sort();
    // The free blocks do not overlap one another, so only the last that starts before the
    // range's end can reach into it.
    const auto after = std::upper_bound(free_.begin(), free_.end(), static_cast<uint64_t>(range.start) + range.length - 1,
                                        [](uint64_t at, const ByteRange& r) { return at < r.start; });
    if (after != free_.begin() && Intersect(*std::prev(after), range)) unsound = true;
  }
  // Called by the first Add (the walk meets every free block before anything else) or at the end.
  void Sort() {
    if (sorted_) return;
    sorted_ = true;
    std::sort(free_.begin(), free_.end(), [](const ByteRange& a, const ByteRange& b) { return a.start < b.start; });
    // The header is live bytes too.
    if (!free_.empty() && free_.front().start < header::kSize) unsound = true;
    for (size_t i = 1; i < free_.size(); ++i)
      if (Intersect(free_[i - 1], free_[i])) unsound = true;
  }

 private:
  const ArchiveHeap& heap_;
  std::vector<ByteRange> free_;
  bool sorted_ = false;
};

}  // namespace

uint64_t ArchiveCoverage::GapBytes() const {
  uint64_t total = 0;
  for (const ByteRange& gap : gaps) total += gap.length;
  return total;
}

HRESULT MapCoverage(ArchiveHeap& heap, ArchiveCoverage* coverage, ArchiveVisitor* also) {
  *coverage = ArchiveCoverage();
  AllBlocks all;
  Collector<AllBlocks> collector(all, also);
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

  std::vector<ByteRange>& blocks = all.blocks;
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
  FreeListCollector list;
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
  FreeListCollector list;  // only for damage to the chain itself
  FreeListTest test(heap);
  Collector<FreeListTest> collector(test, &list);
  if (WalkArchive(heap, collector) == kArchiveClosed) return kArchiveClosed;
  // A revision switch that was under way keeps its journal until the switch is finished.
  const uint32_t journal = heap.HeaderField(header::kReserved);
  if (journal >= header::kSize && heap.Contains(journal, kSwitchSize))
    collector.Cover(journal, SwitchJournalSize(heap, journal));
  test.Sort();  // a list with nothing else in the archive is still checked
  return !list.damaged && !test.unsound ? S_OK : kCorruptArchive;
}

}  // namespace cairn
