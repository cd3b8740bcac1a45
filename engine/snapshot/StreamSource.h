// An IStream read as the difference pass reads its contents.
#pragma once

#include <windows.h>
#include <objidl.h>

#include "ByteSource.h"
#include "ComPtr.h"

namespace cairn {

class StreamSource final : public ByteSource {
 public:
  explicit StreamSource(IStream* stream) : stream_(stream) {}
  HRESULT Read(uint8_t* buffer, uint32_t count, uint32_t* read) override {
    ULONG n = 0;
    HRESULT hr = stream_->Read(buffer, count, &n);
    *read = SUCCEEDED(hr) ? n : 0;
    position_ += *read;
    return FAILED(hr) ? hr : S_OK;
  }
  HRESULT Seek(uint32_t position) override {
    LARGE_INTEGER move;
    move.QuadPart = position;
    HRESULT hr = stream_->Seek(move, STREAM_SEEK_SET, nullptr);
    if (SUCCEEDED(hr)) position_ = position;
    return hr;
  }
  uint32_t Position() const override { return position_; }

 private:
  ComPtr<IStream> stream_;
  uint32_t position_ = 0;
};

}  // namespace cairn
