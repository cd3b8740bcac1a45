#include "FreeAreaTree.h"

#include <algorithm>
#include <chrono>

namespace cairn {

// The seed comes from where the tree lies and when it was made, which an archive cannot know.
FreeAreaTree::FreeAreaTree()
    : seed_((reinterpret_cast<uintptr_t>(this) * 0x9E3779B97F4A7C15ull) ^
            static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())) {}

uint32_t FreeAreaTree::Priority(uint64_t key) const {
  key ^= seed_;
  key ^= key >> 33;
  key *= 0xFF51AFD7ED558CCDull;
  key ^= key >> 33;
  key *= 0xC4CEB9FE1A85EC53ull;
  key ^= key >> 33;
  return static_cast<uint32_t>(key);
}

void FreeAreaTree::Refresh(uint32_t node) {
  Node& n = nodes_[node];
  n.longest = std::max({n.length, Longest(n.left), Longest(n.right)});
}

void FreeAreaTree::Split(uint32_t tree, uint64_t key, uint32_t* below, uint32_t* from) {
  if (tree == kNone) {
    *below = *from = kNone;
    return;
  }
  if (nodes_[tree].key < key) {
    uint32_t rest = kNone;
    Split(nodes_[tree].right, key, &rest, from);
    nodes_[tree].right = rest;
    *below = tree;
  } else {
    uint32_t rest = kNone;
    Split(nodes_[tree].left, key, below, &rest);
    nodes_[tree].left = rest;
    *from = tree;
  }
  Refresh(tree);
}

uint32_t FreeAreaTree::Merge(uint32_t below, uint32_t above) {
  if (below == kNone) return above;
  if (above == kNone) return below;
  if (nodes_[below].priority > nodes_[above].priority) {
    nodes_[below].right = Merge(nodes_[below].right, above);
    Refresh(below);
    return below;
  }
  nodes_[above].left = Merge(below, nodes_[above].left);
  Refresh(above);
  return above;
}

void FreeAreaTree::Insert(uint32_t start, uint32_t record, uint32_t length) {
  const uint64_t key = Key(start, record);
  const Node node{key, length, length, Priority(key), kNone, kNone};
  uint32_t slot;
  if (!spare_.empty()) {
    slot = spare_.back();
    spare_.pop_back();
    nodes_[slot] = node;
  } else {
    slot = static_cast<uint32_t>(nodes_.size());
    nodes_.push_back(node);
  }
  uint32_t below = kNone, from = kNone;
  Split(root_, key, &below, &from);
  root_ = Merge(Merge(below, slot), from);
}

void FreeAreaTree::Erase(uint32_t start, uint32_t record) {
  const uint64_t key = Key(start, record);
  uint32_t below = kNone, from = kNone, above = kNone, found = kNone;
  Split(root_, key, &below, &from);
  Split(from, key + 1, &found, &above);
  if (found != kNone) spare_.push_back(found);  // keys are unique: found is one node
  root_ = Merge(below, above);
}

uint32_t FreeAreaTree::LowestFit(uint32_t length) const {
  uint32_t node = root_;
  if (Longest(node) < length) return 0;
  for (;;) {
    const Node& n = nodes_[node];
    if (Longest(n.left) >= length)
      node = n.left;
    else if (n.length >= length)
      return static_cast<uint32_t>(n.key);
    else
      node = n.right;  // the subtree holds a long enough area, and it is not on the left
  }
}

}  // namespace cairn
