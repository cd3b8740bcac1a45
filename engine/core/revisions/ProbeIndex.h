// Where a probe of 64 bytes first occurs within the 8 KB of a content that follow a position.
// The difference pass asks this twice for every 64 bytes of a run of changes, each time 64 bytes
// further on, so the 8 KB searched overlap the last ones by all but 64 bytes. The index keeps the
// hashes of the content's aligned 16-byte blocks in that stretch and moves along with it (a few
// blocks in, a few out per step); any occurrence of a 64-byte probe covers a whole aligned block
// that begins within its first 16 bytes, so the probe's 16 pieces at offsets 0 to 15 name every
// candidate, and the candidates are checked byte for byte in increasing order. The answer is the
// first occurrence, exactly as trying every offset in turn finds it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ContentView.h"

namespace cairn {

class ProbeIndex {
 public:
  static constexpr uint32_t kProbe = 64;
  static constexpr uint32_t kWindow = 8192;

  ProbeIndex();

  // The first offset i, 0 ≤ i ≤ count − n, at which the n probe bytes occur in view from at on
  // (count bytes lie there), or −1 in *found. The probe must not lie in view's own runs. False when
  // the content cannot be read.
  bool Find(ContentView& view, uint32_t at, uint32_t count, const uint8_t* probe, uint32_t n, int64_t* found);

 private:
  static constexpr uint32_t kGrain = 16;
  static constexpr uint32_t kSlots = 1024;  // blocks held at most, a ring by block number
  static constexpr uint32_t kBuckets = 2048;
  static constexpr uint16_t kNone = 0xFFFF;
  // Past this many candidates (repeated patterns) the window is searched offset by offset.
  static constexpr size_t kMostCandidates = 64;

  // Makes the index hold exactly the blocks that lie wholly in [at, end).
  bool Cover(ContentView& view, uint32_t at, uint32_t end);
  void Clear();
  void Add(uint32_t block, uint32_t hash);
  void Expire(uint32_t block);
  bool Search(ContentView& view, uint32_t at, uint32_t count, const uint8_t* probe, uint32_t n, int64_t* found);

  uint32_t lo_ = 0, hi_ = 0;  // blocks [lo_, hi_) are held
  uint32_t slotHash_[kSlots];
  uint16_t slotNext_[kSlots];
  uint16_t head_[kBuckets];
  uint16_t tail_[kBuckets];
  std::vector<uint8_t> scratch_;
  std::vector<int64_t> candidates_;
};

// The first offset at which the n probe bytes occur in the size bytes of text, or −1, trying
// offsets in increasing order (Horspool's skips, then a linear search where skips stay short).
int64_t FindFirst(const uint8_t* text, uint32_t size, const uint8_t* probe, uint32_t n);

}  // namespace cairn
