// A seekable content as the difference pass reads it: the engine adapts IStream to it, tests
// use memory. Positions are 32-bit, as in the archive's difference records.
#pragma once

#include <cstdint>
#include <vector>

#include "Result.h"

namespace cairn {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to count bytes from the current position and advances it; *read is what came back
  // (0 at the end). A failure means the content could not be read.
  virtual HRESULT Read(uint8_t* buffer, uint32_t count, uint32_t* read) = 0;
  // Moves to an absolute position (at most the content's size).
  virtual HRESULT Seek(uint32_t position) = 0;
  virtual uint32_t Position() const = 0;
  // The next bytes in place, up to count (*got fewer at the end), without moving; valid until the
  // next call. Null when the source has no such access (the caller then reads); a failure to read
  // gives null with *got 0 as well, and the caller's read then reports it.
  virtual const uint8_t* View(uint32_t count, uint32_t* got) {
    (void)count;
    *got = 0;
    return nullptr;
  }
};

// Another source read in large pieces and kept in memory, so that the many short reads, seeks and
// views of a difference pass cost no call into the content each. The bytes are the same.
class BufferedSource final : public ByteSource {
 public:
  explicit BufferedSource(ByteSource& source) : source_(source), position_(source.Position()) {}
  HRESULT Read(uint8_t* buffer, uint32_t count, uint32_t* read) override;
  HRESULT Seek(uint32_t position) override;
  uint32_t Position() const override { return position_; }
  const uint8_t* View(uint32_t count, uint32_t* got) override;

 private:
  // Makes [position_, position_ + count) held, as far as the content reaches.
  HRESULT Hold(uint32_t count);

  // Pieces start small, for the many small contents, and double up to the largest.
  static constexpr uint32_t kFirstPiece = 64u << 10;
  static constexpr uint32_t kLargestPiece = 1u << 20;
  ByteSource& source_;
  std::vector<uint8_t> held_;
  uint32_t piece_ = kFirstPiece;
  uint32_t start_ = 0;   // content position of held_[0]
  bool ended_ = false;   // the content ends where held_ does
  uint32_t position_;
};

// A content held in memory.
class MemorySource final : public ByteSource {
 public:
  MemorySource() = default;
  explicit MemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  HRESULT Read(uint8_t* buffer, uint32_t count, uint32_t* read) override;
  HRESULT Seek(uint32_t position) override;
  uint32_t Position() const override { return position_; }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  uint32_t position_ = 0;
};

// Where the core reports failures that the engine logs as internal errors (message 108):
// the engine module that met them and a number for the place.
class InternalErrors {
 public:
  virtual ~InternalErrors() = default;
  virtual void Report(const char* module, int line) = 0;
};

}  // namespace cairn
