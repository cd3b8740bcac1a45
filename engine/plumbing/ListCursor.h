// Walking the archive's linked lists one step at a time without trusting the archive.
#pragma once

#include "ArchiveRecords.h"

namespace cairn {

// A cursor over a linked list that counts its steps since it was last reset: a list that loops
// (only a damaged archive has one) ends after as many steps as such records fit in the archive.
class ListCursor {
 public:
  void Reset(uint32_t first) {
    current_ = first;
    steps_ = 0;
  }
  uint32_t Current() const { return current_; }
  // Moves to next, or past the end when the walk has gone on too long; false when it had.
  bool MoveTo(ArchiveHeap& heap, uint32_t next, uint32_t recordSize) {
    if (++steps_ > heap.MaxRecords(recordSize)) {
      current_ = 0;
      return false;
    }
    current_ = next;
    return true;
  }
  void SetCurrent(uint32_t offset) { current_ = offset; }

 private:
  uint32_t current_ = 0;
  uint32_t steps_ = 0;
};

}  // namespace cairn
