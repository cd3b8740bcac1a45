#include "ContentView.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace cairn {

bool CopyOut(ContentView& view, uint32_t position, uint32_t count, uint8_t* out) {
  while (count != 0) {
    uint32_t got = 0;
    const uint8_t* bytes = view.Run(position, count, &got);
    if (bytes == nullptr || got == 0) return false;
    got = std::min(got, count);
    // out may lie in the archive that the view reads (a new data block filled from an old one).
    std::memmove(out, bytes, got);
    out += got;
    position += got;
    count -= got;
  }
  return true;
}

const uint8_t* Together(ContentView& view, uint32_t position, uint32_t count, std::vector<uint8_t>& scratch) {
  uint32_t got = 0;
  const uint8_t* bytes = view.Run(position, count, &got);
  if (bytes != nullptr && got >= count) return bytes;
  try {
    if (scratch.size() < count) scratch.resize(count);
  } catch (const std::exception&) {
    return nullptr;
  }
  return CopyOut(view, position, count, scratch.data()) ? scratch.data() : nullptr;
}

const uint8_t* MemoryView::Run(uint32_t position, uint32_t most, uint32_t* got) {
  static const uint8_t kNothing = 0;  // an empty content has no address of its own
  *got = position < size_ ? std::min(most, size_ - position) : 0;
  return bytes_ != nullptr ? bytes_ + std::min(position, size_) : &kNothing;
}

WindowView::WindowView(ByteSource& source) : source_(source) { failed_ = FAILED(source.Size(&size_)); }

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

const uint8_t* WindowView::Run(uint32_t position, uint32_t most, uint32_t* got) {
  *got = 0;
  if (failed_ || position > size_) return nullptr;
  most = std::min(most, size_ - position);
  const uint64_t end = static_cast<uint64_t>(start_) + held_.size();
  if (position < start_ || position >= end || (position == end && most == 0)) {
    // Read a new window at position, large enough for what is asked.
    const uint32_t want = std::min(size_ - position, std::max(most, piece_));
    piece_ = std::min(piece_ * 2, kLargestPiece);
    try {
      held_.resize(want);
    } catch (const std::exception&) {
      held_.clear();
      return nullptr;
    }
    start_ = position;
    uint32_t done = 0;
    if (FAILED(source_.Seek(position))) done = UINT32_MAX;
    while (done < want) {
      uint32_t n = 0;
      if (FAILED(source_.Read(held_.data() + done, want - done, &n)) || n == 0) break;
      done += n;
    }
    if (done != want) {  // a failed read, or a content shorter than its size said
      held_.clear();
      return nullptr;
    }
  }
  *got = std::min<uint32_t>(most, static_cast<uint32_t>(start_ + held_.size() - position));
  return held_.data() + (position - start_);
}

}  // namespace cairn
