#include "RebuiltContent.h"

#include <cstring>
#include <exception>
#include <string>

namespace cairn {

void RebuiltContent::UnmapFile() {
  view_.Reset();
  mapping_.Reset();
  capacity_ = 0;
}

HRESULT RebuiltContent::MapFile(uint64_t capacity) {
  UnmapFile();
  mapping_.Reset(CreateFileMappingW(file_.Get(), nullptr, PAGE_READWRITE, static_cast<DWORD>(capacity >> 32),
                                    static_cast<DWORD>(capacity), nullptr));
  if (!mapping_) return E_OUTOFMEMORY;
  view_.Reset(MapViewOfFile(mapping_.Get(), FILE_MAP_WRITE, 0, 0, static_cast<SIZE_T>(capacity)));
  if (!view_) {
    mapping_.Reset();
    return E_OUTOFMEMORY;
  }
  capacity_ = capacity;
  return S_OK;
}

HRESULT RebuiltContent::Resize(uint32_t size) {
  if (!file_ && size <= kMemoryLimit) {
    try {
      memory_.resize(size, 0);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    size_ = size;
    return S_OK;
  }
  if (!file_) {
    wchar_t folder[MAX_PATH + 1], name[MAX_PATH + 1];
    if (GetTempPathW(MAX_PATH + 1, folder) == 0 || GetTempFileNameW(folder, L"str", 0, name) == 0) return E_FAIL;
    file_.Reset(CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!file_) {
      DeleteFileW(name);
      return E_FAIL;
    }
  }
  if (size > capacity_) {
    // Grow by at least half again, so that a content written piece by piece maps a few times only.
    uint64_t capacity = std::max<uint64_t>(size, capacity_ + capacity_ / 2);
    capacity = (capacity + 0xFFFF) & ~uint64_t{0xFFFF};
    const std::vector<uint8_t> spill = std::move(memory_);
    const uint32_t kept = std::min<uint32_t>(size_, static_cast<uint32_t>(spill.size()));
    HRESULT hr = MapFile(capacity);
    if (FAILED(hr)) return hr;
    if (kept != 0) std::memcpy(Bytes(), spill.data(), kept);
    memory_.clear();
  }
  if (size > size_) std::memset(Bytes() + size_, 0, size - size_);  // the file's tail may hold old bytes
  size_ = size;
  return S_OK;
}

void RebuiltContent::Reserve(uint32_t size) {
  if (file_ || size > kMemoryLimit) return;
  try {
    memory_.reserve(size);
  } catch (const std::exception&) {
    // Only a hint: the content grows as it can.
  }
}

HRESULT RebuiltContent::Move(uint32_t to, uint32_t from, uint32_t count) {
  if (static_cast<uint64_t>(to) + count > size_ || static_cast<uint64_t>(from) + count > size_) return E_INVALIDARG;
  std::memmove(Bytes() + to, Bytes() + from, count);
  return S_OK;
}

HRESULT RebuiltContent::Write(uint32_t position, const uint8_t* bytes, uint32_t count) {
  if (static_cast<uint64_t>(position) + count > size_) return E_INVALIDARG;
  if (count != 0) std::memcpy(Bytes() + position, bytes, count);
  return S_OK;
}

HRESULT RebuiltContent::Read(uint32_t position, uint8_t* bytes, uint32_t count) const {
  if (static_cast<uint64_t>(position) + count > size_) return E_INVALIDARG;
  if (count != 0) std::memcpy(bytes, Data() + position, count);
  return S_OK;
}

}  // namespace cairn
