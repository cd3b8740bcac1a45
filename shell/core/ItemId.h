// The extension's item record (_ITEM) as bytes: reading and checking item identifier lists that
// come from the shell, and building items and lists. Portable: no Windows headers, so the checks
// are tested under the sanitizers and fuzzed on every host.
//
// Item identifiers come back from shortcuts, saved view state, the clipboard and other programs:
// they are untrusted. Nothing here reads a byte outside the list it was given.
//
// Layout of one item (little-endian, offsets from the item's start):
//   0 Size (u16, the whole item)   2 reserved (u16)           4 Attributes (u32)
//   8 LastSnapShotChanged (i32)   12 Revision (i32)          16 ItemSize (u64)
//  24 AccessDateTime (u64)        32 CreationDateTime (u64)  40 ModificationDateTime (u64)
//  48 Name, NUL-terminated, then optionally a second NUL-terminated string.
// A built item's Size is 56 + length of Name, plus length of the second string + 1 when there
// is one; a list is items back to back, ended by a zero u16.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cairn {
namespace shell {

inline constexpr size_t kItemNameOffset = 48;
inline constexpr size_t kItemMinSize = 56;
inline constexpr size_t kItemMaxSize = 0xFFFF;
inline constexpr size_t kListTerminatorSize = 2;
// No list of ours is deeper: object names are paths of at most 259 characters.
inline constexpr size_t kMaxListLevels = 256;
// A folder's contents list holds its children back to back, as many as the folder has; the bound
// only ends a walk that finds no end.
inline constexpr size_t kMaxContentsItems = size_t{1} << 20;

// Windows file attributes the extension reads, and its own bits above them.
inline constexpr uint32_t kAttributeReadOnly = 0x01;
inline constexpr uint32_t kAttributeHidden = 0x02;
inline constexpr uint32_t kAttributeSystem = 0x04;
inline constexpr uint32_t kAttributeFolder = 0x10;
inline constexpr uint32_t kHasSubfoldersBit = 0x01000000;
inline constexpr uint32_t kDeletableBit = 0x02000000;
inline constexpr uint32_t kRenamableBit = 0x04000000;

// The name an item gets when the engine cannot give one.
inline constexpr std::string_view kUnknownItemName = "*****";

// The fixed fields of an item; times are FILETIMEs as 64-bit numbers (high half << 32 | low).
struct ItemFields {
  uint32_t attributes = 0;
  int32_t lastSnapShotChanged = 0;
  int32_t revision = 0;
  uint64_t itemSize = 0;
  uint64_t accessTime = 0;
  uint64_t creationTime = 0;
  uint64_t modificationTime = 0;
};

// One checked item; the views point into the bytes it was read from.
struct Item {
  ItemFields fields;
  std::string_view name;
  std::optional<std::string_view> second;  // the comment or the created-in snapshot's name
  size_t size = 0;                         // the item's Size
  const uint8_t* data = nullptr;           // the item's first byte
  bool IsFolder() const { return (fields.attributes & kAttributeFolder) != 0; }
};

// Reads the item at data, of which `available` bytes belong to the list. Fails (nullopt) when
// fewer than 56 bytes are available, Size is below 56 or beyond `available`, or Name does not
// end inside the item. Bytes after Name's terminator are a second string when Size leaves room
// for more than the padding of a plain item (Size > 56 + length of Name); that string must end
// inside the item too.
std::optional<Item> ReadItem(const uint8_t* data, size_t available);

// The byte size of the list at data, read as the shell walks lists (each Size leads to the
// next item) but never beyond `limit` bytes and `maxItems` items, and with every Size at least
// 56. nullopt when the walk leaves those bounds or meets a Size below 56 but not 0.
std::optional<size_t> ListBytes(const uint8_t* data, size_t limit, size_t maxItems = kMaxListLevels);

// Every item of a list of `bytes` bytes (items then the terminator); nullopt when any item is
// malformed, an item runs past the terminator's place, or the list holds more than `maxItems`
// items. An empty list (the terminator alone) gives no items.
std::optional<std::vector<Item>> ReadList(const uint8_t* data, size_t bytes, size_t maxItems = kMaxListLevels);

// The bytes of one item (without a terminator), following the Size rule. Name and the second
// string are cut, the second first, so that Size fits its 16 bits.
std::vector<uint8_t> BuildItem(const ItemFields& fields, std::string_view name,
                               const std::optional<std::string_view>& second = std::nullopt);

// The item of an object or snapshot whose name the engine cannot give: Name "*****", no second
// string, and Size 56 (the name fits the fixed size).
std::vector<uint8_t> BuildUnknownItem(const ItemFields& fields);

}  // namespace shell
}  // namespace cairn
