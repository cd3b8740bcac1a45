// Where a Stream keeps a content it rebuilt or was written: in memory while small, then in a
// temporary file of the engine's platform layer (deleted when closed), mapped into memory with
// room to grow, so that a large rebuild neither fills the process's memory nor remaps per write.
#pragma once

#include <memory>
#include <vector>

#include "ContentStore.h"
#include "EngineFiles.h"
#include "PlatformFile.h"

namespace cairn {

class RebuiltContent final : public ContentStore {
 public:
  // Contents up to this size stay in memory: a 64-bit engine has the room, and a rebuild there
  // costs no file mapping growing and being written back under it.
  static constexpr uint32_t kMemoryLimit = 512u << 20;

  // Contents larger than memoryLimit go to a temporary file of files.
  explicit RebuiltContent(PlatformFiles& files = EngineFiles(), uint32_t memoryLimit = kMemoryLimit)
      : files_(files), memoryLimit_(memoryLimit) {}
  RebuiltContent(const RebuiltContent&) = delete;
  RebuiltContent& operator=(const RebuiltContent&) = delete;

  uint32_t Size() const override { return size_; }
  // Resize: E_FAIL when the temporary file cannot be made, E_OUTOFMEMORY when the content cannot
  // grow (no memory, a full disk). The content keeps its size and bytes either way.
  HRESULT Resize(uint32_t size) override;
  // Reserve: room in memory for a content that stays there.
  void Reserve(uint32_t size) override;
  // Move, Write and Read fail with E_OUTOFMEMORY while the temporary file cannot be mapped (after
  // a failed growth could not map it again as it was); its bytes stay in the file, and a later
  // Resize maps it again.
  HRESULT Move(uint32_t to, uint32_t from, uint32_t count) override;
  HRESULT Write(uint32_t position, const uint8_t* bytes, uint32_t count) override;
  HRESULT Read(uint32_t position, uint8_t* bytes, uint32_t count) const override;

  // The bytes, valid until the next Resize; null when the temporary file is not mapped.
  const uint8_t* Data() const { return file_ ? view_ : memory_.data(); }
  // The same bytes to fill in place (a file read straight into its copy).
  uint8_t* MutableData() { return Bytes(); }
  bool InTemporaryFile() const { return file_ != nullptr; }

 private:
  uint8_t* Bytes() { return file_ ? view_ : memory_.data(); }
  // S_OK when count bytes at position lie inside the content and can be reached.
  HRESULT Check(uint32_t position, uint32_t count) const;
  // Maps capacity bytes of the file, taking their disk space first; on failure the mapping it had
  // is put back where it can be.
  HRESULT MapFile(uint64_t capacity);

  PlatformFiles& files_;
  const uint32_t memoryLimit_;
  std::vector<uint8_t> memory_;
  std::unique_ptr<PlatformFile> file_;
  uint8_t* view_ = nullptr;
  uint64_t capacity_ = 0;  // bytes of the file in use (mapped unless view_ is null)
  uint32_t size_ = 0;
};

}  // namespace cairn
