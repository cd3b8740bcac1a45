#include "MemoryFiles.h"

namespace cairn {
namespace testing {
namespace {

class MemoryFile final : public PlatformFile {
 public:
  MemoryFile(std::vector<uint8_t>& bytes, bool write) : bytes_(bytes), write_(write) {}

  uint64_t Size() const override { return bytes_.size(); }

  HRESULT Map(uint64_t fileSize, uint64_t viewOffset, uint8_t** view) override {
    *view = nullptr;
    if (mapped_ || fileSize <= viewOffset) return E_FAIL;
    if (fileSize > bytes_.size()) {
      if (!write_) return E_ACCESSDENIED;
      bytes_.resize(static_cast<size_t>(fileSize), 0);
    }
    mapped_ = true;
    *view = bytes_.data() + viewOffset;
    return S_OK;
  }

  void Unmap() override { mapped_ = false; }

  HRESULT Reserve(uint64_t fileSize) override {
    if (mapped_) return E_FAIL;
    if (fileSize <= bytes_.size()) return S_OK;
    if (!write_) return E_ACCESSDENIED;
    bytes_.resize(static_cast<size_t>(fileSize), 0);
    return S_OK;
  }

  HRESULT Truncate(uint64_t fileSize) override {
    if (mapped_) return E_FAIL;
    if (!write_) return E_ACCESSDENIED;
    bytes_.resize(static_cast<size_t>(fileSize), 0);
    return S_OK;
  }

  HRESULT Flush() override { return S_OK; }

 private:
  std::vector<uint8_t>& bytes_;
  bool write_;
  bool mapped_ = false;
};

}  // namespace

HRESULT MemoryFiles::Open(const std::string& path, bool create, bool write, std::unique_ptr<PlatformFile>* file) {
  auto found = files_.find(path);
  if (found == files_.end()) {
    if (!create) return static_cast<HRESULT>(0x80070002);  // file not found
    found = files_.emplace(path, std::vector<uint8_t>()).first;
  }
  file->reset(new MemoryFile(found->second, write));
  return S_OK;
}

HRESULT MemoryFiles::OpenTemporary(std::unique_ptr<PlatformFile>* file) {
  return Open("temporary " + std::to_string(++temporaries_), true, true, file);
}

}  // namespace testing
}  // namespace cairn
