#include "ByteSource.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace cairn {

HRESULT MemorySource::Read(uint8_t* buffer, uint32_t count, uint32_t* read) {
  const size_t left = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
  const uint32_t n = static_cast<uint32_t>(std::min<size_t>(count, left));
  if (n != 0) std::memcpy(buffer, bytes_.data() + position_, n);
  position_ += n;
  if (read != nullptr) *read = n;
  return S_OK;
}

HRESULT MemorySource::Seek(uint32_t position) {
  if (position > bytes_.size()) return E_INVALIDARG;
  position_ = position;
  return S_OK;
}

HRESULT BufferedSource::Hold(uint32_t count) {
  const uint64_t end = static_cast<uint64_t>(start_) + held_.size();
  if (position_ >= start_ && (static_cast<uint64_t>(position_) + count <= end || (ended_ && position_ <= end)))
    return S_OK;
  HRESULT hr = source_.Seek(position_);
  if (FAILED(hr)) return hr;
  const uint32_t want = std::max(count, piece_);
  piece_ = std::min(piece_ * 2, kLargestPiece);
  try {
    held_.resize(want);
  } catch (const std::exception&) {
    return E_OUTOFMEMORY;
  }
  uint32_t got = 0;
  while (got < want) {
    uint32_t n = 0;
    hr = source_.Read(held_.data() + got, want - got, &n);
    if (FAILED(hr)) {
      held_.clear();
      return hr;
    }
    if (n == 0) break;
    got += n;
  }
  held_.resize(got);
  start_ = position_;
  ended_ = got < want;
  return S_OK;
}

HRESULT BufferedSource::Read(uint8_t* buffer, uint32_t count, uint32_t* read) {
  *read = 0;
  while (*read < count) {
    HRESULT hr = Hold(std::min(count - *read, kLargestPiece));
    if (FAILED(hr)) return hr;
    const uint32_t n = std::min<uint32_t>(count - *read, static_cast<uint32_t>(start_ + held_.size() - position_));
    if (n == 0) break;
    std::memcpy(buffer + *read, held_.data() + (position_ - start_), n);
    position_ += n;
    *read += n;
  }
  return S_OK;
}

HRESULT BufferedSource::Seek(uint32_t position) {
  if (position >= start_ && position <= start_ + held_.size()) {
    position_ = position;
    return S_OK;
  }
  HRESULT hr = source_.Seek(position);
  if (SUCCEEDED(hr)) position_ = position;
  return hr;
}

const uint8_t* BufferedSource::View(uint32_t count, uint32_t* got) {
  *got = 0;
  if (FAILED(Hold(count))) return nullptr;
  *got = std::min<uint32_t>(count, static_cast<uint32_t>(start_ + held_.size() - position_));
  return held_.data() + (position_ - start_);
}

}  // namespace cairn
