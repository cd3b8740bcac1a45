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

HRESULT CPidl::SetPidl(LPCITEMIDLIST list, bool checked, size_t maxItems) {
  const size_t bytes = checked ? OurListBytes(list, maxItems) : ForeignListBytes(list);
  Reset();
  if (bytes <= kListTerminatorSize) return list == nullptr || bytes != 0 ? S_OK : E_INVALIDARG;
  bytes_.assign(BytesOf(list), BytesOf(list) + bytes);
  return S_OK;
}

HRESULT CPidl::Concat(LPCITEMIDLIST list) {
  const size_t bytes = OurListBytes(list, kMaxListLevels);
  if (bytes == 0) return list == nullptr ? S_OK : E_INVALIDARG;
  Append(std::vector<uint8_t>(BytesOf(list), BytesOf(list) + bytes - kListTerminatorSize));
  return S_OK;
}

void CPidl::Append(const std::vector<uint8_t>& items) {
  // The held terminator goes; the new items end with one of their own.
  if (!bytes_.empty()) bytes_.resize(bytes_.size() - kListTerminatorSize);
  bytes_.insert(bytes_.end(), items.begin(), items.end());
  bytes_.insert(bytes_.end(), kListTerminatorSize, 0);
}

IdList CPidl::Clone() const {
  if (bytes_.empty()) return IdList();
  IdList copy(static_cast<ITEMIDLIST*>(CoTaskMemAlloc(bytes_.size())));
  if (copy) std::memcpy(copy.Get(), bytes_.data(), bytes_.size());
  return copy;
}

IdList SingleItemList(const uint8_t* item, size_t itemBytes) {
  IdList list(static_cast<ITEMIDLIST*>(CoTaskMemAlloc(itemBytes + kListTerminatorSize)));
  if (!list) return list;
  auto* bytes = reinterpret_cast<uint8_t*>(list.Get());
  std::memcpy(bytes, item, itemBytes);
  bytes[itemBytes] = bytes[itemBytes + 1] = 0;
  return list;
}

}  // namespace shell
}  // namespace cairn
