// What a record writer asks of the pieces a new whole content may take over from the previous
// one, and what it tells them; the ways of deciding are behind these (see PieceReuse.h).
#pragma once

#include <cstdint>

namespace cairn {

// Where a new whole content may take the stored bytes of the previous one for a piece instead of
// compressing it: they are what compressing gives, when the previous revision holds an Insertion
// at the same position whose data decompresses to exactly these bytes.
class Reuse {
 public:
  virtual ~Reuse() = default;
  // The data block (archive offset and length) to take over for the count bytes at position, or false.
  virtual bool Find(uint32_t position, const uint8_t* bytes, uint32_t count, uint32_t* block, uint32_t* length) = 0;
};

// Where a difference pass found both contents equal at the same positions, from from to to.
class SameRuns {
 public:
  virtual ~SameRuns() = default;
  virtual void Same(uint32_t from, uint32_t to) = 0;
};

}  // namespace cairn
