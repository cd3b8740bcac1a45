// Loop detection for walks over the linked lists of an archive.
#pragma once

#include <cstdint>

namespace cairn {

// Finds a loop in a walk without memory (Brent's cycle check): it keeps one earlier node and
// moves it to the current one whenever the number of steps since the last move reaches a power
// of two, so a walk that loops meets the kept node again within twice the loop's length plus
// the steps before the loop. A list never holds offset 0, so 0 means no node is kept yet.
class LoopCheck {
 public:
  // Starts again at node (when the walk restarts, or changes direction).
  void Restart(uint32_t node) {
    kept_ = node;
    stride_ = 1;
    taken_ = 0;
  }
  // Tells that the walk moved to node; false when node closes a loop.
  bool Step(uint32_t node) {
    if (node != 0 && node == kept_) return false;
    if (++taken_ == stride_) {
      kept_ = node;
      stride_ *= 2;
      taken_ = 0;
    }
    return true;
  }

 private:
  uint32_t kept_ = 0;
  uint64_t stride_ = 1;
  uint64_t taken_ = 0;
};

}  // namespace cairn
