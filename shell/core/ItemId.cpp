#include "ItemId.h"

#include <algorithm>
#include <cstring>

#include "ByteOrder.h"

namespace cairn {
namespace shell {
namespace {

uint16_t LoadLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

void StoreLE16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

// Length of the NUL-terminated text in [begin, end), or nullopt without a terminator there.
std::optional<size_t> TerminatedLength(const uint8_t* begin, const uint8_t* end) {
  const void* nul = std::memchr(begin, 0, static_cast<size_t>(end - begin));
  if (nul == nullptr) return std::nullopt;
  return static_cast<size_t>(static_cast<const uint8_t*>(nul) - begin);
}

}  // namespace

std::optional<Item> ReadItem(const uint8_t* data, size_t available) {
  if (data == nullptr || available < kItemMinSize) return std::nullopt;
  const size_t size = LoadLE16(data);
  if (size < kItemMinSize || size > available) return std::nullopt;
  const uint8_t* end = data + size;
  const std::optional<size_t> nameLength = TerminatedLength(data + kItemNameOffset, end);
  if (!nameLength) return std::nullopt;

  Item item;
  item.size = size;
  item.data = data;
  item.fields.attributes = LoadLE32(data + 4);
  item.fields.lastSnapShotChanged = static_cast<int32_t>(LoadLE32(data + 8));
  item.fields.revision = static_cast<int32_t>(LoadLE32(data + 12));
  item.fields.itemSize = LoadLE64(data + 16);
  item.fields.accessTime = LoadLE64(data + 24);
  item.fields.creationTime = LoadLE64(data + 32);
  item.fields.modificationTime = LoadLE64(data + 40);
  item.name = std::string_view(reinterpret_cast<const char*>(data + kItemNameOffset), *nameLength);
  if (size > kItemMinSize + *nameLength) {
    const uint8_t* second = data + kItemNameOffset + *nameLength + 1;
    const std::optional<size_t> secondLength = TerminatedLength(second, end);
    if (!secondLength) return std::nullopt;
    item.second = std::string_view(reinterpret_cast<const char*>(second), *secondLength);
  }
  return item;
}

std::optional<size_t> ListBytes(const uint8_t* data, size_t limit, size_t maxItems) {
  if (data == nullptr) return std::nullopt;
  size_t offset = 0;
  for (size_t level = 0; level <= maxItems; ++level) {
    if (limit - offset < kListTerminatorSize) return std::nullopt;
    const size_t size = LoadLE16(data + offset);
    if (size == 0) return offset + kListTerminatorSize;
    if (size < kItemMinSize || size > limit - offset) return std::nullopt;
    offset += size;
  }
  return std::nullopt;
}

std::optional<std::vector<Item>> ReadList(const uint8_t* data, size_t bytes, size_t maxItems) {
  if (data == nullptr || bytes < kListTerminatorSize) return std::nullopt;
  const size_t itemBytes = bytes - kListTerminatorSize;
  std::vector<Item> items;
  size_t offset = 0;
  while (offset < itemBytes) {
    if (items.size() == maxItems) return std::nullopt;
    std::optional<Item> item = ReadItem(data + offset, itemBytes - offset);
    if (!item) return std::nullopt;
    offset += item->size;
    items.push_back(*item);
  }
  if (LoadLE16(data + itemBytes) != 0) return std::nullopt;
  return items;
}

std::vector<uint8_t> BuildItem(const ItemFields& fields, std::string_view name,
                               const std::optional<std::string_view>& second) {
  // Neither text may hold a NUL of its own: it would end the string early on reading.
  name = name.substr(0, std::min(name.find('\0'), kItemMaxSize - kItemMinSize));
  std::optional<std::string_view> tail = second;
  if (tail) {
    const size_t room = kItemMaxSize - kItemMinSize - name.size();
    if (room == 0)
      tail.reset();
    else
      tail = tail->substr(0, std::min(tail->find('\0'), room - 1));
  }
  const size_t size = kItemMinSize + name.size() + (tail ? tail->size() + 1 : 0);

  std::vector<uint8_t> item(size, 0);
  StoreLE16(item.data(), static_cast<uint16_t>(size));
  StoreLE32(item.data() + 4, fields.attributes);
  StoreLE32(item.data() + 8, static_cast<uint32_t>(fields.lastSnapShotChanged));
  StoreLE32(item.data() + 12, static_cast<uint32_t>(fields.revision));
  StoreLE64(item.data() + 16, fields.itemSize);
  StoreLE64(item.data() + 24, fields.accessTime);
  StoreLE64(item.data() + 32, fields.creationTime);
  StoreLE64(item.data() + 40, fields.modificationTime);
  std::memcpy(item.data() + kItemNameOffset, name.data(), name.size());
  if (tail) std::memcpy(item.data() + kItemNameOffset + name.size() + 1, tail->data(), tail->size());
  return item;
}

std::vector<uint8_t> BuildUnknownItem(const ItemFields& fields) {
  std::vector<uint8_t> item = BuildItem(fields, kUnknownItemName);
  item.resize(kItemMinSize);
  StoreLE16(item.data(), static_cast<uint16_t>(kItemMinSize));
  return item;
}

}  // namespace shell
}  // namespace cairn
