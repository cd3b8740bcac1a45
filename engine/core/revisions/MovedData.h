// Where a run of one content's bytes occurs anywhere ahead in another: the search behind the
// difference pass's option to find moved data, for insertions and deletions wider than its probe
// window. The other content's 64-byte blocks at every multiple of 128 bytes (from where the index
// is first needed to the end) are indexed by a rolling hash; a run of 191 bytes holds, at one of
// its first 128 offsets, a block that lines up with any occurrence of its first 64 bytes, so
// rolling the hash over those offsets names every candidate. Memory: 8 bytes per 128 bytes of
// content (16 MB for 256 MB), and 4 more while the index is built. No copy of either content.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ContentView.h"

namespace cairn {

class MovedDataIndex {
 public:
  static constexpr uint32_t kBlock = 64;
  static constexpr uint32_t kStride = 128;
  // Bytes of the run that name every candidate.
  static constexpr uint32_t kRun = kBlock + kStride - 1;

  // Indexes view's blocks from start on (once; later calls do nothing). False when the content
  // cannot be read; without memory for it the index stays empty, which finds nothing.
  bool Build(ContentView& view, uint32_t start);
  bool Built() const { return built_; }

  // The positions p ≥ from of the indexed content, at most most of them, in increasing order, at
  // which the count bytes of run (kBlock ≤ count ≤ kRun) may occur: the candidates to confirm.
  void Candidates(const uint8_t* run, uint32_t count, uint32_t from, size_t most, std::vector<uint32_t>* out) const;

 private:
  static constexpr uint32_t kNone = UINT32_MAX;
  // A bucket's chain is walked this far at most: many equal blocks (runs of one value) would
  // otherwise make each look-up as long as the content.
  static constexpr uint32_t kLongestWalk = 64;

  uint32_t Bucket(uint64_t hash) const { return static_cast<uint32_t>((hash * 0x9E3779B97F4A7C15ull) >> shift_); }
  static uint16_t Tag(uint64_t hash) { return static_cast<uint16_t>(hash >> 48); }

  bool built_ = false;
  uint32_t first_ = 0;                // position of block 0
  unsigned shift_ = 64;               // 64 minus the bucket bits
  std::vector<uint32_t> heads_;       // per bucket, its first block
  std::vector<uint32_t> next_;        // per block, the next block of its bucket (increasing)
  std::vector<uint16_t> tags_;        // per block, bits of its hash the bucket does not hold
};

// Whether the count bytes of x at px equal those of y at py (both inside their contents); *failed
// when a content cannot be read.
bool SameBytes(ContentView& x, uint32_t px, ContentView& y, uint32_t py, uint32_t count, bool* failed);

}  // namespace cairn
