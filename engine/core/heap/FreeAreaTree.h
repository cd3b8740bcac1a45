// The free list's non-empty areas ordered by where they start, each subtree knowing its longest
// area, so that the lowest area long enough for a request is found in a number of steps that
// grows with the logarithm of the list's length, whatever the lengths of the areas below it.
// A treap whose priorities are a hash of the key under a random seed of each tree: an archive
// cannot choose its starts so that the tree degenerates into a list (which would make every
// step as long as the list, and its recursion as deep). Its answers do not depend on its shape.
#pragma once

#include <cstdint>
#include <vector>

namespace cairn {

class FreeAreaTree {
 public:
  FreeAreaTree();
  // Areas are told apart by their start and then their record.
  void Insert(uint32_t start, uint32_t record, uint32_t length);
  void Erase(uint32_t start, uint32_t record);
  // The record of the area that starts lowest among those of at least length bytes; 0: none.
  uint32_t LowestFit(uint32_t length) const;

 private:
  static constexpr uint32_t kNone = UINT32_MAX;
  struct Node {
    uint64_t key;  // start, then record
    uint32_t length;
    uint32_t longest;  // of the subtree
    uint32_t priority;
    uint32_t left, right;
  };
  static uint64_t Key(uint32_t start, uint32_t record) { return (static_cast<uint64_t>(start) << 32) | record; }
  uint32_t Longest(uint32_t node) const { return node == kNone ? 0 : nodes_[node].longest; }
  void Refresh(uint32_t node);
  // Splits tree into the keys below key and those from key on.
  void Split(uint32_t tree, uint64_t key, uint32_t* below, uint32_t* from);
  uint32_t Merge(uint32_t below, uint32_t above);

  uint32_t Priority(uint64_t key) const;

  const uint64_t seed_;
  std::vector<Node> nodes_;
  std::vector<uint32_t> spare_;  // nodes of erased areas, for reuse
  uint32_t root_ = kNone;
};

}  // namespace cairn
