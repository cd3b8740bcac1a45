#include "PieceReuse.h"

#include <algorithm>
#include <cstring>

#include "LoopCheck.h"

namespace cairn {

bool ListReuse::Find(uint32_t position, const uint8_t* bytes, uint32_t count, uint32_t* block, uint32_t* length) {
  // The list is in increasing positions, as the pieces asked about: pass what lies before.
  LoopCheck loop;
  loop.Restart(next_);
  while (next_ != 0) {
    DifferenceRecord d(heap_, next_);
    if (!d.IsValid()) {
      next_ = 0;
      return false;
    }
    if (d.Position() >= position) break;
    next_ = d.Next();
    if (!loop.Step(next_)) {
      next_ = 0;
      return false;
    }
  }
  if (next_ == 0) return false;
  DifferenceRecord d(heap_, next_);
  if (d.Position() != position || d.Kind() != difference_kind::kInsertion || !d.HasSoundData() || d.Length() == 0)
    return false;
  const uint8_t* data = heap_.Resolve(d.Data(), d.Length());
  uint32_t produced = 0;
  bool same = true;
  const compression::Inflated result = compression::Decompress(
      flags_, data, d.Length(), count,
      [&](const uint8_t* piece, uint32_t n) {
        same = same && std::memcmp(piece, bytes + (produced - n), n) == 0;
        return same;
      },
      &produced, &workspace_);
  if (result != compression::Inflated::kComplete || produced != count || !same) return false;
  *block = d.Data();
  *length = d.Length();
  return true;
}

SamePieces::SamePieces(uint32_t size)
    : size_(size), same_((static_cast<uint64_t>(size) + WholeContent::kPiece - 1) / WholeContent::kPiece, false) {}

void SamePieces::Same(uint32_t from, uint32_t to) {
  const uint32_t piece = WholeContent::kPiece;
  for (uint64_t k = (static_cast<uint64_t>(from) + piece - 1) / piece; k < same_.size(); ++k) {
    const uint64_t end = std::min<uint64_t>(k * piece + piece, size_);
    if (end > to) break;
    same_[k] = true;
  }
}

bool PieceReuse::Find(uint32_t position, const uint8_t* bytes, uint32_t count, uint32_t* block, uint32_t* length) {
  const uint32_t k = position / WholeContent::kPiece;
  uint64_t fingerprint = 0;
  if (position % WholeContent::kPiece == 0 && k < previous_.Pieces() && previous_.PieceKnown(k, &fingerprint)) {
    // The previous piece decompresses to exactly its own bytes: the same bytes are those.
    if (count != previous_.PieceSize(k)) return false;
    if (same_.Has(k)) {
      DifferenceRecord d(heap_, previous_.PieceRecord(k));
      *block = d.Data();
      *length = d.Length();
      return true;
    }
    if (fingerprint != WholeContent::Fingerprint(bytes, count)) return false;
  }
  return exact_.Find(position, bytes, count, block, length);
}

}  // namespace cairn
