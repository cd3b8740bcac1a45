// Adds up every byte of an archive while it is walked: header, live records and blocks, free
// areas and their records. Anything leaked or freed twice breaks the sum.
#pragma once

#include <cstdint>
#include <string>

#include "ArchiveWalk.h"

namespace cairn {
namespace testing {

struct Accounting final : ArchiveVisitor {
  uint64_t bytes = header::kSize, free = 0;
  int problems = 0;
  void OnFreeBlock(const FreeBlock& f) override { bytes += FreeBlock::kSize + f.Length(), free += f.Length(); }
  void OnNamedStream(const ObjectRecord&) override { bytes += ListNode::kSize; }
  void OnObject(const ObjectRecord&, const std::string& name) override { bytes += ObjectRecord::kSize + name.size() + 1; }
  void OnRevision(const ObjectRecord&, const RevisionRecord&) override { bytes += RevisionRecord::kSize; }
  void OnDifference(const RevisionRecord&, const DifferenceRecord& d) override {
    bytes += DifferenceRecord::kSize + (d.Kind() == difference_kind::kDeletion ? 0 : d.Length());
  }
  void OnProblem(const std::string&, uint32_t) override { ++problems; }
};

}  // namespace testing
}  // namespace cairn
