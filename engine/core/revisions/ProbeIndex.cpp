#include "ProbeIndex.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace cairn {
namespace {

uint32_t HashBlock(const uint8_t* p) {
  uint64_t a, b;
  std::memcpy(&a, p, 8);
  std::memcpy(&b, p + 8, 8);
  const uint64_t h = (a ^ (b * 0x9E3779B97F4A7C15ull)) * 0xC2B2AE3D27D4EB4Full;
  return static_cast<uint32_t>(h >> 32) ^ static_cast<uint32_t>(h);
}

// Knuth-Morris-Pratt: linear in both, whatever the content.
int64_t FindFirstSteadily(const uint8_t* text, uint32_t size, const uint8_t* probe, uint32_t n) {
  uint32_t fail[ProbeIndex::kProbe];
  fail[0] = 0;
  for (uint32_t i = 1, k = 0; i < n; ++i) {
    while (k > 0 && probe[i] != probe[k]) k = fail[k - 1];
    if (probe[i] == probe[k]) ++k;
    fail[i] = k;
  }
  for (uint32_t i = 0, k = 0; i < size; ++i) {
    while (k > 0 && text[i] != probe[k]) k = fail[k - 1];
    if (text[i] == probe[k]) ++k;
    if (k == n) return static_cast<int64_t>(i) + 1 - n;
  }
  return -1;
}

}  // namespace

int64_t FindFirst(const uint8_t* text, uint32_t size, const uint8_t* probe, uint32_t n) {
  if (n == 0 || n > size || n > ProbeIndex::kProbe) return -1;
  uint32_t shift[256];
  for (uint32_t& s : shift) s = n;
  for (uint32_t i = 0; i + 1 < n; ++i) shift[probe[i]] = n - 1 - i;
  const uint8_t last = probe[n - 1];
  const uint32_t end = size - n;  // the last offset where the probe fits
  uint32_t tries = 0;
  for (uint32_t at = 0; at <= end;) {
    const uint8_t c = text[at + n - 1];
    if (c == last) {
      if (std::memcmp(text + at, probe, n - 1) == 0) return at;
      if (++tries == 64) {  // runs of one value keep the skips short
        const int64_t found = FindFirstSteadily(text + at, size - at, probe, n);
        return found < 0 ? -1 : found + at;
      }
    }
    at += shift[c];
  }
  return -1;
}

ProbeIndex::ProbeIndex() { Clear(); }

void ProbeIndex::Clear() {
  std::fill(std::begin(head_), std::end(head_), kNone);
  std::fill(std::begin(tail_), std::end(tail_), kNone);
  lo_ = hi_ = 0;
}

void ProbeIndex::Add(uint32_t block, uint32_t hash) {
  const uint16_t slot = static_cast<uint16_t>(block % kSlots);
  const uint32_t bucket = hash % kBuckets;
  slotHash_[slot] = hash;
  slotNext_[slot] = kNone;
  if (tail_[bucket] == kNone)
    head_[bucket] = slot;
  else
    slotNext_[tail_[bucket]] = slot;
  tail_[bucket] = slot;
}

void ProbeIndex::Expire(uint32_t block) {
  // Blocks leave in the order they came, so the oldest is always at the head of its bucket.
  const uint16_t slot = static_cast<uint16_t>(block % kSlots);
  const uint32_t bucket = slotHash_[slot] % kBuckets;
  head_[bucket] = slotNext_[slot];
  if (head_[bucket] == kNone) tail_[bucket] = kNone;
}

bool ProbeIndex::Cover(ContentView& view, uint32_t at, uint32_t end) {
  const uint32_t first = (at + kGrain - 1) / kGrain, last = end / kGrain;
  if (first < lo_ || first >= hi_ || last - first > kSlots) {
    // Nothing to keep: the position went back, or jumped past what is held.
    for (uint32_t block = lo_; block < hi_; ++block) {
      const uint32_t bucket = slotHash_[block % kSlots] % kBuckets;
      head_[bucket] = tail_[bucket] = kNone;
    }
    lo_ = hi_ = first;
  }
  for (; lo_ < first; ++lo_) Expire(lo_);
  while (hi_ < last) {
    uint32_t got = 0;
    const uint8_t* run = view.Run(hi_ * kGrain, (last - hi_) * kGrain, &got);
    if (run == nullptr) return false;
    if (got < kGrain) {  // a block across the end of a run
      run = Together(view, hi_ * kGrain, kGrain, scratch_);
      if (run == nullptr) return false;
      got = kGrain;
    }
    for (uint32_t i = 0; i + kGrain <= got && hi_ < last; i += kGrain) Add(hi_++, HashBlock(run + i));
  }
  return true;
}

bool ProbeIndex::Find(ContentView& view, uint32_t at, uint32_t count, const uint8_t* probe, uint32_t n,
                      int64_t* found) {
  *found = -1;
  if (count < n || n == 0) return true;
  if (n != kProbe || count > kWindow) return Search(view, at, count, probe, n, found);
  if (!Cover(view, at, at + count)) return false;
  const int64_t latest = static_cast<int64_t>(at) + count - n;  // the last offset where it fits
  candidates_.clear();
  for (uint32_t offset = 0; offset < kGrain; ++offset) {
    const uint32_t hash = HashBlock(probe + offset);
    for (uint16_t slot = head_[hash % kBuckets]; slot != kNone; slot = slotNext_[slot]) {
      if (slotHash_[slot] != hash) continue;
      // The slot's block number, from the ring position and the blocks held.
      const uint32_t block = lo_ + (slot + kSlots - lo_ % kSlots) % kSlots;
      const int64_t start = static_cast<int64_t>(block) * kGrain - offset;
      if (start < at) continue;
      if (start > latest) break;  // blocks come in increasing order
      candidates_.push_back(start);
      if (candidates_.size() > kMostCandidates) return Search(view, at, count, probe, n, found);
    }
  }
  std::sort(candidates_.begin(), candidates_.end());
  for (int64_t start : candidates_) {
    const uint8_t* bytes = Together(view, static_cast<uint32_t>(start), n, scratch_);
    if (bytes == nullptr) return false;
    if (std::memcmp(bytes, probe, n) == 0) {
      *found = start - at;
      return true;
    }
  }
  return true;
}

bool ProbeIndex::Search(ContentView& view, uint32_t at, uint32_t count, const uint8_t* probe, uint32_t n,
                        int64_t* found) {
  const uint8_t* window = Together(view, at, count, scratch_);
  if (window == nullptr) return false;
  *found = FindFirst(window, count, probe, n);
  return true;
}

}  // namespace cairn
