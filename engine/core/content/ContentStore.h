// A content being rebuilt from an archive's difference records: grown, shrunk and edited in
// place. The engine keeps large ones in a temporary file; tests and small contents use memory.
#pragma once

#include <cstdint>
#include <vector>

#include "Result.h"

namespace cairn {

class ContentStore {
 public:
  virtual ~ContentStore() = default;
  virtual uint32_t Size() const = 0;
  // Changes the size; new bytes read as zero. E_OUTOFMEMORY when there is no room.
  virtual HRESULT Resize(uint32_t size) = 0;
  // A hint that the content will grow to about size, so that growing it piece by piece need not
  // move it each time. Stores may ignore it; it never fails.
  virtual void Reserve(uint32_t) {}
  // Copies bytes within the content; the ranges may overlap (a move). Both inside the content.
  virtual HRESULT Move(uint32_t to, uint32_t from, uint32_t count) = 0;
  // Overwrites count bytes at position; the range must be inside the content.
  virtual HRESULT Write(uint32_t position, const uint8_t* bytes, uint32_t count) = 0;
  // Reads count bytes at position; the range must be inside the content.
  virtual HRESULT Read(uint32_t position, uint8_t* bytes, uint32_t count) const = 0;
};

class MemoryContent final : public ContentStore {
 public:
  uint32_t Size() const override { return static_cast<uint32_t>(bytes_.size()); }
  HRESULT Resize(uint32_t size) override;
  HRESULT Move(uint32_t to, uint32_t from, uint32_t count) override;
  HRESULT Write(uint32_t position, const uint8_t* bytes, uint32_t count) override;
  HRESULT Read(uint32_t position, uint8_t* bytes, uint32_t count) const override;
  std::vector<uint8_t>& Bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace cairn
