// Helpers for the shell's absolute ID lists that the browser frame keeps (the location shown, the
// history, the archive's own location), each held by the toolkit's IdList.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include "IdList.h"

namespace cairn {
namespace browser {

inline bool IsEmptyList(LPCITEMIDLIST list) { return list == nullptr || list->mkid.cb == 0; }

// A copy of the list; null when out of memory.
IdList CopyList(LPCITEMIDLIST list);
// The list without its last item (the empty list for a one-item list); null for an empty list.
IdList ParentList(LPCITEMIDLIST list);
// head followed by tail; null when out of memory.
IdList JoinLists(LPCITEMIDLIST head, LPCITEMIDLIST tail);
// When `list` starts with every item of `head`, byte for byte, the rest of `list` (possibly
// empty); otherwise null.
LPCITEMIDLIST ListBelow(LPCITEMIDLIST head, LPCITEMIDLIST list);
// The number of items of a list.
size_t ListLevels(LPCITEMIDLIST list);
// The first `levels` items of a list as a list of their own; null when it has fewer or when out
// of memory.
IdList ListHead(LPCITEMIDLIST list, size_t levels);
// The list after its first `levels` items; null when it has fewer.
LPCITEMIDLIST SkipLevels(LPCITEMIDLIST list, size_t levels);

}  // namespace browser
}  // namespace cairn
