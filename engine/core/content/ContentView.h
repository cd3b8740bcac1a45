// A content read by position, in place where it can be: what the difference pass compares and
// searches. Contents held in memory, a disk file's mapping, a revision's pieces in the archive
// and contents that can only be read through calls all look alike through it.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "ByteSource.h"

namespace cairn {

class ContentView {
 public:
  virtual ~ContentView() = default;
  virtual uint32_t Size() const = 0;
  // The bytes from position on that lie together in place, at most most of them: *got of them
  // (at least one while position is inside the content). They stay valid until the next call on
  // this view, or until the archive allocates when they lie in the archive. Null when they cannot
  // be read.
  virtual const uint8_t* Run(uint32_t position, uint32_t most, uint32_t* got) = 0;
  // True when every run stays valid for the view's life (memory nothing moves or frees).
  virtual bool Stable() const { return false; }
};

// Copies count bytes at position (inside the content) to out. False when they cannot be read.
bool CopyOut(ContentView& view, uint32_t position, uint32_t count, uint8_t* out);

// count bytes at position together: in place when one run holds them, else gathered into
// scratch. Null when they cannot be read.
const uint8_t* Together(ContentView& view, uint32_t position, uint32_t count, std::vector<uint8_t>& scratch);

// Bytes in memory that outlive the view.
class MemoryView final : public ContentView {
 public:
  MemoryView(const uint8_t* bytes, uint32_t size) : bytes_(bytes), size_(size) {}
  uint32_t Size() const override { return size_; }
  const uint8_t* Run(uint32_t position, uint32_t most, uint32_t* got) override;
  bool Stable() const override { return true; }

 private:
  const uint8_t* bytes_;
  uint32_t size_;
};

// A content that can only be read through calls (a stream of a compound document), held a
// window at a time: pieces start small, for the many small contents, and double up to 1 MB.
class WindowView final : public ContentView {
 public:
  // Takes the source's size; Failed() tells whether that worked.
  explicit WindowView(ByteSource& source);
  bool Failed() const { return failed_; }
  uint32_t Size() const override { return size_; }
  const uint8_t* Run(uint32_t position, uint32_t most, uint32_t* got) override;

 private:
  static constexpr uint32_t kFirstPiece = 64u << 10;
  static constexpr uint32_t kLargestPiece = 1u << 20;
  ByteSource& source_;
  std::vector<uint8_t> held_;
  uint32_t start_ = 0;  // content position of held_[0]
  uint32_t piece_ = kFirstPiece;
  uint32_t size_ = 0;
  bool failed_ = false;
};

// A content held in memory.
class MemorySource final : public ByteSource {
 public:
  MemorySource() = default;
  explicit MemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  MemorySource(const MemorySource&) = delete;
  MemorySource& operator=(const MemorySource&) = delete;
  HRESULT Read(uint8_t* buffer, uint32_t count, uint32_t* read) override;
  HRESULT Seek(uint32_t position) override;
  uint32_t Position() const override { return position_; }
  HRESULT Size(uint32_t* size) override {
    *size = static_cast<uint32_t>(bytes_.size());
    return S_OK;
  }
  ContentView* Direct() override { return &view_; }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  MemoryView view_{bytes_.data(), static_cast<uint32_t>(bytes_.size())};
  uint32_t position_ = 0;
};

}  // namespace cairn
