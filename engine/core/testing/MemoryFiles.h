// Test doubles for the platform layer: files held in memory (fast, for the fuzz target and for
// building archives byte by byte), and a wrapper that makes a chosen call of any platform fail.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "PlatformFile.h"

namespace cairn {
namespace testing {

// Files kept as byte vectors by name. A mapping is the vector's own storage, so what the heap
// writes through it is what Bytes() returns after the heap is gone.
class MemoryFiles final : public PlatformFiles {
 public:
  HRESULT Open(const std::string& path, bool create, bool write, std::unique_ptr<PlatformFile>* file) override;
  std::vector<uint8_t>& Bytes(const std::string& path) { return files_[path]; }
  bool Exists(const std::string& path) const { return files_.count(path) != 0; }

 private:
  std::map<std::string, std::vector<uint8_t>> files_;
};

// Passes every call on to another PlatformFiles, but fails chosen calls with a given result:
// count Maps from the n-th (counting from 1, over all files it opened), the n-th Open, the n-th
// growth of a file (a Reserve or Map larger than the file) and, for a full disk, every later
// one, or every Truncate.
class FaultyFiles final : public PlatformFiles {
 public:
  explicit FaultyFiles(PlatformFiles& real) : real_(real) {}

  void FailMap(int n, HRESULT hr = E_OUTOFMEMORY, int count = 1) {
    failMap_ = n;
    failMaps_ = count;
    mapResult_ = hr;
  }
  void FailOpen(int n, HRESULT hr = E_ACCESSDENIED) { failOpen_ = n; openResult_ = hr; }
  void FailGrowth(int n, bool andEveryLater) {
    failGrowth_ = n;
    diskFull_ = andEveryLater;
  }
  void FailTruncate(bool on) { failTruncate_ = on; }
  int MapCalls() const { return maps_; }
  int Growths() const { return growths_; }
  int Truncations() const { return truncations_; }

  HRESULT Open(const std::string& path, bool create, bool write, std::unique_ptr<PlatformFile>* file) override;

 private:
  friend class FaultyFile;
  PlatformFiles& real_;
  int maps_ = 0;
  int opens_ = 0;
  int growths_ = 0;
  int truncations_ = 0;
  bool failTruncate_ = false;
  int failMap_ = 0;
  int failMaps_ = 1;
  int failOpen_ = 0;
  int failGrowth_ = 0;
  bool diskFull_ = false;
  HRESULT mapResult_ = E_OUTOFMEMORY;
  HRESULT openResult_ = E_ACCESSDENIED;
};

}  // namespace testing
}  // namespace cairn
