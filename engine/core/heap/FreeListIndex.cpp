#include "FreeListIndex.h"

#include <iterator>
#include <limits>

namespace cairn {
namespace {
constexpr int64_t kFirst = std::numeric_limits<int64_t>::min();
}  // namespace

uint32_t FreeListIndex::LowestFit(uint32_t length) const { return areas_.LowestFit(length); }

uint32_t FreeListIndex::EndingAt(uint64_t end) const {
  const auto it = byEnd_.lower_bound({end, kFirst});
  return it != byEnd_.end() && it->first == end ? RecordAt(it->second) : 0;
}

uint32_t FreeListIndex::StartingAt(uint64_t start) const {
  const auto it = byStart_.lower_bound({start, kFirst});
  return it != byStart_.end() && it->first == start ? RecordAt(it->second) : 0;
}

std::vector<uint32_t> FreeListIndex::EmptyBehind(uint32_t offset) const {
  std::vector<uint32_t> found;
  for (auto it = byStart_.upper_bound({offset, std::numeric_limits<int64_t>::max()}); it != byStart_.end(); ++it)
    if (Length(RecordAt(it->second)) == 0) found.push_back(RecordAt(it->second));
  return found;
}

uint32_t FreeListIndex::FirstEmpty() const {
  const auto it = byLength_.lower_bound({0, kFirst});
  return it != byLength_.end() && it->first == 0 ? RecordAt(it->second) : 0;
}

bool FreeListIndex::Overlaps(uint32_t offset, uint32_t length) const {
  auto it = blocks_.lower_bound(offset);
  if (it != blocks_.end() && it->first < static_cast<uint64_t>(offset) + length) return true;
  // Records never overlap one another, so only the one just below can reach into the range.
  return it != blocks_.begin() && static_cast<uint64_t>(std::prev(it)->first) + 12 > offset;
}

bool FreeListIndex::AreaOverlaps(uint32_t offset, uint32_t length) const {
  // Areas never overlap one another, so only the last that starts before the end can reach in.
  for (auto it = byStart_.lower_bound({static_cast<uint64_t>(offset) + length, kFirst}); it != byStart_.begin();) {
    --it;
    const uint32_t areaLength = Length(RecordAt(it->second));
    if (areaLength != 0) return it->first + areaLength > offset;
  }
  return false;
}

void FreeListIndex::Insert(uint32_t record, uint32_t start, uint32_t length, int64_t order) {
  const Block block{order, start, length};
  blocks_[record] = block;
  byOrder_[order] = record;
  byLength_.insert({length, order});
  byEnd_.insert({static_cast<uint64_t>(start) + length, order});
  byStart_.insert({start, order});
  if (length != 0) areas_.Insert(start, record, length);
}

void FreeListIndex::Unlink(uint32_t record, const Block& block) {
  if (block.length != 0) areas_.Erase(block.start, record);
  byLength_.erase({block.length, block.order});
  byEnd_.erase({static_cast<uint64_t>(block.start) + block.length, block.order});
  byStart_.erase({block.start, block.order});
}

void FreeListIndex::Update(uint32_t record, uint32_t start, uint32_t length) {
  Block& block = blocks_.at(record);
  Unlink(record, block);
  block.start = start;
  block.length = length;
  byLength_.insert({length, block.order});
  byEnd_.insert({static_cast<uint64_t>(start) + length, block.order});
  byStart_.insert({start, block.order});
  if (length != 0) areas_.Insert(start, record, length);
}

}  // namespace cairn
