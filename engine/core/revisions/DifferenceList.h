// A revision's difference list as it is being built: each record appended at its tail, in order.
#pragma once

#include <cstdint>
#include <unordered_set>

#include "ArchiveRecords.h"
#include "ContentView.h"

namespace cairn {

// The list of DifferenceRecords of one revision as it is being built. The tail slot starts at
// the revision's differences field; appending first advances it over records already linked.
// Each append allocates the 20-byte record, then its data block, then links the record.
// E_OUTOFMEMORY when the heap cannot hold it (kArchiveClosed once it could not even keep its
// mapping); nothing is linked then.
class DifferenceList {
 public:
  DifferenceList(ArchiveHeap& heap, uint32_t revision);
  // Points the tail slot back at the revision's differences field.
  void ResetTail();
  // Stores an Insertion or Change of the bytes, compressed by revisionFlags (0, 1 or 3).
  HRESULT AppendData(uint8_t kind, uint32_t position, const uint8_t* bytes, uint32_t count, uint32_t revisionFlags);
  // The same with the data block's bytes as they are to be stored (already compressed, or not).
  HRESULT AppendStored(uint8_t kind, uint32_t position, const uint8_t* stored, uint32_t length);
  // The same with the archive's data block at block, taken over as it is from the list it belongs
  // to (the previous revision's whole content) instead of copied: until one of the two lists is
  // freed with the other's blocks kept (Taken), both name it.
  HRESULT AppendTaken(uint8_t kind, uint32_t position, uint32_t block, uint32_t length);
  // The same, stored as they are, with the count bytes of view at position.
  HRESULT AppendFromView(uint8_t kind, uint32_t position, ContentView& view, uint32_t count);
  HRESULT AppendDeletion(uint32_t position, uint32_t length);
  // Unlinks and frees the most recently appended record and its data block.
  HRESULT RemoveLast();
  // The data blocks taken over so far.
  const std::unordered_set<uint32_t>& Taken() const { return taken_; }

 private:
  // Allocates the record and, but for a Deletion (whose length is what it removes), a data
  // block of length bytes, lets fill write the block at its address, and links the record.
  template <class Fill>
  HRESULT Append(uint8_t kind, uint32_t position, uint32_t length, Fill&& fill);

  ArchiveHeap& heap_;
  uint32_t revision_;
  uint32_t tailSlot_;  // archive offset of the word that holds the last record's offset
  std::unordered_set<uint32_t> taken_;
};

}  // namespace cairn
