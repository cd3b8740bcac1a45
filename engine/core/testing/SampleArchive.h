// Builds archives record by record for tests and for the fuzz corpus.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ArchiveRecords.h"

namespace cairn {
namespace testing {

// Small steps of building an archive. Each returns the new record's offset, 0 on failure.
class ArchiveBuilder {
 public:
  explicit ArchiveBuilder(ArchiveHeap& heap) : heap_(heap) {}

  uint32_t Object(const std::string& name);
  // Appends a revision to the object's chain with the next revision number.
  uint32_t Revision(uint32_t object, Stamp asAt, uint32_t attributes, uint64_t size, uint32_t type = 0);
  // Appends a difference record to the revision's list; data is empty for a Deletion.
  uint32_t Difference(uint32_t revision, uint8_t kind, uint32_t position, const std::vector<uint8_t>& data,
                      uint32_t deletedLength = 0);
  // Pushes a ListNode for object at the head of the list whose head word is at headField.
  uint32_t Push(uint32_t headField, uint32_t object);
  // Links a new snapshot behind the newest, numbered from the header.
  uint32_t Snapshot(const std::string& name, uint32_t flags);

 private:
  ArchiveHeap& heap_;
};

// An archive with every kind of record: two snapshots (the first deleted), a folder with two
// files, a file with two revisions whose older one holds an insertion, a deletion and a change,
// the three named streams, and a free list of three blocks. Returns false on failure.
bool BuildSampleArchive(ArchiveHeap& heap);

// Every archive grows its file by exactly each allocation while one of these lives.
class ExactGrowth {
 public:
  ExactGrowth() { ArchiveHeap::SetExactGrowth(true); }
  ~ExactGrowth() { ArchiveHeap::SetExactGrowth(false); }
  ExactGrowth(const ExactGrowth&) = delete;
  ExactGrowth& operator=(const ExactGrowth&) = delete;
};

}  // namespace testing
}  // namespace cairn
