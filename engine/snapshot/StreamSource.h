// An IStream read as the revision store reads its contents: in place when it is an engine Stream
// that has its content at hand, else through calls.
#pragma once

#include <windows.h>
#include <objidl.h>

#include "ByteSource.h"
#include "ComPtr.h"
#include "StreamContent.h"

namespace cairn {

class StreamSource final : public ByteSource {
 public:
  explicit StreamSource(IStream* stream) : stream_(stream) {
    if (stream != nullptr) stream->QueryInterface(__uuidof(IStreamContent), content_.OutVoid());
  }
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
  HRESULT Size(uint32_t* size) override {
    LARGE_INTEGER none = {};
    ULARGE_INTEGER end = {};
    HRESULT hr = stream_->Seek(none, STREAM_SEEK_END, &end);
    if (SUCCEEDED(hr)) hr = Seek(position_);
    if (SUCCEEDED(hr) && end.QuadPart > UINT32_MAX) hr = E_FAIL;
    *size = SUCCEEDED(hr) ? static_cast<uint32_t>(end.QuadPart) : 0;
    return hr;
  }
  ContentView* Direct() override { return content_ ? content_->View() : nullptr; }
  HRESULT Verify() override { return content_ ? content_->Verify() : S_OK; }

 private:
  ComPtr<IStream> stream_;
  ComPtr<IStreamContent> content_;
  uint32_t position_ = 0;
};

}  // namespace cairn
