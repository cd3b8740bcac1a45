#include "IdList.h"

#include <cstring>

namespace cairn {
namespace browser {

IdList CopyList(LPCITEMIDLIST list) { return IdList(ILClone(list)); }

IdList ParentList(LPCITEMIDLIST list) {
  if (IsEmptyList(list)) return nullptr;
  IdList parent = CopyList(list);
  if (parent) ILRemoveLastID(parent.get());
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

}  // namespace browser
}  // namespace cairn
