// Test doubles for the platform layer: files held in memory (fast, for the fuzz target and for
// building archives byte by byte). FaultyFiles, which makes a chosen call of any platform fail,
// is part of the core, where the engine's test settings reach it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FaultyFiles.h"
#include "PlatformFile.h"

namespace cairn {
namespace testing {

// Files kept as byte vectors by name. A mapping is the vector's own storage, so what the heap
// writes through it is what Bytes() returns after the heap is gone.
class MemoryFiles final : public PlatformFiles {
 public:
  HRESULT Open(const std::string& path, bool create, bool write, std::unique_ptr<PlatformFile>* file) override;
  // A new file of its own, named "temporary n".
  HRESULT OpenTemporary(std::unique_ptr<PlatformFile>* file) override;
  std::vector<uint8_t>& Bytes(const std::string& path) { return files_[path]; }
  bool Exists(const std::string& path) const { return files_.count(path) != 0; }

 private:
  std::map<std::string, std::vector<uint8_t>> files_;
  int temporaries_ = 0;
};

}  // namespace testing
}  // namespace cairn
