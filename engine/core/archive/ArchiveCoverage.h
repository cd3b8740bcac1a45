// Which bytes of an archive its reachable records cover: every record, string, data block, free
// area and switch journal that the header leads to. Bytes between them that nothing covers are
// lost space (left by a process that stopped before linking what it had written, or by a failed
// operation); bytes that two blocks cover mean the archive is damaged.
#pragma once

#include <cstdint>
#include <vector>

#include "ArchiveHeap.h"
#include "ArchiveWalk.h"

namespace cairn {

struct ByteRange {
  uint32_t start = 0;
  uint32_t length = 0;
};

struct ArchiveCoverage {
  // The end of the highest covered block: where an archive at rest ends.
  uint32_t logicalEnd = header::kSize;
  // Runs of bytes behind the header and before logicalEnd that nothing covers, in order.
  std::vector<ByteRange> gaps;
  // Runs of bytes that more than one block covers, in order.
  std::vector<ByteRange> overlaps;

  uint64_t GapBytes() const;
};

// Walks the whole archive and maps what it covers. Every event of the walk is passed on to also,
// when given. Returns the walk's result: S_OK when every link is sound, kCorruptArchive when the
// walk found damage (the map then holds what it could reach), kArchiveClosed.
HRESULT MapCoverage(ArchiveHeap& heap, ArchiveCoverage* coverage, ArchiveVisitor* also = nullptr);

// The logical end found by walking the whole archive. kCorruptArchive when the walk finds a
// problem (nothing may be cut from a damaged archive), kArchiveClosed when the heap is closed.
HRESULT FindLogicalEnd(ArchiveHeap& heap, uint32_t* end);

// Returns what nothing covers to the archive: the bytes past the highest covered block are cut
// off the logical end (empty free records that pointed into them then point at the new end),
// and every gap below it goes to the free list. Only a sound archive whose
// blocks do not overlap is changed; otherwise kCorruptArchive and nothing is freed. reclaimed,
// when given, receives the number of bytes returned.
HRESULT ReclaimUnreachable(ArchiveHeap& heap, uint64_t* reclaimed = nullptr);

// A free block as the list holds it: the offset of its record and the area it describes.
struct FreeSpan {
  uint32_t record = 0;
  ByteRange area;
};

// Collects the free list's blocks as a walk meets them, and whether the chain itself is damaged:
// a link out of the archive data or a loop. A link past the end is no less damage than one into
// live bytes: once the archive grows, it names new ones.
class FreeListCollector final : public ArchiveVisitor {
 public:
  std::vector<FreeSpan> blocks;
  bool damaged = false;
  void OnFreeBlock(const FreeBlock& block) override {
    blocks.push_back(FreeSpan{block.Offset(), ByteRange{block.Start(), block.Length()}});
  }
  void OnProblem(const std::string& what, uint32_t) override {
    if (what == "free list") damaged = true;
  }
};

// Why a free block must not be allocated from.
enum class FreeFault {
  kOverlap,  // its record or area overlaps something else: a live record, string or data block,
             // or another free block
  kPastEnd,  // its record or area passes the end of the archive data
};

struct UnsoundFreeBlock {
  FreeSpan block;
  FreeFault fault = FreeFault::kOverlap;
};

// The free blocks, as a walk met them, that allocating from would hand out bytes something else
// holds: those whose record or area lies in an overlap of the coverage mapped by the same walk,
// or passes the end of the archive data (the area of an empty record, which hands out nothing,
// may lie anywhere). In the order given.
std::vector<UnsoundFreeBlock> FindUnsoundFreeBlocks(const ArchiveHeap& heap, const ArchiveCoverage& coverage,
                                                    const std::vector<FreeSpan>& blocks);

// Whether the free list may be allocated from: kCorruptArchive when any free block is unsound
// (see FindUnsoundFreeBlocks). Other damage the walk meets is left to the operations it concerns.
// kArchiveClosed when closed. It only reads.
HRESULT CheckFreeList(ArchiveHeap& heap);

}  // namespace cairn
