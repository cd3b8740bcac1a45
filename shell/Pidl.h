// CPidl, the owner of one item identifier list in the shell's allocator, and the checked reading
// of lists that the shell hands to the extension.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <optional>
#include <vector>

#include "ComPtr.h"
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

class CPidl {
 public:
  CPidl();
  ~CPidl() { Reset(); }
  CPidl(const CPidl&) = delete;
  CPidl& operator=(const CPidl&) = delete;

  // Frees the held list and holds a copy of `list`; a null or empty source leaves nothing held.
  // With `checked` the list must be one of ours with every item sound and at most `maxItems`
  // items (else E_INVALIDARG); without, it is walked as the shell walks its own lists.
  HRESULT SetPidl(LPCITEMIDLIST list, bool checked = true, size_t maxItems = kMaxListLevels);
  // Replaces the held list by the held items followed by those of `list` (a list of ours).
  HRESULT Concat(LPCITEMIDLIST list);
  // Appends the bytes of items of ours (no terminator) to the held list.
  HRESULT Append(const std::vector<uint8_t>& items);
  // A copy in the shell's allocator that the caller owns, or null.
  LPITEMIDLIST Clone() const;
  void Reset();

  LPCITEMIDLIST Get() const { return list_; }
  bool Empty() const { return bytes_ <= kListTerminatorSize; }

 private:
  HRESULT Replace(const uint8_t* head, size_t headBytes, const uint8_t* tail, size_t tailBytes);

  ComPtr<IMalloc> allocator_;
  LPITEMIDLIST list_ = nullptr;
  size_t bytes_ = 0;  // with the terminator; 0 when nothing is held
};

// A single-level list of an item's bytes, in the shell's allocator; null when out of memory.
LPITEMIDLIST AllocateSingleItemList(const uint8_t* item, size_t itemBytes);

}  // namespace shell
}  // namespace cairn
