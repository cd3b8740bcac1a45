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

class FaultyFile final : public PlatformFile {
 public:
  FaultyFile(FaultyFiles& owner, std::unique_ptr<PlatformFile> real) : owner_(owner), real_(std::move(real)) {}

  uint64_t Size() const override { return real_->Size(); }

  HRESULT Map(uint64_t fileSize, uint64_t viewOffset, uint8_t** view) override {
    *view = nullptr;
    const int map = ++owner_.maps_;
    if (owner_.failMap_ != 0 && map >= owner_.failMap_ && map < owner_.failMap_ + owner_.failMaps_)
      return owner_.mapResult_;
    if (fileSize > real_->Size() && Refused()) return kDiskFull;
    return real_->Map(fileSize, viewOffset, view);
  }

  HRESULT Reserve(uint64_t fileSize) override {
    if (fileSize > real_->Size() && Refused()) return kDiskFull;
    return real_->Reserve(fileSize);
  }

  HRESULT Truncate(uint64_t fileSize) override {
    ++owner_.truncations_;
    return owner_.failTruncate_ ? E_ACCESSDENIED : real_->Truncate(fileSize);
  }

  void Unmap() override { real_->Unmap(); }
  HRESULT Flush() override { return real_->Flush(); }

 private:
  static constexpr HRESULT kDiskFull = static_cast<HRESULT>(0x80070070);

  // Counts a growth of the file; true when it is one the owner was told to fail.
  bool Refused() {
    const int growth = ++owner_.growths_;
    return owner_.failGrowth_ != 0 &&
           (growth == owner_.failGrowth_ || (owner_.diskFull_ && growth > owner_.failGrowth_));
  }

  FaultyFiles& owner_;
  std::unique_ptr<PlatformFile> real_;
};

HRESULT FaultyFiles::Open(const std::string& path, bool create, bool write, std::unique_ptr<PlatformFile>* file) {
  if (++opens_ == failOpen_) return openResult_;
  std::unique_ptr<PlatformFile> real;
  HRESULT hr = real_.Open(path, create, write, &real);
  if (FAILED(hr)) return hr;
  file->reset(new FaultyFile(*this, std::move(real)));
  return S_OK;
}

}  // namespace testing
}  // namespace cairn
