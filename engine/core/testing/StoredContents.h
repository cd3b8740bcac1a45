// An object's history stored as snapshots store it, for tests that need real revisions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ArchiveHeap.h"

namespace cairn {
namespace testing {

// Makes an object named name and, for each content, a new live snapshot that holds it and a new
// revision of that content (compressed by mode: 0, 1 or 3, stamped with the snapshot), as the
// newest revision; a content equal to the one before stores none. The revisions, oldest first.
std::vector<uint32_t> StoreContents(ArchiveHeap& heap, const std::string& name,
                                    const std::vector<std::vector<uint8_t>>& contents, uint32_t mode);

}  // namespace testing
}  // namespace cairn
