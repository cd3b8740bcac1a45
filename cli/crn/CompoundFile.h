// A compound document rebuilt from its elements as a compound file, in memory, so that nothing
// is written over the file standing at its place before the whole document is sound.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ArchiveReader.h"

namespace cairn {
namespace crn {

struct CompoundFailure {
  const char* format = nullptr;  // the message, with %s for subject
  std::string subject;           // stored text
};

// Builds the compound file of revision (a storage revision of object, stored as storedName)
// with the elements held as at asAt into *bytes. False with *failure for damage (an element whose
// name does not belong to its storage or breaks the format's rules, a storage met again below
// itself, an element that does not rebuild) or a failure of the compound-file library.
bool BuildCompoundFile(ArchiveHeap& heap, Stamp asAt, uint32_t object, const std::string& storedName, uint32_t revision,
                       std::vector<uint8_t>* bytes, CompoundFailure* failure);

}  // namespace crn
}  // namespace cairn
