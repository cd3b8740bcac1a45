// A platform layer that passes every call on to another one but fails chosen calls: the one way
// tests make the file system fail, in their own process or (switched on by the engine's test
// settings) in a process they start.
#pragma once

#include <memory>
#include <string>

#include "PlatformFile.h"

namespace cairn {
namespace testing {

// Fails count Maps from the n-th (counting from 1, over all files it opened), the n-th Open
// (temporary files count as opens), the n-th growth of a file (a Reserve or Map larger than the
// file) and, for a full disk, every later one, every Truncate, or the n-th Flush.
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
  // Called when the growth chosen by FailGrowth is refused (not for the later ones).
  void OnFailedGrowth(void (*note)()) { note_ = note; }
  void FailTruncate(bool on) { failTruncate_ = on; }
  void FailFlush(int n) { failFlush_ = n; }
  int MapCalls() const { return maps_; }
  int Growths() const { return growths_; }
  int Truncations() const { return truncations_; }

  HRESULT Open(const std::string& path, bool create, bool write, std::unique_ptr<PlatformFile>* file) override;
  HRESULT OpenTemporary(std::unique_ptr<PlatformFile>* file) override;

 private:
  friend class FaultyFile;
  // Wraps the file that open opens, unless this is the open to fail.
  template <class OpenReal>
  HRESULT Wrap(OpenReal open, std::unique_ptr<PlatformFile>* file);

  PlatformFiles& real_;
  int maps_ = 0;
  int opens_ = 0;
  int growths_ = 0;
  int truncations_ = 0;
  int flushes_ = 0;
  int failFlush_ = 0;
  bool failTruncate_ = false;
  int failMap_ = 0;
  int failMaps_ = 1;
  int failOpen_ = 0;
  int failGrowth_ = 0;
  bool diskFull_ = false;
  void (*note_)() = nullptr;
  HRESULT mapResult_ = E_OUTOFMEMORY;
  HRESULT openResult_ = E_ACCESSDENIED;
};

}  // namespace testing
}  // namespace cairn
