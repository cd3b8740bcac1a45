#include "Pidl.h"

#include <cstring>

namespace cairn {
namespace shell {
namespace {

// Lists are walked no further than their most items of the largest size.
size_t ListLimit(size_t maxItems) {
  const size_t most = static_cast<size_t>(-1);
  return maxItems > (most - kListTerminatorSize) / kItemMaxSize ? most
                                                               : maxItems * kItemMaxSize + kListTerminatorSize;
}

const uint8_t* BytesOf(LPCITEMIDLIST list) { return reinterpret_cast<const uint8_t*>(list); }

// The byte size of a list of ours whose every item is sound; 0 when it is malformed.
size_t OurListBytes(LPCITEMIDLIST list, size_t maxItems) {
  const std::optional<size_t> bytes = ListBytes(BytesOf(list), ListLimit(maxItems), maxItems);
  return bytes && ReadList(BytesOf(list), *bytes, maxItems) ? *bytes : 0;
}

}  // namespace

size_t ForeignListBytes(LPCITEMIDLIST list) {
  if (list == nullptr) return 0;
  size_t offset = 0;
  for (size_t level = 0; level <= kMaxListLevels; ++level) {
    const USHORT size = reinterpret_cast<const SHITEMID*>(BytesOf(list) + offset)->cb;
    if (size == 0) return offset + kListTerminatorSize;
    if (size < kListTerminatorSize) return 0;
    offset += size;
  }
  return 0;
}

std::optional<std::vector<Item>> ReadItems(LPCITEMIDLIST list, size_t maxItems) {
  const std::optional<size_t> bytes = ListBytes(BytesOf(list), ListLimit(maxItems), maxItems);
  if (!bytes) return std::nullopt;
  return ReadList(BytesOf(list), *bytes, maxItems);
}

std::optional<Item> FirstItem(LPCITEMIDLIST list) {
  std::optional<std::vector<Item>> items = ReadItems(list);
  if (!items || items->empty()) return std::nullopt;
  return items->front();
}

CPidl::CPidl() {
  if (FAILED(SHGetMalloc(allocator_.Out()))) allocator_.Reset();
}

void CPidl::Reset() {
  if (list_ != nullptr && allocator_) allocator_->Free(list_);
  list_ = nullptr;
  bytes_ = 0;
}

HRESULT CPidl::Replace(const uint8_t* head, size_t headBytes, const uint8_t* tail, size_t tailBytes) {
  if (!allocator_) return E_OUTOFMEMORY;
  const size_t total = headBytes + tailBytes + kListTerminatorSize;
  auto* copy = static_cast<uint8_t*>(allocator_->Alloc(static_cast<SIZE_T>(total)));
  if (copy == nullptr) return E_OUTOFMEMORY;
  if (headBytes != 0) std::memcpy(copy, head, headBytes);
  if (tailBytes != 0) std::memcpy(copy + headBytes, tail, tailBytes);
  copy[total - 2] = copy[total - 1] = 0;
  Reset();
  list_ = reinterpret_cast<LPITEMIDLIST>(copy);
  bytes_ = total;
  return S_OK;
}

HRESULT CPidl::SetPidl(LPCITEMIDLIST list, bool checked, size_t maxItems) {
  const size_t bytes = checked ? OurListBytes(list, maxItems) : ForeignListBytes(list);
  if (bytes <= kListTerminatorSize) {
    Reset();
    return list == nullptr || bytes != 0 ? S_OK : E_INVALIDARG;
  }
  return Replace(BytesOf(list), bytes - kListTerminatorSize, nullptr, 0);
}

HRESULT CPidl::Concat(LPCITEMIDLIST list) {
  const size_t bytes = OurListBytes(list, kMaxListLevels);
  if (bytes == 0) return list == nullptr ? S_OK : E_INVALIDARG;
  const size_t held = Empty() ? 0 : bytes_ - kListTerminatorSize;
  return Replace(BytesOf(list_), held, BytesOf(list), bytes - kListTerminatorSize);
}

HRESULT CPidl::Append(const std::vector<uint8_t>& items) {
  const size_t held = Empty() ? 0 : bytes_ - kListTerminatorSize;
  return Replace(BytesOf(list_), held, items.data(), items.size());
}

LPITEMIDLIST CPidl::Clone() const {
  if (list_ == nullptr || !allocator_) return nullptr;
  void* copy = allocator_->Alloc(static_cast<SIZE_T>(bytes_));
  if (copy != nullptr) std::memcpy(copy, list_, bytes_);
  return static_cast<LPITEMIDLIST>(copy);
}

LPITEMIDLIST AllocateSingleItemList(const uint8_t* item, size_t itemBytes) {
  auto* list = static_cast<uint8_t*>(CoTaskMemAlloc(itemBytes + kListTerminatorSize));
  if (list == nullptr) return nullptr;
  std::memcpy(list, item, itemBytes);
  list[itemBytes] = list[itemBytes + 1] = 0;
  return reinterpret_cast<LPITEMIDLIST>(list);
}

}  // namespace shell
}  // namespace cairn
