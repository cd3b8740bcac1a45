// Walking the archive's linked lists one step at a time without trusting the archive.
#pragma once

#include "ArchiveRecords.h"
#include "LoopCheck.h"

namespace cairn {

// A cursor over a linked list that finds loops exactly. An enumerator marks it damaged when a step
// would close a loop or a record is unsound; damaged, it stays past the end until it is reset, so
// every later call reports the damage again instead of a normal end.
class ListCursor {
 public:
  void Reset(uint32_t first) {
    current_ = first;
    damaged_ = false;
    forward_ = true;
    loop_.Restart(first);
  }
  uint32_t Current() const { return current_; }
  bool Damaged() const { return damaged_; }
  // Moves to next, towards the list's end or (backward) its start; false, without moving, when
  // the step closes a loop (the caller reports the damage).
  bool MoveTo(uint32_t next, bool backward = false) {
    if (backward == forward_) {  // the walk turned round: a loop is looked for afresh
      forward_ = !backward;
      loop_.Restart(current_);
    }
    if (!loop_.Step(next)) return false;
    current_ = next;
    return true;
  }
  // Jumps to offset (0: past the end), as after a walk of the caller's own.
  void SetCurrent(uint32_t offset) {
    current_ = offset;
    loop_.Restart(offset);
  }
  // Marks the list damaged: past the end until the next Reset.
  void Damage() {
    current_ = 0;
    damaged_ = true;
  }

 private:
  uint32_t current_ = 0;
  bool damaged_ = false;
  bool forward_ = true;
  LoopCheck loop_;
};

}  // namespace cairn
