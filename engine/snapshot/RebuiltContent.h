// Where a Stream keeps a content it rebuilt or was written: in memory while small, then in a
// temporary file of the user's temporary folder (deleted when closed), mapped into memory with
// room to grow, so that a large rebuild neither fills the process's memory nor remaps per write.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "ContentStore.h"
#include "Handle.h"
#include "MappedView.h"

namespace cairn {

class RebuiltContent final : public ContentStore {
 public:
  // Contents up to this size stay in memory: a 64-bit engine has the room, and a rebuild there
  // costs no file mapping growing and being written back under it.
  static constexpr uint32_t kMemoryLimit = 512u << 20;

  RebuiltContent() = default;
  ~RebuiltContent() override = default;
  RebuiltContent(const RebuiltContent&) = delete;
  RebuiltContent& operator=(const RebuiltContent&) = delete;

  uint32_t Size() const override { return size_; }
  HRESULT Resize(uint32_t size) override;
  // Reserve: room in memory for a content that stays there.
  void Reserve(uint32_t size) override;
  HRESULT Move(uint32_t to, uint32_t from, uint32_t count) override;
  HRESULT Write(uint32_t position, const uint8_t* bytes, uint32_t count) override;
  HRESULT Read(uint32_t position, uint8_t* bytes, uint32_t count) const override;

  // The bytes, valid until the next Resize.
  const uint8_t* Data() const { return file_ ? static_cast<uint8_t*>(view_.Get()) : memory_.data(); }
  bool InTemporaryFile() const { return static_cast<bool>(file_); }

 private:
  uint8_t* Bytes() { return file_ ? static_cast<uint8_t*>(view_.Get()) : memory_.data(); }
  HRESULT MapFile(uint64_t capacity);
  void UnmapFile();

  std::vector<uint8_t> memory_;
  Handle file_;
  Handle mapping_;
  MappedView view_;  // declared after the mapping: unmapped before it is closed
  uint64_t capacity_ = 0;  // bytes mapped
  uint32_t size_ = 0;
};

}  // namespace cairn
