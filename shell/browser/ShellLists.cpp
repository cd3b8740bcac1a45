#include "ShellLists.h"

#include <cstring>

namespace cairn {
namespace browser {

IdList CopyList(LPCITEMIDLIST list) { return IdList(ILClone(list)); }

IdList ParentList(LPCITEMIDLIST list) {
  if (IsEmptyList(list)) return IdList();
  IdList parent = CopyList(list);
  if (parent) ILRemoveLastID(parent.Get());
  return parent;
}

IdList JoinLists(LPCITEMIDLIST head, LPCITEMIDLIST tail) { return IdList(ILCombine(head, tail)); }

LPCITEMIDLIST ListBelow(LPCITEMIDLIST head, LPCITEMIDLIST list) {
  if (list == nullptr) return nullptr;
  const BYTE* h = reinterpret_cast<const BYTE*>(head);
  const BYTE* l = reinterpret_cast<const BYTE*>(list);
  while (!IsEmptyList(reinterpret_cast<LPCITEMIDLIST>(h))) {
    const USHORT size = reinterpret_cast<LPCITEMIDLIST>(h)->mkid.cb;
    if (reinterpret_cast<LPCITEMIDLIST>(l)->mkid.cb != size || std::memcmp(h, l, size) != 0) return nullptr;
    h += size;
    l += size;
  }
  return reinterpret_cast<LPCITEMIDLIST>(l);
}

size_t ListLevels(LPCITEMIDLIST list) {
  size_t levels = 0;
  for (; !IsEmptyList(list); list = ILGetNext(list)) ++levels;
  return levels;
}

LPCITEMIDLIST SkipLevels(LPCITEMIDLIST list, size_t levels) {
  for (; levels > 0; --levels) {
    if (IsEmptyList(list)) return nullptr;
    list = ILGetNext(list);
  }
  return list;
}

IdList ListHead(LPCITEMIDLIST list, size_t levels) {
  LPCITEMIDLIST rest = SkipLevels(list, levels);
  if (rest == nullptr) return IdList();
  IdList head = CopyList(list);
  if (!head) return IdList();
  // Ends the copy where the rest begins.
  const size_t bytes = reinterpret_cast<const BYTE*>(rest) - reinterpret_cast<const BYTE*>(list);
  reinterpret_cast<ITEMIDLIST*>(reinterpret_cast<BYTE*>(head.Get()) + bytes)->mkid.cb = 0;
  return head;
}

}  // namespace browser
}  // namespace cairn
