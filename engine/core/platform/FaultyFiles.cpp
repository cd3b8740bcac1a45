#include "FaultyFiles.h"

namespace cairn {
namespace testing {

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
  HRESULT MapAgain(uint64_t fileSize, uint64_t viewOffset, uint8_t** view) override {
    return real_->MapAgain(fileSize, viewOffset, view);
  }
  HRESULT Flush() override { return ++owner_.flushes_ == owner_.failFlush_ ? kWriteFault : real_->Flush(); }

 private:
  static constexpr HRESULT kDiskFull = static_cast<HRESULT>(0x80070070);
  static constexpr HRESULT kWriteFault = static_cast<HRESULT>(0x8007001D);

  // Counts a growth of the file; true when it is one the owner was told to fail.
  bool Refused() {
    const int growth = ++owner_.growths_;
    if (owner_.failGrowth_ == 0) return false;
    if (growth == owner_.failGrowth_ && owner_.note_ != nullptr) owner_.note_();
    return growth == owner_.failGrowth_ || (owner_.diskFull_ && growth > owner_.failGrowth_);
  }

  FaultyFiles& owner_;
  std::unique_ptr<PlatformFile> real_;
};

template <class OpenReal>
HRESULT FaultyFiles::Wrap(OpenReal open, std::unique_ptr<PlatformFile>* file) {
  if (++opens_ == failOpen_) return openResult_;
  std::unique_ptr<PlatformFile> real;
  HRESULT hr = open(&real);
  if (FAILED(hr)) return hr;
  file->reset(new FaultyFile(*this, std::move(real)));
  return S_OK;
}

HRESULT FaultyFiles::Open(const std::string& path, bool create, bool write, std::unique_ptr<PlatformFile>* file) {
  return Wrap([&](std::unique_ptr<PlatformFile>* real) { return real_.Open(path, create, write, real); }, file);
}

HRESULT FaultyFiles::OpenTemporary(std::unique_ptr<PlatformFile>* file) {
  return Wrap([&](std::unique_ptr<PlatformFile>* real) { return real_.OpenTemporary(real); }, file);
}

}  // namespace testing
}  // namespace cairn
