// CPidl, the extension's item identifier list held as bytes, and the checked reading of lists that
// the shell hands to the extension. Lists handed to the shell are copies in its allocator, owned
// by an IdList until they are given away.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <optional>
#include <vector>

#include "IdList.h"
#include "ItemId.h"

namespace cairn {
namespace shell {

// Byte size of a list of the shell's own items (the archive file's absolute location): the
// shell's walk from Size to Size, bounded in depth. 0 for null or an endless list.
size_t ForeignListBytes(LPCITEMIDLIST list);

// The items of a list of ours (levels below the archive file, or with kMaxContentsItems a
// folder's contents), every item checked; nullopt when the list is null or malformed. An empty
// list gives no items.
std::optional<std::vector<Item>> ReadItems(LPCITEMIDLIST list, size_t maxItems = kMaxListLevels);

// The first item of a list of ours; nullopt when the list is null, empty or malformed.
std::optional<Item> FirstItem(LPCITEMIDLIST list);

// One item identifier list, copied in and out; a value any thread may hold.
class CPidl {
 public:
  // Holds a copy of `list`; a null or empty source leaves nothing held. With `checked` the list
  // must be one of ours with every item sound and at most `maxItems` items (else E_INVALIDARG,
  // and nothing is held); without, it is walked as the shell walks its own lists.
  HRESULT SetPidl(LPCITEMIDLIST list, bool checked = true, size_t maxItems = kMaxListLevels);
  // Holds the held items followed by those of `list` (a list of ours).
  HRESULT Concat(LPCITEMIDLIST list);
  // Appends the bytes of items of ours (no terminator) to the held list.
  void Append(const std::vector<uint8_t>& items);
  // A copy in the shell's allocator, or null when nothing is held or out of memory.
  IdList Clone() const;
  void Reset() { bytes_.clear(); }

  // The list; null when nothing is held.
  LPCITEMIDLIST Get() const { return bytes_.empty() ? nullptr : reinterpret_cast<LPCITEMIDLIST>(bytes_.data()); }
  bool Empty() const { return bytes_.size() <= kListTerminatorSize; }

 private:
  std::vector<uint8_t> bytes_;  // with the terminator; empty when nothing is held
};

// A single-level list of an item's bytes, in the shell's allocator; null when out of memory.
IdList SingleItemList(const uint8_t* item, size_t itemBytes);

}  // namespace shell
}  // namespace cairn
