// A new whole content takes, for each 8 KB piece equal to the previous whole content's piece at
// the same position, that piece's stored bytes instead of compressing it again: deflate and bzip2
// are deterministic, so the bytes are those compressing would give. Whether a previous piece
// holds exactly the same bytes is decided as by decompressing it and comparing, but mostly
// without decompressing: the comparison of the two contents has already found where they are
// equal at the same positions, and a fingerprint of each previous piece read rules most others out.
#pragma once

#include <cstdint>
#include <vector>

#include "Compression.h"
#include "Reuse.h"
#include "WholeContent.h"

namespace cairn {

// Decides by decompressing: the Insertion of the list from first at the position, whose data
// decompresses to exactly these bytes. Positions must be asked in increasing order.
class ListReuse final : public Reuse {
 public:
  ListReuse(ArchiveHeap& heap, uint32_t first, uint32_t flags) : heap_(heap), next_(first), flags_(flags) {}
  bool Find(uint32_t position, const uint8_t* bytes, uint32_t count, uint32_t* block, uint32_t* length) override;

 private:
  ArchiveHeap& heap_;
  uint32_t next_;  // the next record of the list not yet passed, or 0
  const uint32_t flags_;
  compression::Workspace workspace_;
};

// The pieces of a new content (of size bytes) found equal, at the same positions, to the previous
// content, as the first difference pass reports where it found them equal.
class SamePieces final : public SameRuns {
 public:
  explicit SamePieces(uint32_t size);
  void Same(uint32_t from, uint32_t to) override;
  bool Has(uint32_t k) const { return k < same_.size() && same_[k]; }

 private:
  uint32_t size_;
  std::vector<bool> same_;
};

// Decides from what the first pass and the reader of the previous content learnt, asking exact
// only where they cannot tell.
class PieceReuse final : public Reuse {
 public:
  PieceReuse(ArchiveHeap& heap, WholeContent& previous, const SamePieces& same, Reuse& exact)
      : heap_(heap), previous_(previous), same_(same), exact_(exact) {}
  bool Find(uint32_t position, const uint8_t* bytes, uint32_t count, uint32_t* block, uint32_t* length) override;

 private:
  ArchiveHeap& heap_;
  WholeContent& previous_;
  const SamePieces& same_;
  Reuse& exact_;
};

}  // namespace cairn
