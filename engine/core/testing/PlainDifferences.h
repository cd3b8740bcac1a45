// The difference pass written plainly, step by step, as the records are defined: both contents
// read in blocks of 4096 bytes and compared byte by byte; at a difference an Insertion (b's next
// 64 bytes looked for in a's next 8192 by trying every offset), a Deletion (the other way round)
// or a Change of 64 bytes, a Change stored at once and taken back again when the next one
// continues it. Slow on purpose: the tests and the fuzz target hold the engine's pass to it.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "ContentView.h"
#include "DifferencePass.h"

namespace cairn {
namespace testing {

struct PlainRecord {
  uint8_t kind;
  uint32_t position;
  uint32_t length;             // bytes held, or removed by a Deletion
  std::vector<uint8_t> bytes;  // an Insertion's or Change's
  bool operator==(const PlainRecord& o) const {
    return kind == o.kind && position == o.position && length == o.length && bytes == o.bytes;
  }
};

inline std::ostream& operator<<(std::ostream& os, const PlainRecord& r) {
  return os << "{kind " << int(r.kind) << " at " << r.position << " length " << r.length << "}";
}

// The records that turn b into a.
std::vector<PlainRecord> PlainDifferences(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

// Applies records to b in list order as a rebuild does: false when one is out of order or
// outside the content. *a is the content they give.
bool ApplyRecords(const std::vector<PlainRecord>& records, std::vector<uint8_t> b, std::vector<uint8_t>* a);

// Keeps what a difference pass hands on, as PlainRecords.
class RecordingSink final : public RecordSink {
 public:
  bool Data(uint8_t kind, uint32_t position, ContentView& a, uint32_t count) override;
  bool Deletion(uint32_t position, uint32_t length) override;
  std::vector<PlainRecord> records;
};

// A content in memory handed out in runs of varying lengths (from seed), copied into a buffer of
// its own each time, as contents read a piece at a time are.
class ChoppyView final : public ContentView {
 public:
  ChoppyView(const std::vector<uint8_t>& bytes, uint32_t seed) : bytes_(bytes), state_(seed | 1) {}
  uint32_t Size() const override { return static_cast<uint32_t>(bytes_.size()); }
  const uint8_t* Run(uint32_t position, uint32_t most, uint32_t* got) override;

 private:
  const std::vector<uint8_t>& bytes_;
  uint32_t state_;
  std::vector<uint8_t> run_;
};

}  // namespace testing
}  // namespace cairn
