// The archive's free list held in memory as well, ordered for the heap's questions, so that a
// search for room or a merge looks at the blocks it needs instead of walking (and, after each
// growth of the file, faulting in) every FreeBlock. Its answers are exactly those of the walks:
// the same block, by the same rules, ties going to the block met first from the list's head.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "FreeAreaTree.h"

namespace cairn {

class FreeListIndex {
 public:
  // The block lowest in the archive whose area holds length bytes (length > 0); 0 when none is
  // long enough.
  uint32_t LowestFit(uint32_t length) const;
  // The first block, in list order, whose area ends at end (0: none).
  uint32_t EndingAt(uint64_t end) const;
  // The first block, in list order, whose area starts at start (0: none).
  uint32_t StartingAt(uint64_t start) const;
  // Every empty block whose start lies behind offset, in no particular order.
  std::vector<uint32_t> EmptyBehind(uint32_t offset) const;
  // The first block of length 0 in list order, or 0.
  uint32_t FirstEmpty() const;
  // True when a FreeBlock record overlaps the length bytes at offset.
  bool Overlaps(uint32_t offset, uint32_t length) const;
  // True when the area of a block overlaps the length bytes at offset.
  bool AreaOverlaps(uint32_t offset, uint32_t length) const;

  uint32_t Start(uint32_t record) const { return blocks_.at(record).start; }
  uint32_t Length(uint32_t record) const { return blocks_.at(record).length; }

  // A block behind all others (building the index from the head) or at the head.
  void Append(uint32_t record, uint32_t start, uint32_t length) { Insert(record, start, length, ++back_); }
  void Prepend(uint32_t record, uint32_t start, uint32_t length) { Insert(record, start, length, front_--); }
  // A block changed in place.
  void Update(uint32_t record, uint32_t start, uint32_t length);

 private:
  struct Block {
    int64_t order;  // position in the list: smaller is nearer the head
    uint32_t start;
    uint32_t length;
  };
  void Insert(uint32_t record, uint32_t start, uint32_t length, int64_t order);
  void Unlink(uint32_t record, const Block& block);
  uint32_t RecordAt(int64_t order) const { return byOrder_.at(order); }

  std::map<uint32_t, Block> blocks_;  // by record offset
  std::map<int64_t, uint32_t> byOrder_;
  std::set<std::pair<uint32_t, int64_t>> byLength_;
  std::set<std::pair<uint64_t, int64_t>> byEnd_;
  std::set<std::pair<uint64_t, int64_t>> byStart_;
  FreeAreaTree areas_;  // the blocks that are not empty, for LowestFit
  int64_t front_ = 0;
  int64_t back_ = 0;
};

}  // namespace cairn
