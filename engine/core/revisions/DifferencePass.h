// The difference pass: the records that turn a content b into a content a, found by comparing
// them block by block and, at each difference, trying an insertion, a deletion and a change in
// turn, with probes of 64 bytes looked for within the next 8192 bytes. The records and their
// order are fixed by that rule; this pass finds the same ones in place in the contents, searching
// with an index that moves along with a run of changes instead of trying every offset.
#pragma once

#include <cstdint>

#include "ContentView.h"

namespace cairn {

// Receives the records of a pass in order. A data record holds the count bytes of a at position.
class RecordSink {
 public:
  virtual ~RecordSink() = default;
  // False stops the pass (the record could not be stored).
  virtual bool Data(uint8_t kind, uint32_t position, ContentView& a, uint32_t count) = 0;
  virtual bool Deletion(uint32_t position, uint32_t length) = 0;
  // The pass compared a and b and found them equal over [from, to), each at the same position.
  virtual void Same(uint32_t from, uint32_t to) {}
};

// Runs the pass from the start of both contents. S_OK when at least one difference was found,
// S_FALSE when the contents are equal. *failed is set when a content could not be read (reported
// to errors under module) or the sink refused a record; the pass ends there.
// With findMoved, where neither an Insertion nor a Deletion is found within the probe window,
// the pass looks for moved data anywhere ahead (MovedData.h) before it stores a Change: an
// insertion or deletion of any width becomes Insertions or one Deletion, and the rest matches
// again. The records are of the same kinds and order, so every reader rebuilds the content; they
// are no longer those the rule above fixes.
HRESULT RunDifferencePass(ContentView& a, ContentView& b, RecordSink& sink, InternalErrors& errors,
                          const char* module, bool* failed, bool findMoved = false);

}  // namespace cairn
