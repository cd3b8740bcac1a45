#include "ContentStore.h"

#include <cstring>
#include <new>
#include <stdexcept>

namespace cairn {
namespace {

bool Inside(uint32_t position, uint32_t count, size_t size) {
  return static_cast<uint64_t>(position) + count <= size;
}

}  // namespace

HRESULT MemoryContent::Resize(uint32_t size) {
  try {
    bytes_.resize(size, 0);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::length_error&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT MemoryContent::Move(uint32_t to, uint32_t from, uint32_t count) {
  if (!Inside(to, count, bytes_.size()) || !Inside(from, count, bytes_.size())) return E_INVALIDARG;
  if (count != 0 && to != from) std::memmove(bytes_.data() + to, bytes_.data() + from, count);
  return S_OK;
}

HRESULT MemoryContent::Write(uint32_t position, const uint8_t* bytes, uint32_t count) {
  if (!Inside(position, count, bytes_.size())) return E_INVALIDARG;
  if (count != 0) std::memmove(bytes_.data() + position, bytes, count);
  return S_OK;
}

HRESULT MemoryContent::Read(uint32_t position, uint8_t* bytes, uint32_t count) const {
  if (!Inside(position, count, bytes_.size())) return E_INVALIDARG;
  if (count != 0) std::memcpy(bytes, bytes_.data() + position, count);
  return S_OK;
}

}  // namespace cairn
