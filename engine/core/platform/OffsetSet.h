// A set of archive offsets in one flat table (open addressing), for walks that meet hundreds of
// thousands of records: unlike a node-based set, it allocates nothing per offset, which under
// Windows' heap costs more than the walk itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cairn {

class OffsetSet {
 public:
  // True when offset was not in the set before. Throws std::bad_alloc when the table cannot grow.
  bool Insert(uint32_t offset) {
    if (offset == 0) {  // the mark of an empty slot, held aside
      const bool had = hasZero_;
      hasZero_ = true;
      return !had;
    }
    if ((count_ + 1) * 2 > slots_.size()) Grow();
    for (size_t i = Slot(offset);; i = (i + 1) & (slots_.size() - 1)) {
      if (slots_[i] == offset) return false;
      if (slots_[i] == 0) {
        slots_[i] = offset;
        ++count_;
        return true;
      }
    }
  }
  bool Contains(uint32_t offset) const {
    if (offset == 0) return hasZero_;
    if (slots_.empty()) return false;
    for (size_t i = Slot(offset);; i = (i + 1) & (slots_.size() - 1)) {
      if (slots_[i] == offset) return true;
      if (slots_[i] == 0) return false;
    }
  }

 private:
  size_t Slot(uint32_t offset) const {
    return static_cast<size_t>((offset * 0x9E3779B97F4A7C15ull) >> (64 - bits_));
  }
  void Grow() {
    std::vector<uint32_t> old;
    old.swap(slots_);
    bits_ = old.empty() ? 6 : bits_ + 1;
    slots_.assign(size_t(1) << bits_, 0);
    count_ = 0;
    for (uint32_t offset : old)
      if (offset != 0) Insert(offset);
  }

  std::vector<uint32_t> slots_;
  unsigned bits_ = 0;
  size_t count_ = 0;
  bool hasZero_ = false;
};

}  // namespace cairn
