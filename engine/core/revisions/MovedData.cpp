#include "MovedData.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace cairn {
namespace {

// A polynomial hash of 64 bytes, rolled one byte at a time: h = sum of b[i] * M^(63 - i).
constexpr uint64_t kMultiplier = 0x100000001B3ull * 2 + 1;

constexpr uint64_t Power(uint64_t base, unsigned exponent) {
  uint64_t result = 1;
  for (unsigned i = 0; i < exponent; ++i) result *= base;
  return result;
}
constexpr uint64_t kTop = Power(kMultiplier, MovedDataIndex::kBlock - 1);  // weight of a block's first byte

uint64_t HashBlock(const uint8_t* p) {
  uint64_t h = 0;
  for (uint32_t i = 0; i < MovedDataIndex::kBlock; ++i) h = h * kMultiplier + p[i];
  return h;
}

// The same value as HashBlock, in four independent lanes of 16 bytes joined by their weights,
// so that the multiplications of one block do not wait on each other.
constexpr uint32_t kLane = MovedDataIndex::kBlock / 4;
constexpr uint64_t kLaneWeight = Power(kMultiplier, kLane);
uint64_t HashBlockInLanes(const uint8_t* p) {
  uint64_t h0 = 0, h1 = 0, h2 = 0, h3 = 0;
  for (uint32_t i = 0; i < kLane; ++i) {
    h0 = h0 * kMultiplier + p[i];
    h1 = h1 * kMultiplier + p[kLane + i];
    h2 = h2 * kMultiplier + p[2 * kLane + i];
    h3 = h3 * kMultiplier + p[3 * kLane + i];
  }
  return ((h0 * kLaneWeight + h1) * kLaneWeight + h2) * kLaneWeight + h3;
}

}  // namespace

bool MovedDataIndex::Build(ContentView& view, uint32_t start) {
  if (built_) return true;
  built_ = true;
  first_ = start;
  const uint32_t size = view.Size();
  if (start > size || size - start < kBlock) return true;
  const uint32_t blocks = (size - start - kBlock) / kStride + 1;
  unsigned bits = 1;
  while (bits < 31 && (1u << bits) < blocks / 2) ++bits;
  shift_ = 64 - bits;
  // Each block's bucket is found first, in content order; the chains are then linked from the
  // last block back, so that each stays in increasing order with one visit to its head, which is
  // fetched ahead of its use (the heads are far larger than the processor's caches).
  std::vector<uint32_t> buckets;
  try {
    heads_.assign(size_t(1) << bits, kNone);
    next_.resize(blocks);
    tags_.resize(blocks);
    buckets.resize(blocks);
  } catch (const std::bad_alloc&) {
    heads_.clear();
    next_.clear();
    tags_.clear();
    return true;  // the search finds nothing: the pass stores what it finds without it
  }
  std::vector<uint8_t> scratch;
  for (uint32_t block = 0; block < blocks;) {
    const uint32_t at = start + block * kStride;
    uint32_t got = 0;
    const uint8_t* run = view.Run(at, size - at, &got);
    if (run == nullptr) return false;
    if (got < kBlock) {  // a block across the end of a run
      run = Together(view, at, kBlock, scratch);
      if (run == nullptr) return false;
      got = kBlock;
    }
    for (uint32_t offset = 0; offset + kBlock <= got && block < blocks; offset += kStride, ++block) {
      const uint64_t hash = HashBlockInLanes(run + offset);
      buckets[block] = Bucket(hash);
      tags_[block] = Tag(hash);
    }
  }
  constexpr uint32_t kAhead = 16;
  for (uint32_t block = blocks; block-- > 0;) {
    if (block >= kAhead) __builtin_prefetch(&heads_[buckets[block - kAhead]], 1);
    uint32_t& head = heads_[buckets[block]];
    next_[block] = head;
    head = block;
  }
  return true;
}

void MovedDataIndex::Candidates(const uint8_t* run, uint32_t count, uint32_t from, size_t most,
                                std::vector<uint32_t>* out) const {
  out->clear();
  if (heads_.empty() || count < kBlock) return;
  constexpr uint32_t kPerShift = 4;  // a chain's first candidates; later ones lie further on
  uint64_t hash = HashBlock(run);
  for (uint32_t shift = 0; shift + kBlock <= count && shift < kStride; ++shift) {
    if (shift != 0) hash = (hash - run[shift - 1] * kTop) * kMultiplier + run[shift + kBlock - 1];
    const uint16_t tag = Tag(hash);
    uint32_t taken = 0, walked = 0;
    for (uint32_t block = heads_[Bucket(hash)]; block != kNone && taken < kPerShift && walked < kLongestWalk;
         block = next_[block], ++walked) {
      if (tags_[block] != tag) continue;
      const uint64_t position = static_cast<uint64_t>(first_) + static_cast<uint64_t>(block) * kStride;
      if (position < shift || position - shift < from) continue;
      out->push_back(static_cast<uint32_t>(position - shift));
      ++taken;
    }
  }
  std::sort(out->begin(), out->end());
  out->erase(std::unique(out->begin(), out->end()), out->end());
  if (out->size() > most) out->resize(most);
}

bool SameBytes(ContentView& x, uint32_t px, ContentView& y, uint32_t py, uint32_t count, bool* failed) {
  uint8_t held[4096];
  for (uint32_t done = 0; done < count;) {
    // A piece of x held aside, since reading y may reuse x's runs (when both are one content).
    const uint32_t piece = std::min<uint32_t>(sizeof held, count - done);
    if (!CopyOut(x, px + done, piece, held)) {
      *failed = true;
      return false;
    }
    for (uint32_t at = 0; at < piece;) {
      uint32_t got = 0;
      const uint8_t* run = y.Run(py + done + at, piece - at, &got);
      if (run == nullptr || got == 0) {
        *failed = true;
        return false;
      }
      got = std::min(got, piece - at);
      if (std::memcmp(run, held + at, got) != 0) return false;
      at += got;
    }
    done += piece;
  }
  return true;
}

}  // namespace cairn
