#include "ByteSource.h"

#include <algorithm>
#include <cstring>

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

}  // namespace cairn
