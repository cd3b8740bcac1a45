#include "RebuiltContent.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>

namespace cairn {

HRESULT RebuiltContent::MapFile(uint64_t capacity) {
  file_->Unmap();
  view_ = nullptr;
  // The disk space is taken before the mapping: writing into a sparse part of a mapping on a full
  // disk faults instead of failing.
  uint8_t* view = nullptr;
  if (SUCCEEDED(file_->Reserve(capacity)) && SUCCEEDED(file_->Map(capacity, 0, &view))) {
    view_ = view;
    capacity_ = capacity;
    return S_OK;
  }
  // The file still holds what it held: map that again. Where even that fails, view_ stays null
  // and the bytes wait in the file for the next Resize.
  if (capacity_ != 0 && SUCCEEDED(file_->Map(capacity_, 0, &view))) view_ = view;
  return E_OUTOFMEMORY;
}

HRESULT RebuiltContent::Resize(uint32_t size) {
  if (!file_ && size <= memoryLimit_) {
    try {
      memory_.resize(size, 0);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    size_ = size;
    return S_OK;
  }
  if (!file_ && FAILED(files_.OpenTemporary(&file_))) {
    file_.reset();
    return E_FAIL;
  }
  if (size > capacity_ || view_ == nullptr) {
    // Grow by at least half again, so that a content written piece by piece maps a few times only;
    // a file that lost its mapping and is large enough is mapped again as it was.
    uint64_t capacity = capacity_;
    if (size > capacity_) {
      capacity = std::max<uint64_t>(size, capacity_ + capacity_ / 2);
      capacity = (capacity + 0xFFFF) & ~uint64_t{0xFFFF};
    }
    const bool moving = capacity_ == 0;  // the content is still in memory
    if (FAILED(MapFile(capacity))) {
      if (moving) file_.reset();  // and stays there
      return E_OUTOFMEMORY;
    }
    if (moving) {
      const uint32_t kept = std::min<uint32_t>(size_, static_cast<uint32_t>(memory_.size()));
      if (kept != 0) std::memcpy(view_, memory_.data(), kept);
      std::vector<uint8_t>().swap(memory_);
    }
  }
  if (size > size_) std::memset(view_ + size_, 0, size - size_);  // the file's tail may hold old bytes
  size_ = size;
  return S_OK;
}

void RebuiltContent::Reserve(uint32_t size) {
  if (file_ || size > memoryLimit_) return;
  try {
    memory_.reserve(size);
  } catch (const std::exception&) {
    // Only a hint: the content grows as it can.
  }
}

HRESULT RebuiltContent::Check(uint32_t position, uint32_t count) const {
  if (static_cast<uint64_t>(position) + count > size_) return E_INVALIDARG;
  return count == 0 || Data() != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT RebuiltContent::Move(uint32_t to, uint32_t from, uint32_t count) {
  HRESULT hr = Check(to, count);
  if (SUCCEEDED(hr)) hr = Check(from, count);
  if (FAILED(hr)) return hr;
  if (count != 0) std::memmove(Bytes() + to, Bytes() + from, count);
  return S_OK;
}

HRESULT RebuiltContent::Write(uint32_t position, const uint8_t* bytes, uint32_t count) {
  const HRESULT hr = Check(position, count);
  if (FAILED(hr)) return hr;
  if (count != 0) std::memcpy(Bytes() + position, bytes, count);
  return S_OK;
}

HRESULT RebuiltContent::Read(uint32_t position, uint8_t* bytes, uint32_t count) const {
  const HRESULT hr = Check(position, count);
  if (FAILED(hr)) return hr;
  if (count != 0) std::memcpy(bytes, Data() + position, count);
  return S_OK;
}

}  // namespace cairn
